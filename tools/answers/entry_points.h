// The entry routines the answer driver calls, declared here rather than taken from the library's area headers:
// their signatures are fixed, while the headers also declare internal routines whose signatures may change between
// the two commits compared, which must not keep either side's driver from building. The curve record, its
// allocation and release come from bspline/bspline.h, whose record layout is fixed too.
#pragma once

#include <cstdint>

#include "bspline/bspline.h"

// The component kind of a composite offset's ordinary component.
constexpr int BSCMP_ORDINARY = 51;

BSboolean BSarclength(int *rc, VOQbsp_curve *cv, const double *par0, const double *par1, double *length);
void BScmpcvoffl(int n, const VOQbsp_curve *const *comps, BSboolean side, const double normal[3],
                 const double *dists, BSboolean single, const int *types, std::int16_t option,
                 std::int16_t loop_mode, BSboolean closed, int *num_pieces, VOQbsp_curve **pieces, int *tags,
                 int *num_loops, int *curves_per_loop, VOQbsp_curve **loop_curves, int *loop_tags, int *rc);
BSboolean BScv_slfint(int *rc, VOQbsp_curve *cv, int *n_int, double **first, double **second, int *n_over,
                      double **over_first_start, double **over_first_end, double **over_second_start,
                      double **over_second_end);
void BScvcvint(VOQbsp_curve *cv1, VOQbsp_curve *cv2, BSboolean merge_by_dist, int int_size, int over_size,
               double *int_pts, double *int_par1, double *int_par2, double *over_pts, double *over_par1,
               double *over_par2, int *n_int, int *n_over, BSboolean *int_alloc, BSboolean *over_alloc,
               double **a_int_pts, double **a_int_par1, double **a_int_par2, double **a_over_pts,
               double **a_over_par1, double **a_over_par2, int *rc);
void BScvoffsetd(const VOQbsp_curve *curve, double dist, const double side[3], BSboolean normal_given,
                 int corner_mode, std::int16_t loop_mode, BSboolean *side_flag, const double normal[3],
                 VOQbsp_curve **result, int *count, VOQbsp_curve ***pieces, int *rc);
void BSfitratcv(int n, double *points, double *weights, double *params, int *span_index, std::int16_t order,
                int num_knots, double *knots, std::int16_t periodic, int end_type, int start_code, int end_code,
                double *start_value, double *end_value, std::int32_t reserved1, std::int32_t reserved2,
                double start_weight, double end_weight, std::int32_t reserved3, double reserved4,
                std::int32_t reserved5, std::int16_t search, double tolerance, VOQbsp_curve **curve, double *mean_dev,
                double *max_dev, int *max_index, double *max_point, int *rc);
void BSfndrtlgd1(int n, const double *c, double tol, int *count, double *roots, int *rc);
void BSmdistptcv(VOQbsp_curve *curve, const double point[3], std::int16_t *num_intervals, std::int16_t *num_params,
                 double **params, double *min_dist, double **intervals, int *rc);
void BSmdstptcv(const VOQbsp_curve *cv, const double point[3], double *par, double base[3], double *dist, int *rc);
BSboolean BSrpoly(int *rc, const double *coef, const std::int16_t *degree, double *re, double *im);
