// Work storage of the fast robust routines. The caller owns one and passes it
// to every call; it grows to the largest window seen and is then reused, so
// that the windows of a run allocate nothing in their inner loops.
#pragma once

#include <vector>

#include "klanes.h"
#include "matinv.h"
#include "robust.h"
#include "rsvd.h"

namespace rb {

// Golden-section search state of one regression lane.
struct LaneSearch {
  bool active = false;     // the descent of this lane goes on
  bool searching = false;  // its line search has not met the width test
  bool need1 = false, need2 = false;
  int iter = 0;
  double F = 0.0;              // criterion at E, in double
  double a = 0.0, b = 0.0;     // bracket
  double xv1 = 0.0, xv2 = 0.0; // unrounded probe points of the current pass
  double width = 0.0;
  double t = 0.0, Fnew = 0.0;
  float x1 = 0.0f, x2 = 0.0f, F1 = 0.0f, F2 = 0.0f;
};

struct Workspace {
  Isa isa = BestIsa();
  EstimatorWork est;

  // Window copies: n rows of ld lanes (raw, raw / n, winsorised).
  std::vector<double> xt, xdn;
  std::vector<float> xw;
  // Regression: Gram matrix of all winsorised channels, one channel's normal
  // equations and inverse, the lanes' coefficients and probe points.
  std::vector<float> gall, g, gi, b;
  std::vector<float> e, sg;
  std::vector<double> ed, sgd, dd, fd, sgwork;
  std::vector<float> fs, fit, yrow, fitrow;
  std::vector<unsigned char> laneFlags;
  std::vector<LaneSearch> lanes;

  // Principal direction: the window by rows, second moments, SVD factors,
  // direction, gradient, tangent, probe and projection signs.
  std::vector<double> xr, macc, sign, dirD, gradD, yD;
  std::vector<float> secMomLd, secMom, svU, svS, dir, grad, tang;

  // Work storage of the inversion and the decomposition.
  wv::MatInvWork matinv;
  wv::RsvdWork rsvd;
};

}  // namespace rb
