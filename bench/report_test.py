#!/usr/bin/env python3
"""The benchmark report from hand-made results: what a reader of the report relies on."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

REPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "report.py")


def run(name, cpu_ms, unit="ms", error=None, aggregate=False):
    """One benchmark entry as Google Benchmark writes it."""
    entry = {"name": name, "run_name": name, "run_type": "aggregate" if aggregate else "iteration",
             "cpu_time": cpu_ms, "real_time": cpu_ms * 3, "time_unit": unit}
    if error:
        entry.update({"error_occurred": True, "error_message": error, "cpu_time": 0})
    return entry


def report(programs, statuses=None):
    """The report's text for programs {file: (context, entries)} (None: the program wrote nothing) and exit
    statuses {program: code}."""
    with tempfile.TemporaryDirectory() as folder:
        for name, written in programs.items():
            with open(os.path.join(folder, name + ".json"), "w") as f:
                if written is not None:
                    context, entries = written
                    json.dump({"context": context, "benchmarks": entries}, f)
        for name, code in (statuses or {}).items():
            with open(os.path.join(folder, name + ".status"), "w") as f:
                f.write(f"{code}\n")
        return subprocess.run([sys.executable, REPORT, folder, "a note"], check=True, capture_output=True,
                              text=True).stdout


def line(text, start):
    """The table line that starts with `start`."""
    found = [l for l in text.splitlines() if l.startswith(start)]
    if len(found) != 1:
        raise AssertionError(f"{len(found)} lines start with {start!r} in:\n{text}")
    return [c.strip() for c in found[0].strip("|").split("|")]


class ReportTest(unittest.TestCase):
    def test_times_ratios_and_growth(self):
        # Medians over an odd and an even number of repetitions, sizes ordered by number (not as text), a
        # microsecond peer against millisecond ours, and aggregates not counted as repetitions.
        entries = [run("fam/row/ours/100_poles", v) for v in (4.0, 1.0, 2.0)]
        entries += [run("fam/row/ours/1000_poles", v) for v in (30.0, 10.0, 20.0, 40.0)]
        entries += [run("fam/row/ours/1000_poles", 999.0, aggregate=True)]
        entries += [run("fam/row/peer_x/100_poles", 3000.0, unit="us"), run("fam/row/peer_x/1000_poles", 5.0)]
        text = report({"a_bench": ({"family:fam": "What fam measures."}, entries)})
        self.assertIn("What fam measures.", text)
        small, large = line(text, "| row | 100 poles"), line(text, "| row | 1,000 poles")
        self.assertEqual(small[2:], ["2 ms", "", "3 ms", "1.5"])
        self.assertEqual(large[2:], ["25 ms", "×12.5", "5 ms", "0.2"])
        self.assertLess(text.index("| row | 100 poles"), text.index("| row | 1,000 poles"))

    def test_failed_contenders_show_failed(self):
        # A failed peer keeps its place with its reason and no ratio; a failed size of ours has no growth, and
        # the next size's growth is not taken across it.
        entries = [run("fam/row/ours/10_pieces", 1.0), run("fam/row/ours/100_pieces", 0, error="strays (2 > 1)"),
                   run("fam/row/ours/1000_pieces", 50.0), run("fam/row/peer_y/10_pieces", 0, error="misses a leg"),
                   run("fam/row/peer_y/100_pieces", 8.0), run("fam/row/peer_y/1000_pieces", 100.0)]
        text = report({"b_bench": ({}, entries)})
        self.assertEqual(line(text, "| row | 10 pieces")[2:], ["1 ms", "", "failed: misses a leg", ""])
        self.assertEqual(line(text, "| row | 100 pieces")[2:], ["failed: strays (2 > 1)", "", "8 ms", ""])
        self.assertEqual(line(text, "| row | 1,000 pieces")[2:], ["50 ms", "", "100 ms", "2"])
        self.assertIn("2 failed checks", text)

    def test_variants_of_ours_and_rows_with_other_peers(self):
        # Each variant of ours is a row of its own against the same peers; rows whose peers differ get tables of
        # their own; a program that ended badly is named.
        entries = [run("fam/a/ours_one_at_a_time/10_points", 4.0), run("fam/a/ours_in_order/10_points", 1.0),
                   run("fam/a/peer_p/10_points", 2.0), run("fam/b/ours/10_points", 1.0),
                   run("fam/b/peer_q/10_points", 3.0)]
        text = report({"c_bench": ({}, entries), "e_bench": None, "f_bench": None},
                      {"c_bench": 0, "d_bench": 134, "e_bench": 0, "f_bench": 134})
        self.assertEqual(line(text, "| a · `ours_one_at_a_time`")[2:], ["4 ms", "", "2 ms", "0.5"])
        self.assertEqual(line(text, "| a · `ours_in_order`")[2:], ["1 ms", "", "2 ms", "2"])
        self.assertEqual(line(text, "| b |")[2:], ["1 ms", "", "3 ms", "3"])
        self.assertIn("### a", text)
        self.assertIn("### b", text)
        self.assertIn("`d_bench` exited with status 134", text)
        self.assertNotIn("c_bench` exited", text)
        # A program that wrote nothing (a filter picked none of its benchmarks) is named only if it ended badly.
        self.assertNotIn("e_bench", text)
        self.assertIn("`f_bench` exited with status 134", text)
        self.assertNotIn("could not be read", text)

    def test_sizes_of_ours_and_fewer_repetitions(self):
        # A "size_" counter of ours gets a column with its own growth beside the time's (other counters do not);
        # the largest size, measured fewer times than the rest (its name carries its own repetitions), says how
        # many.
        def sized(name, ms, nodes):
            entry = run(name, ms)
            entry.update({"size_crossing_nodes": nodes, "lines": 7})
            return entry

        entries = [sized("fam/row/ours/10_vertices", 1.0, 50) for _ in range(3)]
        entries += [sized("fam/row/ours/100_vertices", v, 5000) for v in (90.0, 100.0, 110.0)]
        entries += [sized("fam/row/ours/1000_vertices/repeats:1", 9000.0, 500000)]
        entries += [run("fam/row/peer/10_vertices", 2.0) for _ in range(3)]
        entries += [run("fam/row/peer/100_vertices", 200.0) for _ in range(3)]
        entries += [run("fam/row/peer/1000_vertices/repeats:1", 18000.0)]
        text = report({"e_bench": ({}, entries)})
        self.assertEqual(line(text, "| row | size"),
                         ["row", "size", "ours", "growth", "crossing nodes", "growth", "time per crossing nodes",
                          "growth", "`peer`", "ratio"])
        self.assertEqual(line(text, "| row | 10 vertices |")[2:], ["1 ms", "", "50", "", "20 us", "", "2 ms", "2"])
        self.assertEqual(line(text, "| row | 100 vertices |")[2:],
                         ["100 ms", "×100", "5,000", "×100", "20 us", "×1", "200 ms", "2"])
        self.assertEqual(line(text, "| row | 1,000 vertices (1 repetition) |")[2:],
                         ["9 s", "×90", "500,000", "×100", "18 us", "×0.9", "18 s", "2"])

    def test_time_per_unit_of_all_that_was_built(self):
        # Two sizes of ours: the time per unit is the time over their sum, and its growth the time's growth over
        # the sum's; a size whose check failed has none, and the next size's growth is not taken across it.
        def sized(name, ms, nodes, trapezoids, error=None):
            entry = run(name, ms, error=error)
            entry.update({"size_crossing_nodes": nodes, "size_trapezoids": trapezoids})
            return entry

        entries = [sized("fam/row/ours/300_vertices", 0.12, 2544, 1422),
                   sized("fam/row/ours/3000_vertices", 22.4, 254148, 128574),
                   sized("fam/row/ours/10000_vertices", 0, 0, 0, error="wrong area"),
                   sized("fam/row/ours/30000_vertices", 4000.0, 26e6, 13e6)]
        text = report({"f_bench": ({}, entries)})
        self.assertEqual(line(text, "| row | size")[8:10], ["time per crossing nodes + trapezoids", "growth"])
        self.assertEqual(line(text, "| row | 300 vertices |")[8:10], ["30.3 ns", ""])
        self.assertEqual(line(text, "| row | 3,000 vertices |")[8:10], ["58.5 ns", "×1.93"])
        self.assertEqual(line(text, "| row | 10,000 vertices |")[8:10], ["", ""])
        self.assertEqual(line(text, "| row | 30,000 vertices |")[8:10], ["103 ns", ""])


if __name__ == "__main__":
    unittest.main()
