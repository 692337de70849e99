#!/usr/bin/env python3
"""Writes the shape seeds of the fuzz targets into tests/fuzz/corpus/<family>/, in the input layout that
tests/fuzz/fuzz_input.h reads: real shapes (arcs, loops, lines, S-curves, tangent pairs) from which the fuzzer
mutates. Kept reproducers (regress-*) are not touched.
    python3 tools/fuzz_seeds.py [family ...]
"""
import math
import os
import struct
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fuzz", "corpus")
SPECIAL = {"nan": 0xF0, "inf": 0xF1, "-inf": 0xF2, "huge": 0xF5, "tiny": 0xF7}


def byte(v):
    return bytes([v & 0xFF])


def number(x):
    """A small multiple of 1/8 in one byte, a named special value, else the raw double."""
    if isinstance(x, str):
        return byte(SPECIAL[x])
    tag = x * 8 + 120
    if tag == int(tag) and 0 <= tag < 0xF0:
        return byte(int(tag))
    return byte(0xFF) + struct.pack("<d", float(x))


def point(p):
    return b"".join(number(c) for c in p)


def parameter(f):
    """A fraction of the range in one byte (0 .. 254 over 254)."""
    return byte(max(0, min(254, round(f * 254))))


def curve(order, poles, knots=None, weights=None, closed=False, periodic=False):
    """order, Cartesian poles (x, y, z), knots (clamped uniform when None), weights (rational when given)."""
    n = len(poles)
    flags = (1 if weights else 0) | (2 if periodic else 0) | (4 if closed else 0)
    if knots is None:
        knots = [0] * order + list(range(1, n - order + 1)) + [n - order + 1] * order
    clamped = all(k == knots[0] for k in knots[:order]) and all(k == knots[-1] for k in knots[-order:])
    body = b""
    gaps = [knots[i] - knots[i - 1] for i in range(1, len(knots))]
    fits = clamped and all((g * 32) == int(g * 32) and 0 <= g * 32 < 256 for g in gaps[order - 1:n - 1])
    last = gaps[n - 1] - 1 if n - 1 < len(gaps) else 0
    fits = fits and last * 32 == int(last * 32) and 0 <= last * 32 < 256
    if fits:
        flags |= 8
        body += number(knots[0])
        for i in range(order, n):
            body += byte(int(gaps[i - 1] * 32))
        body += byte(int(last * 32))
    else:
        flags |= 16
        body += b"".join(number(k) for k in knots)
    body += b"".join(point(p) for p in poles)
    if weights:
        body += b"".join(number(w) for w in weights)
    return byte(order) + byte(n) + byte(flags) + body


def span(poles, weights=None):
    """A Bezier span on [0, 1]."""
    return byte(len(poles)) + byte(1 if weights else 0) + b"".join(point(p) for p in poles) + (
        b"".join(number(w) for w in weights) if weights else b"")


# Shapes, all in the plane z = 0 unless they say otherwise.
R2 = math.sqrt(0.5)
QUARTER = dict(order=3, poles=[(4, 0, 0), (4, 4, 0), (0, 4, 0)], weights=[1, R2, 1])
HALF_CIRCLE = dict(order=3, poles=[(3, 0, 0), (3, 3, 0), (0, 3, 0), (-3, 3, 0), (-3, 0, 0)],
                   knots=[0, 0, 0, 1, 1, 2, 2, 2], weights=[1, R2, 1, R2, 1])
CIRCLE = dict(order=3, poles=[(2, 0, 0), (2, 2, 0), (0, 2, 0), (-2, 2, 0), (-2, 0, 0), (-2, -2, 0), (0, -2, 0),
                              (2, -2, 0), (2, 0, 0)],
              knots=[0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4], weights=[1, R2, 1, R2, 1, R2, 1, R2, 1], closed=True)
S_CURVE = dict(order=4, poles=[(-6, -2, 0), (-2, 6, 0), (2, -6, 0), (6, 2, 0)])
LOOP = dict(order=4, poles=[(-4, 0, 0), (6, 5, 0), (6, -5, 0), (-4, 0.5, 0)])
WAVE = dict(order=4, poles=[(-8, 0, 0), (-6, 3, 0), (-4, -3, 0), (-2, 3, 0), (0, -3, 0), (2, 3, 0), (4, -3, 0),
                            (6, 0, 0)])
LINE = dict(order=2, poles=[(-5, -1, 0), (5, 1, 0)])
ZIGZAG = dict(order=2, poles=[(-6, 0, 0), (-3, 3, 0), (0, 0, 0), (3, 3, 0), (6, 0, 0)])
BACK_AND_FORTH = dict(order=2, poles=[(0, 0, 0), (4, 0, 0), (1, 0, 0), (6, 0, 0)])
CUSP = dict(order=4, poles=[(-3, 0, 0), (3, 4, 0), (-3, 4, 0), (3, 0, 0)])
DOUBLE_KNOT = dict(order=3, poles=[(0, 0, 0), (2, 3, 0), (4, 0, 0), (6, 3, 0), (8, 0, 0)],
                   knots=[0, 0, 0, 1, 1, 2, 2, 2])
SPACE_HELIX = dict(order=4, poles=[(3, 0, 0), (3, 3, 1), (-3, 3, 2), (-3, -3, 3), (3, -3, 4), (3, 0, 5)])
STEEP = dict(order=4, poles=[(0, 0, 0), (0.125, 8, 0), (0.25, -8, 0), (0.375, 0, 0)])
BIG = dict(order=3, poles=[(0, 0, 0), (1e5, 2e5, 0), (3e5, 0, 0)])


def c(shape, **changes):
    d = dict(shape)
    d.update(changes)
    return curve(**d)


def moved(shape, dx=0.0, dy=0.0):
    return dict(shape, poles=[(x + dx, y + dy, z) for x, y, z in shape["poles"]])


# A line, a conic with a weight of 40 inside and 3.6e-15 at its end, an S-curve, a line and a quarter circle.
UNEVEN_CONIC_CHAIN = c(LINE, poles=[(0, 0, 0), (6, 0, 0)]) + c(
    dict(order=3, poles=[(0, 0, 0), (3, -12, 0), (-9, 4, 0)], weights=[1, 40, 3.6e-15])) + c(S_CURVE) + c(
    LINE, poles=[(0, 0, 0), (0, 5, 0)]) + c(QUARTER)


SEEDS = {
    # opts (merge 1, sizes 2..5, same shape 0x40 / reversed 0x80, space 0x20), failure byte, curves
    "curve_intersection": {
        "arc_line": byte(0x1F) + byte(0) + c(QUARTER) + c(LINE),
        "wave_line": byte(0x1E) + byte(0) + c(WAVE) + c(LINE),
        "circle_s_curve": byte(0x1F) + byte(0) + c(CIRCLE) + c(S_CURVE),
        "two_zigzags": byte(0x1E) + byte(0) + c(ZIGZAG) + c(moved(ZIGZAG, 1.5, 0)),
        "tangent_circles": byte(0x1F) + byte(0) + c(CIRCLE) + c(moved(CIRCLE, 4)),
        "same_curve_shifted": byte(0x5F) + byte(0) + c(WAVE) + number(3) + byte(64),
        "same_curve_reversed": byte(0xDF) + byte(0) + c(S_CURVE) + number(-1) + byte(32),
        "lines_on_one_line": byte(0x1F) + byte(0) + c(BACK_AND_FORTH) + c(LINE, poles=[(2, 0, 0), (9, 0, 0)]),
        "space_helix_line": byte(0x3F) + byte(0) + c(SPACE_HELIX) + c(LINE, poles=[(3, 0, -1), (3, 0, 6)]),
        "double_knot_wave": byte(0x1F) + byte(0) + c(DOUBLE_KNOT) + c(moved(WAVE, 4, 1)),
        "heap_failure": byte(0x1F) + byte(3) + c(WAVE) + c(LINE),
        "large_coordinates": byte(0x1F) + byte(0) + c(BIG) + c(LINE, poles=[(0, 5e4, 0), (3e5, 5e4, 0)]),
    },
    # opts (same span's part 0x40, its right part 0x80, space 0x20), spans
    "span_intersection": {
        "cubic_line": byte(0) + span([(-6, -2, 0), (-2, 6, 0), (2, -6, 0), (6, 2, 0)]) + span(
            [(-6, 0, 0), (6, 0.5, 0)]),
        "arc_arc": byte(0) + span([(4, 0, 0), (4, 4, 0), (0, 4, 0)], [1, R2, 1]) + span(
            [(1, 0, 0), (1, 4, 0), (5, 4, 0)], [1, R2, 1]),
        "arc_line": byte(0) + span([(4, 0, 0), (4, 4, 0), (0, 4, 0)], [1, R2, 1]) + span([(0, 0, 0), (5, 5, 0)]),
        "two_quartics": byte(0) + span([(0, 0, 0), (1, 6, 0), (2, -6, 0), (3, 6, 0), (4, 0, 0)]) + span(
            [(0, 1, 0), (1, -5, 0), (2, 7, 0), (3, -5, 0), (4, 1, 0)]),
        "loop_and_chord": byte(0) + span(LOOP["poles"]) + span([(-5, 0.25, 0), (7, 0.25, 0)]),
        "tangent_parabolas": byte(0) + span([(-2, 4, 0), (0, -4, 0), (2, 4, 0)]) + span(
            [(-2, -4, 0), (0, 4, 0), (2, -4, 0)]),
        "left_part": byte(0x40) + span(S_CURVE["poles"]) + parameter(0.4),
        "right_part_rational": byte(0xC0) + span([(4, 0, 0), (4, 4, 0), (0, 4, 0)], [1, 3, 1]) + parameter(0.3),
        "order16": byte(0) + span([(i, 3 * math.sin(i), 0) for i in range(16)]) + span([(0, 0.5, 0), (15, 0, 0)]),
        "space_cubics": byte(0x20) + span(SPACE_HELIX["poles"][:4]) + span([(3, 0, 0), (-3, 3, 2)]),
        "order_too_high": byte(0) + byte(17) + byte(0) + b"".join(point((i, i % 3, 0)) for i in range(16)) + span(
            [(0, 0, 0), (5, 5, 0)]),
    },
    # opts (space 0x20), failure byte, curve
    "self_intersection": {
        "loop": byte(0) + byte(0) + c(LOOP),
        "figure_eight": byte(0) + byte(0) + c(dict(order=4, poles=[(0, 0, 0), (4, 4, 0), (4, -4, 0), (-4, 4, 0),
                                                                  (-4, -4, 0), (0, 0, 0)], closed=True)),
        "loop_over_spans": byte(0) + byte(0) + c(dict(order=3, poles=[(-6, 0, 0), (2, 0, 0), (4, 3, 0), (0, 5, 0),
                                                                     (-2, 2, 0), (1, -3, 0), (3, -6, 0)])),
        "circle": byte(0) + byte(0) + c(CIRCLE),
        "wave": byte(0) + byte(0) + c(WAVE),
        "back_and_forth": byte(0) + byte(0) + c(BACK_AND_FORTH),
        "cubic_back_and_forth": byte(0) + byte(0) + c(dict(order=4, poles=[(0, 0, 0), (6, 0, 0), (-2, 0, 0),
                                                                          (4, 0, 0)])),
        "cusp": byte(0) + byte(0) + c(CUSP),
        "crossing_polyline": byte(0) + byte(0) + c(dict(order=2, poles=[(0, 0, 0), (4, 4, 0), (4, 0, 0), (0, 4, 0)])),
        "rational_loop": byte(0) + byte(0) + c(dict(LOOP, weights=[1, 3, 0.5, 1])),
        "space_helix": byte(0x20) + byte(0) + c(SPACE_HELIX),
        "heap_failure": byte(0) + byte(2) + c(dict(order=3, poles=[(-6, 0, 0), (2, 0, 0), (4, 3, 0), (0, 5, 0),
                                                                  (-2, 2, 0), (1, -3, 0), (3, -6, 0)])),
    },
    # curve, point count - 1, points
    "point_distance": {
        "arc_centre": c(QUARTER) + byte(0) + point((0, 0, 0)),
        "circle_inside_and_out": c(CIRCLE) + byte(2) + point((0.5, 0.25, 0)) + point((3, 3, 0)) + point((0, 0, 1)),
        "line_beside": c(LINE) + byte(1) + point((0, 3, 0)) + point((9, -2, 1)),
        "wave_points": c(WAVE) + byte(3) + point((-7, 1, 0)) + point((-3, 0, 0)) + point((1, 1, 0)) + point(
            (5, -1, 0)),
        "polyline_vertex": c(ZIGZAG) + byte(0) + point((-3, 5, 0)),
        "equidistant_ends": c(dict(order=3, poles=[(-4, 0, 0), (0, 4, 0), (4, 0, 0)])) + byte(0) + point(
            (0, -2, 0)),
        "unclamped_span": c(dict(order=4, poles=[(-3, 0, 0), (-1, 3, 0), (1, -3, 0), (3, 0, 0)],
                                 knots=[0, 1, 2, 3, 4, 5, 6, 7])) + byte(1) + point((0, 0, 0)) + point((3, 0, 0)),
        "unclamped_spans": c(WAVE, knots=list(range(12))) + byte(0) + point((0, 1, 0)),
        "space_helix": c(SPACE_HELIX) + byte(1) + point((0, 0, 2)) + point((3, 0, 6)),
        "double_knot": c(DOUBLE_KNOT) + byte(0) + point((4, 1, 0)),
        "far_point": c(S_CURVE) + byte(0) + point((1e5, -3e5, 2e5)),
    },
    # opts (space 0x20), curve, point
    "perpendicular_feet": {
        "arc_centre": byte(0) + c(QUARTER) + point((0, 0, 0)),
        "arc_outside": byte(0) + c(HALF_CIRCLE) + point((1, 5, 0)),
        "wave_many_feet": byte(0) + c(WAVE) + point((-1, 0.5, 0)),
        "s_curve_middle": byte(0) + c(S_CURVE) + point((0, 0.5, 0)),
        "on_start": byte(0) + c(S_CURVE) + point((-6, -2, 0)),
        "beyond_end": byte(0) + c(LINE) + point((8, 0, 0)),
        "polyline_corner": byte(0) + c(ZIGZAG) + point((-3, 1, 0)),
        "double_knot": byte(0) + c(DOUBLE_KNOT) + point((4, 2, 0)),
        "cusp": byte(0) + c(CUSP) + point((0, 5, 0)),
        "rational_loop": byte(0) + c(dict(LOOP, weights=[1, 3, 0.5, 1])) + point((2, 0, 0)),
        "space_helix": byte(0x20) + c(SPACE_HELIX) + point((0, 0, 2.5)),
        "many_spans": byte(0) + c(dict(order=3, poles=[(i, (i % 3) - 1, 0) for i in range(20)])) + point((9, 3, 0)),
    },
    # opts (side 1, round corners 2, loop mode 4 / 8, the smooth piece too 0x10), failure byte, curve, distance
    "offset": {
        "arc_outside": byte(0x13) + byte(0) + c(QUARTER) + number(1),
        "arc_inside_to_centre": byte(0x12) + byte(0) + c(QUARTER) + number(4),
        "s_curve_loops_removed": byte(0x16) + byte(0) + c(S_CURVE) + number(1.5),
        "wave_tight": byte(0x1A) + byte(0) + c(WAVE) + number(0.75),
        "zigzag_sharp": byte(0x05) + byte(0) + c(ZIGZAG) + number(0.5),
        "zigzag_round": byte(0x07) + byte(0) + c(ZIGZAG) + number(0.5),
        "closed_circle": byte(0x17) + byte(0) + c(CIRCLE) + number(0.5),
        "double_knot_corner": byte(0x16) + byte(0) + c(DOUBLE_KNOT) + number(0.5),
        "line": byte(0x11) + byte(0) + c(LINE) + number(2),
        "cusp": byte(0x16) + byte(0) + c(CUSP) + number(0.25),
        "loop": byte(0x17) + byte(0) + c(LOOP) + number(0.5),
        "heap_failure": byte(0x16) + byte(5) + c(WAVE) + number(0.5),
        "large": byte(0x13) + byte(0) + c(BIG) + number(100),
    },
    # opts (side 1, round corners 2), failure byte, curve, start and end distances
    "variable_offset": {
        "arc_widening": byte(0x03) + byte(0) + c(QUARTER) + number(0.5) + number(1.5),
        "s_curve_narrowing": byte(0x02) + byte(0) + c(S_CURVE) + number(1) + number(0.25),
        "wave_constant": byte(0x03) + byte(0) + c(WAVE) + number(0.5) + number(0.5),
        "zigzag_corners": byte(0x01) + byte(0) + c(ZIGZAG) + number(0.25) + number(1),
        "zigzag_round": byte(0x03) + byte(0) + c(ZIGZAG) + number(0.25) + number(1),
        "two_legs": byte(0x03) + byte(0) + c(dict(order=2, poles=[(0, 0, 0), (3, 0, 0), (3, 3, 0)])) + number(
            0.5) + number(1),
        "quadratic_turning_back": byte(0x03) + byte(0) + c(dict(order=3, poles=[(0, 0, 0), (4, 0.25, 0),
                                                                               (0, 0.5, 0)])) + number(0.125) + number(0.25),
        "cusp": byte(0x03) + byte(0) + c(CUSP) + number(0.25) + number(0.5),
        "zero_distance": byte(0x03) + byte(0) + c(S_CURVE) + number(0) + number(0),
        "heap_failure": byte(0x03) + byte(4) + c(WAVE) + number(0.5) + number(1),
    },
    # opts (side 1, closed 2, option 4, loop mode 8 / 0x10, a distance each 0x20, gaps kept 0x40, kinds 0x80),
    # failure byte, component count - 2, components, distances (one or one each), kinds (with 0x80)
    "composite_offset": {
        "line_arc_line": byte(0x09) + byte(0) + byte(1) + c(LINE, poles=[(0, 0, 0), (4, 0, 0)]) + c(QUARTER) + c(
            LINE, poles=[(0, 4, 0), (-4, 4, 0)]) + number(0.5),
        "square_closed": byte(0x0B) + byte(0) + byte(2) + b"".join(
            c(LINE, poles=[p, q]) for p, q in [((0, 0, 0), (4, 0, 0)), ((4, 0, 0), (4, 4, 0)), ((4, 4, 0), (0, 4, 0)),
                                               ((0, 4, 0), (0, 0, 0))]) + number(0.5),
        "square_outward_round": byte(0x0E) + byte(0) + byte(2) + b"".join(
            c(LINE, poles=[p, q]) for p, q in [((0, 0, 0), (4, 0, 0)), ((4, 0, 0), (4, 4, 0)), ((4, 4, 0), (0, 4, 0)),
                                               ((0, 4, 0), (0, 0, 0))]) + number(0.5),
        "short_leg": byte(0x09) + byte(0) + byte(1) + c(LINE, poles=[(0, 0, 0), (5, 0, 0)]) + c(
            LINE, poles=[(5, 0, 0), (5, 0.25, 0)]) + c(LINE, poles=[(5, 0.25, 0), (0, 0.25, 0)]) + number(1),
        "s_curves_each": byte(0x29) + byte(0) + byte(0) + c(S_CURVE) + c(moved(S_CURVE, 12, 4)) + number(
            0.5) + number(1),
        "wave_zigzag": byte(0x08) + byte(0) + byte(0) + c(WAVE) + c(moved(ZIGZAG, 14, 0)) + number(0.75),
        "corner_piece": byte(0x89) + byte(0) + byte(1) + c(LINE, poles=[(0, 0, 0), (4, 0, 0)]) + c(QUARTER) + c(
            LINE, poles=[(0, 4, 0), (-4, 4, 0)]) + number(0.5) + byte(0) + byte(1) + byte(0),
        "heap_failure": byte(0x09) + byte(6) + byte(1) + c(LINE, poles=[(0, 0, 0), (4, 0, 0)]) + c(QUARTER) + c(
            LINE, poles=[(0, 4, 0), (-4, 4, 0)]) + number(0.5),
        # A conic leg whose end weight is 3.6e-15 among five: the clearing measures tens of thousands of points
        # against it; each search crept along the conic's slivers of parameter (side 1, corner option 1, loop mode 2).
        "conic_leg_end_weight_3.6e-15_at_10.375": byte(0x15) + byte(0) + byte(3) + UNEVEN_CONIC_CHAIN + number(
            10.375) * 5 + byte(0),
        "conic_leg_end_weight_3.6e-15_at_5": byte(0x15) + byte(0) + byte(3) + UNEVEN_CONIC_CHAIN + number(5) * 5 + byte(
            0),
    },
    # opts (space 0x20, side points given 0x40), curve, curve, side parameters (or points), corner shift, radius
    "fillet": {
        "two_lines": byte(0) + c(LINE, poles=[(0, 0, 0), (6, 0, 0)]) + c(LINE, poles=[(0, -1, 0), (0, 6, 0)]) +
        parameter(0.5) + parameter(0.5) + point((1, 1, 0)) + number(1),
        "line_arc": byte(0) + c(LINE, poles=[(-4, 1, 0), (6, 1, 0)]) + c(HALF_CIRCLE) + parameter(0.2) + parameter(
            0.1) + point((0, 0.5, 0)) + number(0.5),
        "arc_arc": byte(0) + c(QUARTER) + c(moved(QUARTER, 3, -1)) + parameter(0.3) + parameter(0.7) + point(
            (0, 0, 0)) + number(0.25),
        "s_curve_line": byte(0) + c(S_CURVE) + c(LINE, poles=[(-6, 3, 0), (6, 3, 0)]) + parameter(0.6) + parameter(
            0.6) + point((0, -1, 0)) + number(0.75),
        "parallel_lines": byte(0) + c(LINE, poles=[(0, 0, 0), (6, 0, 0)]) + c(LINE, poles=[(0, 2, 0), (6, 2, 0)]) +
        parameter(0.5) + parameter(0.5) + point((0, 0, 0)) + number(1),
        "polyline_corner": byte(0) + c(ZIGZAG) + c(LINE, poles=[(-6, 2, 0), (6, 2, 0)]) + parameter(0.3) + parameter(
            0.3) + point((0, -0.5, 0)) + number(0.5),
        "radius_too_large": byte(0) + c(LINE, poles=[(0, 0, 0), (1, 0, 0)]) + c(LINE, poles=[(0, 0, 0), (0, 1, 0)]) +
        parameter(0.5) + parameter(0.5) + point((0.25, 0.25, 0)) + number(12),
        "space_curves": byte(0x20) + c(SPACE_HELIX) + c(LINE, poles=[(3, 0, 0), (3, 0, 6)]) + parameter(0.2) +
        parameter(0.2) + point((0, 0, 0)) + number(0.5),
    },
    # opts (at the end 1, space 0x20, connect a second curve 0x10), curve, distance, [curve, mode]
    "extension": {
        "s_curve_longer": byte(0x01) + c(S_CURVE) + number(2),
        "s_curve_start_longer": byte(0x00) + c(S_CURVE) + number(1.5),
        "wave_shorter": byte(0x01) + c(WAVE) + number(-3),
        "arc_longer": byte(0x01) + c(QUARTER) + number(1),
        "line_longer": byte(0x00) + c(LINE) + number(2),
        "polyline_shorter": byte(0x00) + c(ZIGZAG) + number(-2),
        "cubic_turning_back": byte(0x01) + c(dict(order=4, poles=[(0, 0, 0), (3, 1, 0), (4, 0, 0), (3, -1, 0)])) +
        number(6),
        "rational_longer": byte(0x01) + c(dict(LOOP, weights=[1, 3, 0.5, 1])) + number(2),
        "space_helix": byte(0x21) + c(SPACE_HELIX) + number(2),
        "connect_lines_crossing": byte(0x11) + c(LINE, poles=[(0, 0, 0), (4, 0, 0)]) + number(1) + c(
            LINE, poles=[(6, 1, 0), (6, 5, 0)]) + byte(0),
        "connect_with_line": byte(0x11) + c(S_CURVE) + number(1) + c(moved(S_CURVE, 15, 5)) + byte(1),
        "connect_move_pole": byte(0x11) + c(LINE, poles=[(0, 0, 0), (4, 0, 0)]) + number(1) + c(
            LINE, poles=[(5, 0, 0), (5, 4, 0)]) + byte(2),
    },
    # opts (degree from 200 on 1), degree, coefficients, root tolerance
    "legendre_series": {
        "quadratic": byte(0) + byte(2) + b"".join(number(x) for x in (-0.5, 0, 1.5)) + number(1e-12),
        "cubic_three_roots": byte(0) + byte(3) + b"".join(number(x) for x in (0, -0.25, 0, 1)) + number(1e-12),
        "double_root": byte(0) + byte(4) + b"".join(number(x) for x in (0.25, 0, 0.625, 0, 0.125)) + number(0),
        "degree_12": byte(0) + byte(12) + b"".join(number((-1) ** j / (j + 1)) for j in range(13)) + number(1e-10),
        "degree_63": byte(0) + byte(63) + b"".join(number(math.sin(j)) for j in range(64)) + number(1e-9),
        "degree_127": byte(0) + byte(127) + b"".join(number(1 / (1 + j)) for j in range(128)) + number(1e-9),
        "degree_240": byte(1) + byte(40) + b"".join(number(math.cos(j) / (1 + j)) for j in range(241)) + number(
            1e-9),
        "zero_series": byte(0) + byte(5) + b"".join(number(0) for j in range(6)) + number(1e-9),
        "nan_coefficient": byte(0) + byte(3) + number(1) + number("nan") + number(0) + number(1) + number(0),
        "negative_degree": byte(0) + byte(0xFE) + number(1),
    },
    # opts (built from points and tangents 0, through three points 1, a record 2; space 0x20), then the points
    # A, B, TA, TB, S, or three points, or a curve
    "conic_recognition": {
        "ellipse_quarter": byte(0) + point((4, 0, 0)) + point((0, 2, 0)) + point((4, 2, 0)) + point((4, 2, 0)) +
        point((2 * math.sqrt(2), math.sqrt(2), 0)),
        "ellipse_arc": byte(0) + point((-2, 4, 0)) + point((2, 4, 0)) + point((-1, 0, 0)) + point((1, 0, 0)) + point(
            (0, 2, 0)),
        "parabola_arc": byte(0) + point((-2, 4, 0)) + point((2, 4, 0)) + point((-1, 0, 0)) + point((1, 0, 0)) +
        point((0, 0, 0)),
        "hyperbola_arc": byte(0) + point((-2, 4, 0)) + point((2, 4, 0)) + point((-1, 0, 0)) + point((1, 0, 0)) +
        point((0, -1, 0)),
        "circle_arc": byte(0) + point((1, 0, 0)) + point((0, 1, 0)) + point((1, 1, 0)) + point((1, 1, 0)) + point(
            (R2, R2, 0)),
        "three_points": byte(1) + point((3, 0, 0)) + point((0, 3, 0)) + point((-3, 0, 0)),
        "three_points_space": byte(1) + point((3, 0, 1)) + point((0, 3, 2)) + point((-3, 0, 1)),
        "three_points_collinear": byte(1) + point((0, 0, 0)) + point((1, 1, 0)) + point((2, 2, 0)),
        "quarter_record": byte(2) + c(QUARTER),
        "half_circle_record": byte(2) + c(HALF_CIRCLE),
        "circle_record": byte(2) + c(CIRCLE),
        "uneven_weights": byte(2) + c(dict(order=3, poles=[(0, 0, 0), (2, 3, 0), (4, 0, 0)], weights=[2, 0.5, 1])),
        "polynomial_segment": byte(2) + c(dict(order=3, poles=[(0, 0, 0), (2, 3, 0), (4, 0, 0)])),
    },
    # opts (about a centre 0, through three points 1, from tangents 2; space 0x20; changed by a length 0x40),
    # five points, [length, parameter]
    "conic_arcs": {
        "quarter_about_centre": byte(0x40) + point((2, 0, 0)) + point((0, 0, 0)) + point((0, 5, 0)) + point(
            (0, 0, 1)) + point((0, 0, 0)) + number(1) + parameter(0.9),
        "three_quarters_clockwise_normal": byte(0) + point((2, 0, 0)) + point((0, 0, 0)) + point((0, 5, 0)) + point(
            (0, 0, -1)) + point((0, 0, 0)),
        "half_about_centre_shorter": byte(0x40) + point((2, 0, 0)) + point((0, 0, 0)) + point((-3, 0, 0)) + point(
            (0, 0, 1)) + point((0, 0, 0)) + number(-1) + parameter(0.1),
        "through_three": byte(0x41) + point((3, 0, 0)) + point((0, 3, 0)) + point((-3, 0, 0)) + point(
            (0, 0, 0)) + point((0, 0, 0)) + number(2) + parameter(1),
        "through_three_space": byte(0x21) + point((3, 0, 1)) + point((0, 3, 2)) + point((-3, 0, 1)) + point(
            (0, 0, 0)) + point((0, 0, 0)),
        "ellipse_longer": byte(0x42) + point((4, 0, 0)) + point((0, 2, 0)) + point((4, 2, 0)) + point(
            (4, 2, 0)) + point((2 * math.sqrt(2), math.sqrt(2), 0)) + number(2) + parameter(0.9),
        "parabola_longer": byte(0x42) + point((-2, 4, 0)) + point((2, 4, 0)) + point((-1, 0, 0)) + point(
            (1, 0, 0)) + point((0, 0, 0)) + number(3) + parameter(0.1),
        "hyperbola_shorter": byte(0x42) + point((-2, 4, 0)) + point((2, 4, 0)) + point((-1, 0, 0)) + point(
            (1, 0, 0)) + point((0, -1, 0)) + number(-1) + parameter(0.9),
        "shoulder_on_chord": byte(0x02) + point((-2, 4, 0)) + point((2, 4, 0)) + point((-1, 0, 0)) + point(
            (1, 0, 0)) + point((0, 4, 0)),
        "coincident_points": byte(0) + point((1, 1, 0)) + point((1, 1, 0)) + point((1, 1, 0)) + point(
            (0, 0, 1)) + point((0, 0, 0)),
    },
    # opts (a curve and back 1, continuity 0 joins 2): degree, order, tolerance, 3 (degree + 1) coefficients; or a
    # curve, tolerance, order back - 2
    "legendre_conversion": {
        "cubic_span_order4": byte(0) + byte(3) + byte(4) + number(1e-6) + b"".join(
            number(x) for x in (0, 1, 0, 0.5, 1, 0, -1, 0, 0, 0, 0, 0)),
        "degree_12_span_order4": byte(0) + byte(12) + byte(4) + number(1e-4) + b"".join(
            number(math.sin(j) / (1 + j)) for j in range(39)),
        "degree_30_span_joined": byte(2) + byte(30) + byte(5) + number(1e-5) + b"".join(
            number(math.cos(j) / (1 + j * j)) for j in range(93)),
        "constant_span": byte(0) + byte(0) + byte(3) + number(1e-6) + number(1) + number(2) + number(3),
        "wave_and_back": byte(1) + c(WAVE) + number(1e-4) + byte(2),
        "rational_loop_and_back": byte(1) + c(dict(LOOP, weights=[1, 3, 0.5, 1])) + number(1e-4) + byte(1),
        "circle_and_back": byte(1) + c(CIRCLE) + number(1e-3) + byte(1),
        "double_knot_and_back": byte(1) + c(DOUBLE_KNOT) + number(1e-4) + byte(0),
        "point_curve": byte(1) + c(dict(order=3, poles=[(1, 1, 1)] * 3)) + number(1e-4) + byte(0),
        "unclamped_and_back": byte(1) + c(WAVE, knots=list(range(12))) + number(1e-4) + byte(2),
    },
}


def write(family, seeds):
    folder = os.path.join(ROOT, family)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    for family in sys.argv[1:] or SEEDS:
        write(family, SEEDS[family])
