// The clearing of a composite offset whose legs give way, where an arc parametrised unevenly sweeps far between
// two of the points it is measured at: what is kept comes no nearer to the chain than the distance, also where a
// stretch begins at a corner it shares with a neighbour whose band it enters just after. A polyline component's
// legs give way and what is kept of them is one piece again.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

// A line, or an arc about (cx, cy) of radius r from angle a0 through the signed sweep in one rational span whose
// weights 1, cos(sweep / 2) rho, rho^2 crowd its turning towards its end (rho < 1) or its start (rho > 1).
struct Leg {
  bool arc;
  double a, b, c, d, e = 0, rho = 0;  // line: x0, y0, x1, y1; arc: cx, cy, r, a0, sweep, rho
};

std::unique_ptr<TestCurve> component(const Leg &l) {
  if (!l.arc)
    return std::make_unique<TestCurve>(2, std::vector<double>{l.a, l.b, 0, l.c, l.d, 0},
                                       std::vector<double>{0, 0, 1, 1});
  const double cx = l.a, cy = l.b, r = l.c, a0 = l.d, sweep = l.e, w = std::cos(sweep / 2), rm = r / w;
  const std::vector<double> poles{cx + r * std::cos(a0),          cy + r * std::sin(a0),          0,
                                  cx + rm * std::cos(a0 + sweep / 2), cy + rm * std::sin(a0 + sweep / 2), 0,
                                  cx + r * std::cos(a0 + sweep),  cy + r * std::sin(a0 + sweep),  0};
  return std::make_unique<TestCurve>(3, poles, std::vector<double>{0, 0, 0, 1, 1, 1},
                                     std::vector<double>{1, w * l.rho, l.rho * l.rho});
}

// The legs as planar components, and the records the offset reads.
struct Components {
  std::vector<std::unique_ptr<TestCurve>> owned;
  std::vector<const VOQbsp_curve *> cs;
  explicit Components(const std::vector<Leg> &legs) {
    for (const Leg &l : legs) {
      owned.push_back(component(l));
      owned.back()->cv.planar = 1;
      cs.push_back(&owned.back()->cv);
    }
  }
};

// The offset of the chain cs by d (one distance, ordinary components), owning what it hands back.
struct Offset {
  std::vector<VOQbsp_curve *> pieces, loops;
  std::vector<int> tags, per_loop, loop_tags;
  int m = 0, nl = 0, rc = 0;
  Offset(const std::vector<const VOQbsp_curve *> &cs, double d, BSboolean side, std::int16_t option,
         std::int16_t loop_mode, BSboolean closed) {
    const double up[3] = {0, 0, 1};
    const int n = static_cast<int>(cs.size()), room = 2 * n + 1, type = BSCMP_ORDINARY;
    pieces.assign(room, nullptr), loops.assign(room, nullptr);
    tags.assign(room, 0), per_loop.assign(room, 0), loop_tags.assign(room, 0);
    BScmpcvoffl(n, cs.data(), side, up, &d, BSTRUE, &type, option, loop_mode, closed, &m, pieces.data(),
                tags.data(), &nl, per_loop.data(), loops.data(), loop_tags.data(), &rc);
  }
  ~Offset() {
    int frc = 0;
    for (auto *list : {&pieces, &loops})
      for (VOQbsp_curve *cv : *list)
        if (cv) BSfreevoqcv(cv, &frc);
  }
  Offset(const Offset &) = delete;
  Offset &operator=(const Offset &) = delete;
};

// Whether p, nearest to lines only, lies on the far side of every one of them whose nearest point lies inside it
// (the offset side is to the right of the legs with side TRUE). Ties within 1e-7 count as nearest.
bool beyond_lines(const std::vector<const VOQbsp_curve *> &cs, BSboolean side, const double p[3], double near) {
  int own_side = 0, far_side = 0;
  for (const VOQbsp_curve *leg : cs) {
    if (dist_to(leg, p) > near + 1e-7) continue;
    if (leg->order != 2 || leg->num_poles != 2 || leg->rational) return false;
    const double *a = leg->poles, *b = leg->poles + 3, dx = b[0] - a[0], dy = b[1] - a[1];
    const double t = ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / (dx * dx + dy * dy);
    if (t <= 1e-9 || t >= 1 - 1e-9) continue;
    const bool left = dx * (p[1] - a[1]) - dy * (p[0] - a[0]) > 0;
    ++(left == (side == BSTRUE) ? far_side : own_side);
  }
  return far_side > 0 && own_side == 0;
}

// The offset of the open chain cs by d: its pieces end to end but at `gaps` junctions (rc 47 where there are any,
// else 0), no point of them nearer to the chain than d nor on the far side of the line legs nearest to it, and with
// round corners every point at d.
void expect_clear(const std::vector<const VOQbsp_curve *> &cs, double d, BSboolean side, std::int16_t option,
                  std::int16_t loop_mode, int gaps = 0) {
  const Offset o(cs, d, side, option, loop_mode, BSFALSE);
  const int m = o.m, rc = o.rc;
  const std::vector<VOQbsp_curve *> &pieces = o.pieces;
  EXPECT_EQ(rc, gaps ? 47 : 0);
  EXPECT_GE(m, 1);
  double nearest = INFINITY, farthest = 0;
  int apart = 0, beyond = 0;
  for (int k = 0; k < m && (rc == 0 || rc == 47); ++k) {
    const VOQbsp_curve *cv = pieces[k];
    const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
    for (int i = 0; i <= 256; ++i) {
      double p[3];
      ref_point(*cv, a + (b - a) * i / 256, p);
      p[2] = 0;
      double near = INFINITY;
      for (const VOQbsp_curve *leg : cs) near = std::min(near, dist_to(leg, p));
      nearest = std::min(nearest, near), farthest = std::max(farthest, near);
      // A piece's ends are cuts where it meets another leg's band, and a mitre's extension lies farther than the
      // distance from every leg, the nearest not its own: what lies at the distance on the far side is wrong.
      if (i != 0 && i != 256 && near <= d + 1e-7) beyond += beyond_lines(cs, side, p, near);
    }
    if (k + 1 < m) {
      double e[3], s[3];
      ref_point(*cv, b, e), ref_point(*pieces[k + 1], pieces[k + 1]->knots[pieces[k + 1]->order - 1], s);
      apart += std::hypot(e[0] - s[0], e[1] - s[1]) > 1e-9;
    }
  }
  EXPECT_EQ(apart, gaps);
  EXPECT_GE(nearest, d - 1e-9);
  EXPECT_EQ(beyond, 0);
  if (option == 1) {
    EXPECT_LE(farthest - d, 1e-5);
  }
}

// The distance from p to the segment a b.
double seg_dist(const double p[2], const double a[2], const double b[2]) {
  const double v[2] = {b[0] - a[0], b[1] - a[1]}, w[2] = {p[0] - a[0], p[1] - a[1]};
  const double t = std::clamp((v[0] * w[0] + v[1] * w[1]) / (v[0] * v[0] + v[1] * v[1]), 0.0, 1.0);
  return std::hypot(w[0] - t * v[0], w[1] - t * v[1]);
}

// The lines through the points xy (x, y pairs), one leg each.
std::vector<Leg> polyline(const std::vector<double> &xy) {
  std::vector<Leg> legs;
  for (std::size_t k = 0; k + 3 < xy.size(); k += 2) legs.push_back({false, xy[k], xy[k + 1], xy[k + 2], xy[k + 3]});
  return legs;
}

// Every point of a line leg's offset line beside the leg that lies at d from the open chain of lines and nowhere
// nearer belongs to the offset: the pieces pass within 1e-6 of each. The count of such points is returned, so
// that a row shows it has them.
int expect_covered(const std::vector<Leg> &legs, const std::vector<const VOQbsp_curve *> &cs, double d,
                   BSboolean side, std::int16_t option, std::int16_t loop_mode) {
  const Offset o(cs, d, side, option, loop_mode, BSFALSE);
  int on = 0, missed = 0;
  double worst = 0, at[2] = {0, 0};
  for (const Leg &l : legs) {
    const double a[2] = {l.a, l.b}, b[2] = {l.c, l.d}, len = std::hypot(b[0] - a[0], b[1] - a[1]);
    const double s = side ? 1.0 : -1.0, n[2] = {s * (b[1] - a[1]) / len, -s * (b[0] - a[0]) / len};
    for (int i = 0; i <= 2000; ++i) {
      const double t = i / 2000.0, p[3] = {a[0] + t * (b[0] - a[0]) + d * n[0], a[1] + t * (b[1] - a[1]) + d * n[1], 0};
      double nearest = INFINITY;
      for (const Leg &q : legs) {
        const double qa[2] = {q.a, q.b}, qb[2] = {q.c, q.d};
        nearest = std::min(nearest, seg_dist(p, qa, qb));
      }
      if (nearest < d - 1e-9) continue;
      ++on;
      double gap = INFINITY;
      for (int k = 0; k < o.m && (o.rc == 0 || o.rc == 47); ++k) gap = std::min(gap, dist_to(o.pieces[k], p));
      if (!(gap <= 1e-6)) {
        if (!(gap <= worst)) worst = gap, at[0] = p[0], at[1] = p[1];
        ++missed;
      }
    }
  }
  EXPECT_EQ(missed, 0) << "farthest " << worst << " from the pieces at (" << at[0] << ", " << at[1] << ")";
  return on;
}

// A line, four arcs in a row of uneven sweeps and weights, and two short lines.
std::vector<Leg> four_arcs() {
  return {{false, 0, 0, -1.1948154333446535, 1.9515241975075359},
          {true, -3.0945901626344012, -0.29755239794504429, 2.9440600459672188, 0.86939250423427206,
           -2.6423563129986674, 132.63252783080696},
          {true, -4.3208502865376524, -2.7454144075220595, 0.77050144562346201, -0.60185750524241044,
           -2.5720194882079812, 0.0055578036583760785},
          {true, -4.7438133656582666, -1.4251694561035457, 1.3410809702413393, -1.8326262590580362,
           -2.0105746258619641, 212.46998757963834},
          {true, -5.8256167909375032, 1.9351004666043203, 2.4953354594100956, -1.5477597603679905,
           -2.9373181156087775, 292.42386855330045},
          {false, -6.3879621346691939, 4.3662456225694424, -6.344315028681252, 4.2814454652284404},
          {false, -6.344315028681252, 4.2814454652284404, -6.3987900082703408, 4.8024628774800062}};
}

// Each row failed before: the offset of an arc that sweeps past a corner between two probes was left whole where
// it passes inside a neighbour's band (0.15 to 0.38 of the distance, nearer than the distance); one that starts at
// such a corner entered the band just beside it. The notch's offset, which falls apart, was answered with rc 0 and
// without its run round the chain's end; offsets of chains that cross back over their start, without the run
// from where the first leg's offset is cut. Joined corner by corner, a line's offset passed over the end of an arc
// curling back and the leg after it (0.98 of the distance nearer than it) and over a short arc turning back (0.83).
// Chains of lines that fold back past a half turn lost the stretches of a leg's offset that other legs' bands cut off
// at both ends (0.34 to 1.23 of the offset), mitred, round or straight; with `covered`, every point of a leg's
// offset line at the distance from the chain lies on the pieces, in loop modes 1 and 2.
TEST(CompositeClearance, UnevenArcsKeepTheDistance) {
  const std::vector<Leg> small = {{false, 0, 0, -0.012374052247430073, 0.024476663099271399},
      {false, -0.012374052247430073, 0.024476663099271399, -0.019446965931472684, -0.002787979187115468},
      {true, -0.029173805357177, -0.02282354435526119, 0.022271849425237456, 1.1188331265866829,
       1.5239585700055107, 1},
      {true, -0.052550960684150438, -0.0056649078820596097, 0.0075426553389651646, 5.2432982678425795,
       2.2489751082850664, 1},
      {true, -0.047693911219163949, 0.0018644575324751628, 0.0022388301401417808, 9.6384609311928724,
       1.7096740386713927, 1},
      {false, -0.046920838435080922, -0.00023666570687025352, -0.023054781049311451, -0.010908669932918183},
      {false, -0.023054781049311451, -0.010908669932918183, -0.032291756726219409, 0.0051173784885055022},
      {false, -0.032291756726219409, 0.0051173784885055022, -0.022291756726219407, -0.21216929437804422},
      {false, -0.022291756726219407, -0.21216929437804422, -0.01, -0.21216929437804422},
      {false, -0.01, -0.21216929437804422, 0, 0}};
  const struct {
    const char *what;
    std::vector<Leg> legs;
    double d;
    BSboolean side;
    std::vector<std::int16_t> options;
    int gaps = 0;
    bool covered = false;
    bool moves = false;  // also far out and tiny (as every covered row)
    bool tiny = true;    // moved, also a thousand times smaller
  } rows[] = {
      {"arcs turning both ways",
       {{true, -1.3054827289994559, -0.26065744161174997, 1.3312503361815349, 0.19707212174262856,
         2.368924204298267, 0.025182840848709059},
        {true, -3.1845153571859255, 2.7534128593935687, 2.4129955393360873, 5.033804642627695, -2.2886677871745214,
         0.0073083087895098086},
        {false, -5.4103478227557584, 3.6851946514839549, -5.3451389914870102, 3.7820512795156942},
        {true, -6.7069738148528462, 2.1355680705271949, 2.1367033120236703, 0.87973773406019529, 2.5507476934161835,
         0.028947170894293148},
        {true, -8.8145942778413442, 0.50725831128675436, 1.0213145527356198, 1.5125420008515293, 3.0483356543142079,
         0.0054951623691838203},
        {true, -10.321542589167269, -1.0609798032332212, 1.4636001314930911, 6.6747961170261654, 2.9875617011323095,
         0.018909334975819495},
        {false, -11.744030784172905, -1.4054397863607246, -11.844002622035774, -1.5066454143439012}},
       0.33751986930790445,
       BSTRUE,
       {1, 2}},
      {"a short leg before an arc turning back",
       {{false, 0, 0, -0.0023946390076054563, -0.095284425908940998},
        {false, -0.0023946390076054563, -0.095284425908940998, 2.624377066139076, 0.63439578964920973},
        {true, 1.4530921664871375, 1.2507117999928126, 1.3235383412498889, 5.7988074852122882, -2.417099093057208,
         240.96193004887689},
        {false, 0.16752553541000226, 0.93595446835541884, 0.094214625630577184, 1.011159440405373}},
       0.15467736953561431,
       BSFALSE,
       {1, 2}},
      {"an arc between lines and a notch",
       {{true, -1.7472905364227016, 0.71293925527314095, 1.8871424430555721, -0.38740578726240704,
         2.9952967340102186, 0.017787387527334487},
        {false, -3.371987753829365, 1.6729733964018809, 0.15975826616114519, 3.3770290913775995},
        {false, 0.15975826616114519, 3.3770290913775995, 3.755252720273766, 1.9297029461369606},
        {false, 3.755252720273766, 1.9297029461369606, 1.8033000840980891, 1.6939713649512167},
        {true, 1.9161309415509216, 2.5390233818515671, 0.85255129679151342, 4.5796546136442942, 2.1918600317799282,
         178.38160590274649},
        {false, 2.6690342384106573, 2.9389988051448381, 2.6887786262114353, 3.0105677363262564}},
       0.37975030748947991,
       BSTRUE,
       {1, 2},
       // The arc crosses the third leg: past the crossing its offset lies on that leg's other side, and the run
       // that goes round the chain's end, and the one from where the first leg's offset is cut, are handed back
       // apart from the one from its start.
       2},
      // No leg gives way, and the corner before the arc turns back by less than 120 degrees (113 and 60): the arc
      // curls back over the long leg's offset, or the last leg comes back under it past a short arc, where the
      // corner joins, which see a corner's two legs only, do not look.
      {"a line's offset under an arc curling back",
       {{false, 0, 0, -0.012280413278141019, -0.22357389558459068},
        {false, -0.012280413278141019, -0.22357389558459068, -1.4538661865203064, -2.2142406648978747},
        {true, -0.6635881400450564, -1.7402880062385355, 0.92150448365213811, 3.6818128617239725,
         -1.8231160398069988, 1},
        {false, -0.92523990074179485, -0.85671069240839293, -0.79543697605584207, -0.86500399531793404}},
       0.25236703106886965,
       BSTRUE,
       {0, 1, 2},
       // The pocket between the long leg and the arc is a room behind a mouth narrower than twice the distance:
       // its edge was dropped with rc 0, and is now handed back apart.
       1},
      {"a short arc turning back under a line's offset",
       {{false, 0, 0, -0.0071533749496164875, -0.033328132574760354},
        {false, -0.0071533749496164875, -0.033328132574760354, -0.65086124582250249, 0.16262856055048425},
        {true, -0.57706856616840807, 0.084896711174838185, 0.10718022195297944, 2.3302034332255843,
         2.7070080975873467, 1},
        {false, -0.54286300361667539, -0.016678775377820948, -0.46980537072723388, 0.016610245840292172}},
       0.074372205674605368,
       BSFALSE,
       {0, 1},
       // The arc crosses back over the long leg: the run from where the first leg's offset is cut came back left
       // out with rc 0 (0.22 of the offset missing), and is now handed back apart.
       1},
      {"four arcs in a row",
       four_arcs(),
       0.21911720871354987,
       BSFALSE,
       {1, 2},
       // The chain crosses back over its start: the run from where the first leg's offset is cut came back left
       // out with rc 0 (2.4 of the offset missing), and is now handed back apart.
       1},
      // The chain's two ends lie together beside its third leg: the offset cuts that leg, runs round the end's cap
      // and the start's and comes back to the leg, twelve stretches where the caller has room for eleven pieces.
      // It failed with rc -2; the two caps are now one piece.
      {"an offset round both ends of a folded chain",
       {{false, 0, 0, 0.96019742639155992, 1.204308436724846},
        {true, -3.6828890990469545, -1.155973503516037, 5.2085682601014227, 0.4702999518994222, 0.40150312247922088,
         1},
        {false, -0.33144961378158699, 2.8311353107427575, 0.2052970135838158, -0.94319901122696814},
        {false, 0.2052970135838158, -0.94319901122696814, 1.1684828037207728, -0.47976707515769051},
        {true, -0.41648964333667449, -1.0771726862944175, 1.6938214552156667, 6.6436369842938365, 1.0935908323582175,
         1}},
       1,
       BSTRUE,
       {1},
       0,
       false,
       true},
      // Folded back over itself, the chain's offset passes its first leg twice and its first arc three times: twelve
      // pieces where the caller has room for eleven. It failed with rc -2; the first arc of the round corners joins
      // the piece before it.
      {"an offset passing a folded chain's legs again",
       {{false, 0, 0, -3.4915171294908367, 0.31346667881945434},
        {false, -3.4915171294908367, 0.31346667881945434, -1.1795222424192588, -2.1655506240130307},
        {true, -2.2497052601465093, -0.93397731136358941, 1.6315834382164225, 5.4277855582333423, 1.9776470151348626,
         1},
        {true, -0.2127773709581493, -0.32874122037093001, 1.58599427721635, 8.8479527890266905, 2.2877949644575719, 1},
        {false, 0.0088096311822935813, -1.8991797094068503, -1.6815210576880228, -0.83790299256274037}},
       1,
       BSTRUE,
       {1},
       0,
       false,
       true},
      // Line chains that wind round a room more than twice the distance across: its edge at the distance, where the
      // offsets of the legs about it cross, closes on itself apart from the run from the chain's start (the edge of
      // a hole in the area the offset bounds, 0.40 and 7.36 long). It came back left out with rc 0, and is now
      // handed back apart.
      {"a line chain about a small room",
       polyline({0, 0, -0.4315362429530103, 1.5883694341572263, -2.7046677161004746, 0.92406516882854417,
                 -1.3338278112110089, -1.3438789496742958, -1.3465627982866171, -3.1962969712716411,
                 0.63943476238849462, -3.4770362787946496, 1.8929225153068709, -5.15289790702617,
                 2.7096885878640777, -1.7841088133800875}),
       1,
       BSFALSE,
       {1, 2},
       1},
      {"a line chain crossing itself about a room",
       polyline({0, 0, 1.2605504789377144, -2.2590286952983689, -0.066480998266317037, -2.2369704654590499,
                 -2.5577557236968, -4.4119815191721425, -4.140224162437975, -7.7635181993007683,
                 -1.7601760390607999, -7.18666396487016, -3.5966478679437195, -5.8218245972723288,
                 -1.6937456170665608, -5.5126203869451391, 0.94784751223792174, -5.7900580186602495,
                 3.0605890321738158, -3.1279408607597379}),
       1,
       BSFALSE,
       {0, 1},
       1},
      // The fourth leg's offset between the corner of the first two and the seventh leg's band, enclosed by the
      // chain, which crosses itself (0.575 of it within the distance of no leg).
      {"a mitred leg's offset walled in by the chain",
       polyline({0, 0, -0.34499178850091999, 0.96486109416194343, 1.2958504264358039, 0.47037593329581018,
                 -2.12110900624109, 0.061186463770336375, -2.0383789920079893, 3.2198650014290773,
                 -1.5289039585698989, 5.9898752348731197, -0.61220721697820291, 3.974502757797052,
                 -4.4352898440137682, 2.8019648156796229, -7.05737696370955, 1.4527620133775951}),
       1,
       BSTRUE,
       {0, 1, 2},
       1,
       true},
      // A hairpin's mitre beside the chain's start, and the sixth leg's offset from it up to the start's band.
      {"a mitred hairpin between the chain's start and a fold",
       polyline({0, 0, -0.19904862957714572, -1.1032091424133252, -2.1326060262236646, -2.3655715119397183,
                 -3.9587983585652702, -2.4489392988665641, -2.0937388386297036, -1.0179570337489134,
                 0.29402018521405049, -1.0231970570959439, -2.2033700459518966, 2.0968592338573613,
                 0.37493346368506186, 4.6830685850324407, 1.2688196256424635, 5.1367067755305635,
                 -1.7843456063173522, 5.8109544835769071}),
       1,
       BSTRUE,
       {0, 1, 2},
       1,
       true},
      // The fifth leg's offset between the first leg's band and where the sixth and seventh cross, and bits of the
      // second and third legs' offsets walled in beside the chain's start.
      {"a mitred leg's offset between the start and a crossing",
       polyline({0, 0, -2.3606896814452654, 0.27621715392576374, 0.8520062128849375, 2.6155111969989702,
                 1.7297094745409405, 0.35473769782649134, 0.12254648693991421, -0.96018064403196601,
                 0.74884961797667438, -4.6393386062680788, -1.2127445768443157, -3.8103411089264396,
                 1.9350236307206479, -1.8389895661403857, 4.7422314001961157, -4.2471903926916017}),
       1,
       BSTRUE,
       {0, 1, 2},
       2,
       true},
      // A small chain whose offset by a tenth of its size falls apart: the corner arc of the seventh and eighth
      // legs is cut where it enters the sixth leg's band, the fourth leg's offset where it leaves it, 0.96e-3
      // apart, and both were put where the two cross, 2.1e-4 inside that band. The band's edge between them lies on
      // the sixth leg's far side: the offset breaks there.
      // A thousand times smaller, the chain would span a few hundred distance tolerances, and its arcs' radii less
      // than a few: it moves far out only.
      {"two cuts on either side of a crossing inside a band", small, 0.01, BSTRUE, {0, 2}, 4, false, true, false},
      {"two cuts on either side of a crossing inside a band", small, 0.01, BSTRUE, {1}, 2, false, true, false},
      // A room that a chain of lines and arcs walls in, behind a mouth narrower than twice the distance: its edge at
      // the distance, cut off at both ends by the bands of the legs about the mouth, was dropped with rc 0 (every
      // corner option); it is handed back apart from the corridor's run.
      {"a room walled in by lines and arcs",
       {{false, -2.3924053822028886, -2.3056653513853367, 0, -0.85263433172489655},
        {false, 0, -0.85263433172489655, 0, -2.3073834651858514},
        {false, 0, -2.3073834651858514, 3.9757849289706204, -2.3073834651858514},
        {false, 3.9757849289706204, -2.3073834651858514, 3.9757849289706204, 2.3073834651858514},
        {true, 1.9878924644853102, -0.17521705871732873, 3.1804122078186383, 0.89561048320029502,
         1.3503716871892031, 1},
        {true, 4.5606275180060516, 1.580008898455374, 4.6182677616526728, 2.983434682883956, 0.31631594141167441, 1},
        {true, -3.396942966788477, -2.0443535862070252, 4.4645000298193782, 0.706130138911507, 0.63771738670478684,
         1}},
       1,
       BSFALSE,
       {0, 1, 2},
       1,
       false,
       true},
  };
  // The walled-in stretches of line chains also far out and tiny: what tells a leg's own offset from a mitre's
  // extension must not hang on the chain's place or size; nor must the count of pieces that fit the caller's room.
  const struct Place {
    const char *what;
    double scale, shift;
  } places[] = {{"", 1, 0}, {", far out", 1, 2e5}, {", tiny", 1e-3, 0}};
  for (const auto &r : rows)
    for (const Place &at : places) {
      const bool moved = at.scale != 1 || at.shift != 0;
      if ((moved && !r.covered && !r.moves) || (at.scale != 1 && !r.tiny)) continue;
      std::vector<Leg> legs = r.legs;
      if (moved)
        for (Leg &l : legs)
          l = l.arc ? Leg{true, at.shift + at.scale * l.a, at.shift + at.scale * l.b, at.scale * l.c, l.d, l.e, l.rho}
                    : Leg{false, at.shift + at.scale * l.a, at.shift + at.scale * l.b, at.shift + at.scale * l.c,
                          at.shift + at.scale * l.d};
      const Components comps(legs);
      const std::vector<const VOQbsp_curve *> &cs = comps.cs;
      const double d = r.d * at.scale;
      for (const std::int16_t option : r.options)
        for (const std::int16_t loop_mode : {1, 2}) {
          if (loop_mode == 1 && !r.covered) continue;
          SCOPED_TRACE(testing::Message() << r.what << at.what << ", option " << option << ", loop mode " << loop_mode);
          expect_clear(cs, d, r.side, option, loop_mode, r.gaps);
          if (r.covered) {
            EXPECT_GT(expect_covered(legs, cs, d, r.side, option, loop_mode), 0);
          }
        }
    }
}

// The wave y = 0.6 sin(2 pi x / 3) + 0.05 sin(7.3 x) sampled every 0.05 as one polyline of 150 legs, and a line on
// from its end, offset by 1 with round corners, the joined pieces handed back: dozens of legs give way inside each
// crest, and the parts of the polyline's offset that are kept, some of no length, are joined into one piece. That
// join's report of a part of no length failed the whole offset (rc 59).
TEST(CompositeClearance, PolylineComponentsRejoinTheirLegs) {
  const auto y = [](double x) { return 0.6 * std::sin(2 * M_PI * x / 3) + 0.05 * std::sin(7.3 * x); };
  std::vector<double> p;
  for (int k = 0; k <= 150; ++k) p.insert(p.end(), {0.05 * k, y(0.05 * k), 0});
  const std::unique_ptr<TestCurve> polyline = polyline_xyz(p);
  const double x = 0.05 * 150;
  const std::unique_ptr<TestCurve> tail = component({false, x, y(x), x + 0.5, y(x) + 0.3});
  polyline->cv.planar = 1, tail->cv.planar = 1;
  const std::vector<const VOQbsp_curve *> cs{&polyline->cv, &tail->cv};
  for (const BSboolean side : {BSFALSE, BSTRUE}) {
    SCOPED_TRACE(testing::Message() << "side " << int(side));
    expect_clear(cs, 1.0, side, 1, 0);
  }
}

// Polylines given as single order-2 components, as a line string reaches the offset: the wave's 1,000 points as
// two halves, whose legs give way by the hundred on one side (the offset joined one part at a time used to squeeze
// the first parts' parameters to nothing and fail, rc -2, and took time growing with the square of the points); a
// circle of radius 100 traced by 4,000 points over 300 degrees with a line on by (+10, +10), and one of 50 points
// with a short line by (+0.5, -0.5) (refused, rc -2, on one side). Each fits the routine's room (2 n + 1 pieces),
// its pieces end to end, none nearer to the chain than the distance.
TEST(CompositeClearance, PolylineComponentsAreAnswered) {
  const auto y = [](double x) { return 0.6 * std::sin(2 * M_PI * x / 3) + 0.05 * std::sin(7.3 * x); };
  const auto wave = [&](int from, int to) {
    std::vector<double> p;
    for (int k = from; k <= to; ++k) p.insert(p.end(), {0.05 * k, y(0.05 * k), 0});
    return polyline_xyz(p);
  };
  const auto circle = [](int points, double dx, double dy) {
    std::vector<double> p;
    for (int i = 0; i < points; ++i) {
      const double a = 300.0 * M_PI / 180 * i / (points - 1);
      p.insert(p.end(), {100 * std::cos(a), 100 * std::sin(a), 0});
    }
    const double x = p[p.size() - 3], v = p[p.size() - 2];
    std::vector<std::unique_ptr<TestCurve>> c;
    c.push_back(polyline_xyz(p));
    c.push_back(component({false, x, v, x + dx, v + dy}));
    return c;
  };
  std::vector<std::unique_ptr<TestCurve>> halves;
  halves.push_back(wave(0, 500)), halves.push_back(wave(500, 1000));
  const struct {
    const char *what;
    std::vector<std::unique_ptr<TestCurve>> comps;
    std::vector<std::int16_t> options;
  } rows[] = {{"wave halves", std::move(halves), {0, 1, 2}},
              {"circle and line", circle(4000, 10, 10), {0}},
              {"circle and short line", circle(50, 0.5, -0.5), {0}}};
  for (const auto &r : rows) {
    std::vector<const VOQbsp_curve *> cs;
    for (const auto &c : r.comps) c->cv.planar = 1, cs.push_back(&c->cv);
    for (const BSboolean side : {BSFALSE, BSTRUE})
      for (const std::int16_t option : r.options) {
        SCOPED_TRACE(testing::Message() << r.what << ", side " << int(side) << ", option " << option);
        expect_clear(cs, 1.0, side, option, 2);
      }
  }
}

// An open chain whose last leg ends 0.99 from the first leg, on its offset side, half-way between two of the points
// the first leg's offset is probed at when its probes reach their floor (a 4,096th of the leg), and on one: both
// ends clear, the span between them was kept whole. The offset is cut over about x +- 0.14 and falls apart there.
TEST(CompositeClearance, ABandDippingBetweenProbesCuts) {
  for (const double x : {2000.48828125, 2000.0}) {
    const Components comps(polyline({0, 0, 4000, 0, 4000, 2.5, 3999.9, 2.5, 3999.9, 5, x, 5, x, 1.99}));
    for (const std::int16_t option : {1, 2}) {
      SCOPED_TRACE(testing::Message() << "x " << x << ", option " << option);
      const Offset o(comps.cs, 1.0, BSFALSE, option, 2, BSFALSE);
      EXPECT_EQ(o.rc, 47);
      const double end[3] = {x, 1.99, 0}, before[3] = {x - 0.2, 1, 0}, after[3] = {x + 0.2, 1, 0};
      double nearest = INFINITY, to_before = INFINITY, to_after = INFINITY;
      for (int k = 0; k < o.m; ++k) {
        nearest = std::min(nearest, dist_to(o.pieces[k], end));
        to_before = std::min(to_before, dist_to(o.pieces[k], before));
        to_after = std::min(to_after, dist_to(o.pieces[k], after));
      }
      EXPECT_GE(nearest, 1 - 1e-9);
      EXPECT_LE(std::max(to_before, to_after), 1e-9);
    }
  }
}

// Whether two answers agree within tol: the same code, counts and tags, and each piece (and loop) within tol of the
// other's at its ends and at points between, both ways. The first difference, or empty.
std::string differs(const Offset &a, const Offset &b, double tol) {
  if (a.rc != b.rc || a.m != b.m || a.nl != b.nl) return "codes or counts";
  const auto apart = [&](const VOQbsp_curve *x, const VOQbsp_curve *y) {
    const double u0 = x->knots[x->order - 1], u1 = x->knots[x->num_poles];
    for (int i = 0; i <= 8; ++i) {
      double p[3];
      ref_point(*x, u0 + (u1 - u0) * i / 8, p);
      if (!(dist_to(y, p) <= tol)) return true;
    }
    return false;
  };
  for (int k = 0; k < a.m; ++k)
    if (a.tags[k] != b.tags[k] || apart(a.pieces[k], b.pieces[k]) || apart(b.pieces[k], a.pieces[k]))
      return "piece " + std::to_string(k);
  for (int k = 0; k < a.nl; ++k)
    if (a.per_loop[k] != b.per_loop[k]) return "loop counts";
  for (std::size_t k = 0; k < a.loops.size(); ++k)
    if (!a.loops[k] != !b.loops[k] ||
        (a.loops[k] && (apart(a.loops[k], b.loops[k]) || apart(b.loops[k], a.loops[k]))))
      return "loop " + std::to_string(k);
  return "";
}

// The clearing's cuts had in closed form where a stretch and the bands it meets are lines, its measures passed
// over where a leg surely lies farther than what they could change, the search of a crossing that stops once a
// probe's side is known, the merge of the chain done in plain arrays and the cuts at its joints taken as the poles
// stand: with every shortcut off each is done the general way (the cuts by probes and bisection), and the offsets
// agree within the offset tolerance. Long chains of short legs (a wave, open and closed, far out and small), lines
// and uneven arcs, a figure eight whose offsets loop; every option and loop mode, both sides.
TEST(CompositeClearance, ShortcutsAnswerAsTheGeneralRoads) {
  const auto y = [](double x) { return 0.6 * std::sin(2 * M_PI * x / 3) + 0.05 * std::sin(7.3 * x); };
  const auto wave = [&](int legs, double at, double scale, bool closed) {
    std::vector<Leg> c;
    const auto p = [&](double x, double v) { return std::array<double, 2>{at + scale * x, at + scale * v}; };
    for (int k = 0; k < legs; ++k) {
      const auto a = p(0.05 * k, y(0.05 * k)), b = p(0.05 * (k + 1), y(0.05 * (k + 1)));
      c.push_back({false, a[0], a[1], b[0], b[1]});
    }
    if (closed) {
      const auto e = p(0.05 * legs, y(0.05 * legs)), f = p(0.05 * legs, -3), g = p(0, -3), h = p(0, y(0));
      c.push_back({false, e[0], e[1], f[0], f[1]});
      c.push_back({false, f[0], f[1], g[0], g[1]});
      c.push_back({false, g[0], g[1], h[0], h[1]});
    }
    return c;
  };
  // A figure eight of 80 legs, closed where it began, and the lines and uneven arcs of the first table.
  std::vector<Leg> eight;
  for (int k = 0; k < 80; ++k) {
    const auto at = [](int j) {
      const double t = 2 * M_PI * j / 80;
      return std::array<double, 2>{3 * std::sin(t), 1.5 * std::sin(2 * t)};
    };
    eight.push_back({false, at(k)[0], at(k)[1], at(k + 1)[0], at(k + 1)[1]});
  }
  const std::vector<Leg> arcs = four_arcs();
  const struct {
    const char *what;
    std::vector<Leg> legs;
    double d;
    bool closed;
  } rows[] = {
      {"wave", wave(160, 0, 1, false), 1, false},
      {"closed wave", wave(160, 0, 1, true), 1, true},
      {"wave far out", wave(160, 1e5, 1, false), 1, false},
      {"small wave", wave(160, 0, 1e-3, false), 1e-3, false},
      {"figure eight", eight, 0.2, true},
      {"lines and uneven arcs", arcs, 0.21911720871354987, false},
  };
  for (const auto &r : rows) {
    const Components comps(r.legs);
    const std::vector<const VOQbsp_curve *> &cs = comps.cs;
    for (const BSboolean side : {BSFALSE, BSTRUE})
      for (const std::int16_t option : {0, 1, 2})
        for (const std::int16_t loop_mode : {0, 1, 2}) {
          SCOPED_TRACE(testing::Message() << r.what << ", side " << int(side) << ", option " << option
                                          << ", loop mode " << loop_mode);
          const BSboolean closed = r.closed ? BSTRUE : BSFALSE;
          const Offset fast(cs, r.d, side, option, loop_mode, closed);
          std::unique_ptr<Offset> slow;
          {
            const bstest::SlowRoads roads;
            slow = std::make_unique<Offset>(cs, r.d, side, option, loop_mode, closed);
          }
          EXPECT_EQ(differs(fast, *slow, BStoltab[bstol::offset_tol]), "");
        }
  }
}

}  // namespace
