// Parameters read off a knot vector: the span of each of a sorted list of parameters, the node values (Greville
// abscissae) of the poles with points between them, the nodes within a range or one period, the curve points at
// the nodes, and a parameter clamped into the active range.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/measure.h"

#include <cmath>
#include <memory>
#include <new>

void BSfndspnarr(std::int16_t order, int num_poles, int num_params, const double *params, const double *knots,
                 int *spans, int *rc) {
  *rc = 0;
  const int k = order, n = num_poles;
  int i = k - 1;
  if (num_params > 0 && !BSallfinite(num_params, params)) *rc = BSRC_OUT_OF_RANGE;
  for (int p = 0; p < num_params && *rc == 0; ++p) {
    const double u = params[p];
    if (p == 0) {
      // The first parameter takes the span that starts at a knot.
      if (u >= knots[n]) {
        i = n - 1;
      } else {
        while (i < n - 1 && u >= knots[i + 1]) ++i;
      }
    } else {
      // Later ones keep the span that ends there.
      while (i < n - 1 && u > knots[i + 1]) ++i;
    }
    spans[p] = i;
  }
  BSexit(rc, "BSfndspnarr", "bsfndspnarr");
}

void BSnodevals(std::int16_t order, int num_knots, const double *knots, int num_between, int *num_nodes,
                double *nodes, int *rc) {
  *rc = 0;
  *num_nodes = 0;
  const int k = order, n = num_knots - order;
  do {
    // A node is the mean of order - 1 knots: none for order 1.
    if (k < 2 || n < 1 || num_between < 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSscratch<100> node_work, value_work;
    double *node = node_work.take(static_cast<std::size_t>(n));
    double *c0_values = value_work.take(static_cast<std::size_t>(num_knots));
    std::unique_ptr<int[]> c0_indices(new (std::nothrow) int[num_knots]);
    if (!node || !c0_values || !c0_indices) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    const double e8 = BStoltab[bstol::knot_tol];
    int joints = 0;
    if (n > k) {
      const double ktol = k * e8;
      BSfindmkts(rc, &order, &n, knots, &ktol, &joints, c0_values, c0_indices.get());
      if (*rc != 0) break;
    }
    int next_joint = 0;
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int j = i + 1; j <= i + k - 1; ++j) s += knots[j];
      node[i] = s / (k - 1);
      // The pole a C0 joint passes through sits exactly at the joint.
      if (next_joint < joints && c0_indices[next_joint] == i + 1) {
        if (std::fabs(node[i] - knots[i + 1]) < e8) node[i] = knots[i + 1];
        ++next_joint;
      }
    }
    if (std::fabs(node[0] - knots[k - 1]) < e8) node[0] = knots[k - 1];
    if (std::fabs(node[n - 1] - knots[n]) < e8) node[n - 1] = knots[n];
    int out = 0;
    nodes[out++] = node[0];
    for (int i = 1; i < n; ++i) {
      for (int b = 1; b <= num_between; ++b)
        nodes[out++] = node[i - 1] + (node[i] - node[i - 1]) * b / (num_between + 1);
      nodes[out++] = node[i];
    }
    *num_nodes = out;
  } while (false);
  BSexit(rc, "BSnodevals", "bsnodevals");
}

void BSnodvalrg(std::int16_t order, BSboolean periodic, int num_knots, const double *knots, int num_between,
                double offset, BSboolean use_range, const double range[2], int *num_nodes, double *nodes, int *rc) {
  *rc = 0;
  if (!std::isfinite(offset) || (use_range && !BSallfinite(2, range)))
    *rc = BSRC_OUT_OF_RANGE;
  else
    BSnodevals(order, num_knots, knots, num_between, num_nodes, nodes, rc);
  if (*rc == 0 && (periodic || use_range)) {
    const int k = order;
    BSscratch<100> work;
    double *kept = work.take(static_cast<std::size_t>(*num_nodes) + 4);
    if (!kept) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      int m = *num_nodes;
      if (periodic) {
        // One period: the nodes of the wrapped poles outside it go; an odd order has no node at the period's
        // ends, so they are added.
        const double lo = knots[k - 1], hi = knots[num_knots - k];
        int c = 0;
        if (k % 2) kept[c++] = lo;
        for (int i = 0; i < m; ++i)
          if (nodes[i] >= lo && nodes[i] <= hi) kept[c++] = nodes[i];
        if (k % 2) kept[c++] = hi;
        for (int i = 0; i < c; ++i) nodes[i] = kept[i];
        m = c;
      }
      if (use_range) {
        int c = 0;
        kept[c++] = range[0];
        for (int i = 0; i < m; ++i)
          if (nodes[i] > range[0] + offset && nodes[i] < range[1] - offset) kept[c++] = nodes[i];
        kept[c++] = range[1];
        for (int i = 0; i < c; ++i) nodes[i] = kept[i];
        m = c;
      }
      *num_nodes = m;
    }
  }
  BSexit(rc, "BSnodvalrg", "bsnodvalrg");
}

void BScvnodpts(const VOQbsp_curve *cv, int num_between, int *num_nodes, double *nodes, double *points, int *rc) {
  *rc = 0;
  *num_nodes = 0;
  if (!cv || !cv->knots || !cv->poles) {
    *rc = BSRC_NULL_CURVE;
  } else {
    BSnodvalrg(cv->order, cv->periodic, cv->num_poles + cv->order, cv->knots, num_between, 0.0, BSFALSE, nullptr,
               num_nodes, nodes, rc);
    if (*rc == 0) BScvarrev0(rc, cv, nodes, *num_nodes, points);
  }
  BSexit(rc, "BScvnodpts", "bscvnodpts");
}

void BSclamppar(const double *knots, std::int16_t order, int num_poles, double *u, int *rc) {
  *rc = 0;
  if (!std::isfinite(*u))
    *rc = BSRC_OUT_OF_RANGE;  // left as it is: no place on the curve stands for it
  else if (*u < knots[order - 1])
    *u = knots[order - 1];
  else if (*u > knots[num_poles])
    *u = knots[num_poles];
  BSexit(rc, "BSclamppar", "bsclamppar");
}
