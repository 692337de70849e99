#!/usr/bin/env python3
"""Writes bspline/legendre/legendre_tables.cpp: the fixed tables behind the Legendre basis conversions.

- Gauss-Legendre fit matrices, one block per rule of 4, 8, 12, 16, 20, 40, 80, 160 and 320 points (2h^2 doubles,
  h = n/2, at offsets 0, 8, 40, 112, 240, 440, 1240, 4440, 17240): for j = 0..h-1 the even row j, then the odd row
  j, each of h entries; even entry k = (4j+1)/2 w_k P_2j(x_k), odd entry k = (4j+3)/2 w_k P_2j+1(x_k), x_k the k-th
  positive node in ascending order and w_k its weight. The nodes and weights are the doubles stored in
  bspline/measure/gauss_legendre_tables.cpp, read back from that file, so that the projection matches the rule callers
  get from BSextrtlgd; each entry is evaluated from them in 110-digit decimal arithmetic and rounded once.
- Chebyshev to Legendre and Legendre to Chebyshev: the degree limit 325, then rows j = 0..325 of 163 - floor(j/2)
  entries: entry s of row j is the coefficient of P_j in T_j+2s (of T_j in P_j+2s).
- Legendre to power, even and odd (rows i = 0..31 of 32 - i entries): the coefficient of t^2i in P_2i+2s (of
  t^2i+1 in P_2i+1+2s).
- Power to Legendre, even and odd (rows i = 0..63 of 64 - i entries): the coefficient of P_2i in t^2i+2s (of P_2i+1
  in t^2i+1+2s).
- Binomial coefficients: 16 x 16, entry (i, j) = binom(max(i, j), min(i, j)).
- Half-interval re-expansion, M[j][k] the coefficient of P_j(s) in P_k((s+1)/2), degrees up to 320: table E with
  rows j = 1..320 of 160 - floor((j-1)/2) entries, entry s = M[j][j+2s]; table O with rows j = 0..319 of
  160 - floor(j/2) entries, entry s = M[j][j+1+2s].

Every basis-change entry is computed exactly in rational arithmetic, by the three-term recurrences (the closed
forms are left to the tests, which check the tables against them), and rounded once to the nearest double.
Only the standard library is used.

Run from the repository root:  python3 tools/gen_legendre_tables.py
"""
import decimal
import os
import re
import sys
from fractions import Fraction
from math import comb

SIZES = (4, 8, 12, 16, 20, 40, 80, 160, 320)
FIT_OFFSETS = (0, 8, 40, 112, 240, 440, 1240, 4440, 17240)
FIT_COUNT = 68440
TCH_LIMIT = 325
TCH_COUNT = 1 + sum(163 - j // 2 for j in range(TCH_LIMIT + 1))
HLF_LIMIT = 320
HLF_COUNT = 25760
LGDCAN_ROWS = 32
CANLGD_ROWS = 64

D = decimal.Decimal


def read_rules(root):
    """{n: (positive nodes ascending, their weights)} from the generated Gauss-Legendre tables."""
    with open(os.path.join(root, "bspline", "gauss_legendre_tables.cpp")) as f:
        text = f.read()

    def array(name):
        m = re.search(r"const double %s\[[A-Z_]+\] = \{(.*?)\};" % name, text, re.S)
        if not m:
            sys.exit("no table %s in gauss_legendre_tables.cpp" % name)
        return [float(v) for v in m.group(1).replace("\n", " ").split(",") if v.strip()]

    nodes, weights = array("BSglnodes"), array("BSglweights")
    if len(nodes) != 660 or len(weights) != 330:
        sys.exit("unexpected Gauss-Legendre table sizes")
    rules, node_offset = {}, 0
    for n in SIZES:
        h = n // 2
        positive = nodes[node_offset + h:node_offset + n]
        rules[n] = (positive, weights[node_offset // 2:node_offset // 2 + h])
        node_offset += n
    return rules


def fit_matrices(rules):
    decimal.getcontext().prec = 110
    table = []
    for n, offset in zip(SIZES, FIT_OFFSETS):
        if len(table) != offset:
            sys.exit("fit block %d does not start at %d" % (n, offset))
        h = n // 2
        x = [D(v) for v in rules[n][0]]  # exact: every double is a finite decimal
        w = [D(v) for v in rules[n][1]]
        # p[k][m] = P_m(x_k) for m = 0..n-1.
        p = []
        for xk in x:
            row = [D(1), xk]
            for m in range(2, n):
                row.append(((2 * m - 1) * xk * row[m - 1] - (m - 1) * row[m - 2]) / m)
            p.append(row)
        block = []
        for j in range(h):
            for m in (2 * j, 2 * j + 1):
                block.append([(2 * m + 1) * w[k] * p[k][m] / 2 for k in range(h)])
        check_projection(n, x, w, p, block)
        table.extend(float(v) for row in block for v in row)
    if len(table) != FIT_COUNT:
        sys.exit("unexpected fit table size")
    return table


def check_projection(n, x, w, p, block):
    """The rule projects P_m onto itself: row m applied to the folded samples of P_m (2 P_m(x_k), for either parity)
    gives 1 (the nodes are rounded doubles, so within rounding only). A wrong row, column or weight shows at once."""
    h = n // 2
    for m in range(n):
        value = sum(block[m][k] * 2 * p[k][m] for k in range(h))
        if abs(value - 1) > D(10) ** -12:
            sys.exit("fit matrix %d fails to reproduce P_%d" % (n, m))


def x_times_legendre(c):
    """Coefficients of x times the Legendre series c: x P_k = ((k+1) P_k+1 + k P_k-1) / (2k+1)."""
    out = [Fraction(0)] * (len(c) + 1)
    for k, v in enumerate(c):
        if v:
            out[k + 1] += v * Fraction(k + 1, 2 * k + 1)
            if k:
                out[k - 1] += v * Fraction(k, 2 * k + 1)
    return out


def x_times_chebyshev(c):
    """x T_0 = T_1, x T_k = (T_k+1 + T_k-1) / 2."""
    out = [Fraction(0)] * (len(c) + 1)
    for k, v in enumerate(c):
        if v:
            if k == 0:
                out[1] += v
            else:
                out[k + 1] += v / 2
                out[k - 1] += v / 2
    return out


def chebyshev_in_legendre(limit):
    """T_0 .. T_limit as Legendre series: T_n+1 = 2x T_n - T_n-1."""
    t = [[Fraction(1)], [Fraction(0), Fraction(1)]]
    for m in range(1, limit):
        nxt = [2 * v for v in x_times_legendre(t[m])]
        for k, v in enumerate(t[m - 1]):
            nxt[k] -= v
        t.append(nxt)
    return t


def legendre_in_chebyshev(limit):
    """P_0 .. P_limit as Chebyshev series: (m+1) P_m+1 = (2m+1) x P_m - m P_m-1."""
    p = [[Fraction(1)], [Fraction(0), Fraction(1)]]
    for m in range(1, limit):
        nxt = [v * (2 * m + 1) for v in x_times_chebyshev(p[m])]
        for k, v in enumerate(p[m - 1]):
            nxt[k] -= m * v
        p.append([v / (m + 1) for v in nxt])
    return p


def legendre_in_power(limit):
    """P_0 .. P_limit in ascending powers."""
    p = [[Fraction(1)], [Fraction(0), Fraction(1)]]
    for m in range(1, limit):
        nxt = [Fraction(0)] + [v * (2 * m + 1) for v in p[m]]
        for k, v in enumerate(p[m - 1]):
            nxt[k] -= m * v
        p.append([v / (m + 1) for v in nxt])
    return p


def powers_in_legendre(limit):
    """t^0 .. t^limit as Legendre series."""
    t = [[Fraction(1)]]
    for _ in range(limit):
        t.append(x_times_legendre(t[-1]))
    return t


def half_interval_tables(limit):
    """Tables E and O from P_0((s+1)/2) .. P_limit((s+1)/2) as Legendre series in s, by the recurrence
    (k+1) P_k+1(x) = (2k+1) x P_k(x) - k P_k-1(x) with x = (s+1)/2."""
    q = [[Fraction(1)], [Fraction(1, 2), Fraction(1, 2)]]
    for k in range(1, limit):
        xq = x_times_legendre(q[k])
        for i, v in enumerate(q[k]):
            xq[i] += v
        nxt = [v * Fraction(2 * k + 1, 2 * (k + 1)) for v in xq]
        for i, v in enumerate(q[k - 1]):
            nxt[i] -= v * Fraction(k, k + 1)
        q.append(nxt)
    half = limit // 2
    same = [float(q[j + 2 * s][j]) for j in range(1, limit + 1) for s in range(half - (j - 1) // 2)]
    cross = [float(q[j + 1 + 2 * s][j]) for j in range(limit) for s in range(half - j // 2)]
    if len(same) != HLF_COUNT or len(cross) != HLF_COUNT:
        sys.exit("unexpected half-interval table sizes")
    return same, cross


def chebyshev_table(series):
    """Row j, entry s: the coefficient of basis function j in series[j + 2s], rows of 163 - floor(j/2)."""
    table = [float(TCH_LIMIT)]
    for j in range(TCH_LIMIT + 1):
        for s in range(163 - j // 2):
            m = j + 2 * s
            table.append(float(series[m][j]))
    if len(table) != TCH_COUNT:
        sys.exit("unexpected Chebyshev table size")
    return table


def parity_tables(series, rows):
    """Even row i, entry s: the coefficient of basis function 2i in series[2i + 2s]; odd likewise from 2i+1."""
    even, odd = [], []
    for i in range(rows):
        for s in range(rows - i):
            even.append(float(series[2 * i + 2 * s][2 * i]))
            odd.append(float(series[2 * i + 1 + 2 * s][2 * i + 1]))
    return even, odd


def emit(lines, name, count, values, note):
    lines.append("")
    lines.append("// " + note)
    lines.append("const double %s[%s] = {" % (name, count))
    for i in range(0, len(values), 4):
        lines.append("    " + ", ".join(repr(v) for v in values[i:i + 4]) + ",")
    lines.append("};")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    fit = fit_matrices(read_rules(root))
    tchlgd = chebyshev_table(chebyshev_in_legendre(TCH_LIMIT))
    lgdtch = chebyshev_table(legendre_in_chebyshev(TCH_LIMIT))
    lgdcan_ev, lgdcan_od = parity_tables(legendre_in_power(2 * LGDCAN_ROWS - 1), LGDCAN_ROWS)
    canlgd_ev, canlgd_od = parity_tables(powers_in_legendre(2 * CANLGD_ROWS - 1), CANLGD_ROWS)
    binom = [float(comb(max(i, j), min(i, j))) for i in range(16) for j in range(16)]
    hlf_e, hlf_o = half_interval_tables(HLF_LIMIT)

    lines = [
        "// Generated by tools/gen_legendre_tables.py; do not edit. The fixed tables of the Legendre basis",
        "// conversions (layouts in bspline/legendre.h), each entry the nearest double to the exact value.",
        '#include "bspline/legendre.h"',
    ]
    emit(lines, "BSglfitmat", "BSGLFIT_COUNT", fit,
         "Fit blocks at offsets %s." % ", ".join(str(o) for o in FIT_OFFSETS))
    emit(lines, "BStchlgdtab", "BSTCHTAB_COUNT", tchlgd, "Row j, entry s: the coefficient of P_j in T_j+2s.")
    emit(lines, "BSlgdtchtab", "BSTCHTAB_COUNT", lgdtch, "Row j, entry s: the coefficient of T_j in P_j+2s.")
    emit(lines, "BSlgdcanev", "BSLGDCAN_COUNT", lgdcan_ev, "Row i, entry s: the coefficient of t^2i in P_2i+2s.")
    emit(lines, "BSlgdcanod", "BSLGDCAN_COUNT", lgdcan_od, "Row i, entry s: the coefficient of t^2i+1 in P_2i+1+2s.")
    emit(lines, "BScanlgdev", "BSCANLGD_COUNT", canlgd_ev, "Row i, entry s: the coefficient of P_2i in t^2i+2s.")
    emit(lines, "BScanlgdod", "BSCANLGD_COUNT", canlgd_od, "Row i, entry s: the coefficient of P_2i+1 in t^2i+1+2s.")
    emit(lines, "BSbinom16", "256", binom, "Entry (i, j) = binom(max(i, j), min(i, j)).")
    emit(lines, "BShlftabE", "BSHLF_COUNT", hlf_e,
         "Row j = 1..320, entry s: the coefficient of P_j(s) in P_j+2s((s+1)/2).")
    emit(lines, "BShlftabO", "BSHLF_COUNT", hlf_o,
         "Row j = 0..319, entry s: the coefficient of P_j(s) in P_j+1+2s((s+1)/2).")
    if len(lgdcan_ev) != 528 or len(canlgd_ev) != 2080:
        sys.exit("unexpected power table sizes")
    with open(os.path.join(root, "bspline", "legendre_tables.cpp"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
