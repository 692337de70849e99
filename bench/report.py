#!/usr/bin/env python3
"""Writes the benchmark report from the JSON results of one run of tools/bench.sh.

Usage: report.py RESULTS_DIR [NOTE ...] > report.md

Each benchmark is named <family>/<row>/<contender>/<size>_<unit> (bench/bench_checks.h). A contender whose name
starts with "ours" is ours; every other contender of the same family, row and size is a peer. A time is the
median over the repetitions of the CPU time of one timed call; a peer's ratio is its time over ours (above 1:
ours is faster); the growth is our time over our time at the family's previous size. A contender whose answer
failed its check is shown failed with the reason, never dropped. A counter of ours named "size_<what>" (the size
of what our call built, such as the nodes of a decomposition) gets a column of its own with its growth beside
the time's, and the time per unit of what was built (the sum of those counters) a column with its growth: the
time's growth judged against the size's, above 1 where the time grows faster than what it builds. A size
measured over fewer repetitions than the rest of its family says how many.
"""
import json
import os
import statistics
import sys

SCALE = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}

# The families in the order the report gives them; any other follows in the order the programs name it.
ORDER = ["evaluation", "arc_length", "polynomial_roots", "curve_fitting", "band_least_squares", "point_fitting",
         "segment_intersection", "span_intersection", "curve_intersection", "line_string_intersection",
         "self_intersection", "point_distance", "single_curve_offset", "span_offset", "typed_curve_offset",
         "composite_offset", "composite_offset_of_a_digitised_polyline", "legendre_series", "fill_decomposition",
         "hatch_lines", "symbol_clipping", "symbol_fill"]


def duration(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


class Result:
    def __init__(self):
        self.times = []
        self.failure = None
        self.sizes = {}  # the "size_" counters, by what they count

    def median(self):
        return statistics.median(self.times) if self.times and self.failure is None else None

    def spread(self):
        return max(self.times) / min(self.times) - 1 if len(self.times) > 1 and min(self.times) > 0 else 0.0


def load(results_dir):
    """Families in the order the programs registered them: description, and results by (row, contender, size)."""
    families = {}
    problems = []
    for name in sorted(os.listdir(results_dir)):
        path = os.path.join(results_dir, name)
        if name.endswith(".status"):
            with open(path) as f:
                code = f.read().strip()
            if code != "0":
                problems.append(f"`{name[:-len('.status')]}` exited with status {code}")
            continue
        if not name.endswith(".json"):
            continue
        # A program none of whose benchmarks a filter picked writes nothing; its status says whether it ended well.
        if os.path.getsize(path) == 0:
            continue
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError) as e:
            problems.append(f"`{name}` could not be read: {e}")
            continue
        context = data.get("context", {})
        for b in data.get("benchmarks", []):
            if b.get("run_type") == "aggregate":
                continue
            # Settings a benchmark carries of its own (such as "repeats:2") follow its four parts.
            parts = [p for p in b.get("run_name", b["name"]).split("/") if ":" not in p]
            if len(parts) != 4:
                continue
            family, row, contender, size = parts
            fam = families.setdefault(family, {"description": context.get("family:" + family, ""), "results": {}})
            r = fam["results"].setdefault((row, contender, size), Result())
            if b.get("error_occurred"):
                r.failure = b.get("error_message", "failed")
            else:
                r.times.append(b["cpu_time"] * SCALE[b.get("time_unit", "ns")])
                for key, value in b.items():
                    if key.startswith("size_") and isinstance(value, (int, float)):
                        r.sizes[key[len("size_"):].replace("_", " ")] = value
    return families, problems


def size_key(size):
    number, _, unit = size.partition("_")
    try:
        return (unit, float(number))
    except ValueError:
        return (unit, 0.0)


def size_label(size):
    number, _, unit = size.partition("_")
    return f"{int(number):,} {unit.replace('_', ' ')}" if number.isdigit() else size


def cell(result):
    if result is None:
        return ""
    if result.failure is not None:
        return "failed: " + result.failure.replace("|", "/")
    return duration(result.median())


def growth(value, previous):
    return f"×{value / previous:.3g}" if value is not None and previous else ""


def count(value):
    return f"{value:,.0f}" if value >= 100 else f"{value:.3g}"


def table(results, rows, repetitions):
    """One table of the given rows: a line per variant of ours and size, a time and a ratio per peer, and what
    ours built beside its time."""
    peers = list(dict.fromkeys(c for r, c, _ in results if r in rows and not c.startswith("ours")))
    measures = list(dict.fromkeys(m for (r, c, _), res in results.items()
                                  if r in rows and c.startswith("ours") for m in res.sizes))
    header = ["row", "size", "ours", "growth"]
    for m in measures:
        header += [m, "growth"]
    if measures:
        header += ["time per " + " + ".join(measures), "growth"]
    for p in peers:
        header += [f"`{p}`", "ratio"]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for row in rows:
        variants = list(dict.fromkeys(c for r, c, _ in results if r == row and c.startswith("ours")))
        sizes = sorted(dict.fromkeys(s for r, _, s in results if r == row), key=size_key)
        for variant in variants or [None]:
            label = row.replace("_", " ") + ("" if variant in (None, "ours") else f" · `{variant}`")
            previous = None
            previous_sizes = {}
            previous_unit = None
            for size in sizes:
                ours = results.get((row, variant, size)) if variant else None
                ours_time = ours.median() if ours else None
                time_growth = growth(ours_time, previous)
                previous = ours_time
                timed = [len(r.times) for (r_row, _, s), r in results.items() if r_row == row and s == size and r.times]
                label_size = size_label(size)
                if timed and min(timed) < repetitions:
                    label_size += f" ({min(timed)} repetition{'s' if min(timed) > 1 else ''})"
                line = [label, label_size, cell(ours) or "none", time_growth]
                for m in measures:
                    value = ours.sizes.get(m) if ours and ours.failure is None else None
                    line += [count(value) if value is not None else "", growth(value, previous_sizes.get(m))]
                    previous_sizes[m] = value
                if measures:
                    built = [ours.sizes.get(m) for m in measures] if ours and ours.failure is None else []
                    unit = ours_time / sum(built) if ours_time and built and None not in built and sum(built) else None
                    line += [duration(unit) if unit is not None else "", growth(unit, previous_unit)]
                    previous_unit = unit
                for p in peers:
                    peer = results.get((row, p, size))
                    ratio = ""
                    if peer is not None and peer.median() is not None and ours_time:
                        ratio = f"{peer.median() / ours_time:.3g}"
                    line += [cell(peer), ratio]
                lines.append("| " + " | ".join(line) + " |")
    return lines


def family_table(family, fam):
    """The family's section: one table when its rows share their peers, else one table per row."""
    results = fam["results"]
    rows = list(dict.fromkeys(row for row, _, _ in results))
    peer_sets = {frozenset(c for r, c, _ in results if r == row and not c.startswith("ours")) for row in rows}
    lines = [f"## {family.replace('_', ' ')}", ""]
    if fam["description"]:
        lines += [fam["description"], ""]
    # The repetitions of the run: the most any size of the family had.
    repetitions = max((len(r.times) for r in results.values()), default=0)
    if len(peer_sets) == 1:
        lines += table(results, rows, repetitions)
    else:
        for row in rows:
            lines += [f"### {row.replace('_', ' ')}", ""] + table(results, [row], repetitions) + [""]
    worst = (0.0, "")
    for (row, contender, size), r in results.items():
        if r.failure is None and r.spread() > worst[0]:
            worst = (r.spread(), f"{row} {contender} {size_label(size)}")
    if worst[1]:
        if lines[-1]:
            lines.append("")
        lines.append(f"Largest spread over the repetitions: {worst[0] * 100:.0f}% ({worst[1]}).")
    if lines[-1]:
        lines.append("")
    return lines


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    families, problems = load(sys.argv[1])
    failed = [(f, key) for f, fam in families.items() for key, r in fam["results"].items() if r.failure is not None]
    out = ["# Benchmark report", ""]
    out += [note for note in sys.argv[2:]]
    out += ["",
            "Times are the median CPU time of one timed call over the repetitions; ratio = peer time / our time "
            "(above 1: ours is faster); growth = our time / our time at the previous size. Every contender's "
            "answer was checked before it was timed; one that failed its check shows as failed.", ""]
    out.append(f"{len(families)} families, {sum(len(f['results']) for f in families.values())} benchmarks, "
               f"{len(failed)} failed checks.")
    for p in problems:
        out.append(f"- {p}")
    out.append("")
    ordered = sorted(families, key=lambda f: ORDER.index(f) if f in ORDER else len(ORDER))
    for family in ordered:
        out += family_table(family, families[family])
    print("\n".join(out))


if __name__ == "__main__":
    main()
