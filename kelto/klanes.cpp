// Run-time choice between the baseline and the AVX2 build of the lane kernels.
#include "klanes.h"

#include "cpu.h"

namespace rb {

#define KLANES_DECLARE(ns)                                                                     \
  namespace klanes::ns {                                                                       \
  void Vinzor(float* w, int ld, int n, double dn);                                             \
  void GramFloat(const float* w, int ld, int n, int M, float* G);                              \
  void SecondMoments(const float* w, int ld, int n, int M, double dn, double* acc, float* S);  \
  void RegressionProbe(const double* xt, int ld, int n, int m, int P,                          \
                       const unsigned char* active, const double* D, double dn, float* F);     \
  void RegressionGradient(const double* xt, const double* xdn, int ld, int n, int m,           \
                          const unsigned char* active, const double* E, double dn, double* F,  \
                          double* SG, double* sg);                                             \
  void RegressionFit(const double* xt, int ld, int n, int m, const double* E, float* fit);     \
  float ProjectionCriterion(const double* xr, int ldr, int n, int M, const double* y,          \
                            double dn, double* sign);                                          \
  void SignedColumnSums(const double* xc, int ld, int n, const double* sign, double* grad);    \
  }
KLANES_DECLARE(sse2)
#if defined(__x86_64__)
KLANES_DECLARE(avx2)
#endif
#undef KLANES_DECLARE

Isa BestIsa() {
#if defined(__x86_64__)
  if (wv::HasAvx2()) return Isa::Avx2;
#endif
  return Isa::Baseline;
}

namespace klanes {

#if defined(__x86_64__)
#define KLANES_CALL(fn, ...) \
  (isa == Isa::Avx2 ? avx2::fn(__VA_ARGS__) : sse2::fn(__VA_ARGS__))
#else
#define KLANES_CALL(fn, ...) ((void)isa, sse2::fn(__VA_ARGS__))
#endif

void Vinzor(Isa isa, float* w, int ld, int n, double dn) { KLANES_CALL(Vinzor, w, ld, n, dn); }

void GramFloat(Isa isa, const float* w, int ld, int n, int M, float* G) {
  KLANES_CALL(GramFloat, w, ld, n, M, G);
}

void SecondMoments(Isa isa, const float* w, int ld, int n, int M, double dn, double* acc,
                   float* S) {
  KLANES_CALL(SecondMoments, w, ld, n, M, dn, acc, S);
}

void RegressionProbe(Isa isa, const double* xt, int ld, int n, int m, int P,
                     const unsigned char* active, const double* D, double dn, float* F) {
  KLANES_CALL(RegressionProbe, xt, ld, n, m, P, active, D, dn, F);
}

void RegressionGradient(Isa isa, const double* xt, const double* xdn, int ld, int n, int m,
                        const unsigned char* active, const double* E, double dn, double* F,
                        double* SG, double* sg) {
  KLANES_CALL(RegressionGradient, xt, xdn, ld, n, m, active, E, dn, F, SG, sg);
}

void RegressionFit(Isa isa, const double* xt, int ld, int n, int m, const double* E,
                   float* fit) {
  KLANES_CALL(RegressionFit, xt, ld, n, m, E, fit);
}

float ProjectionCriterion(Isa isa, const double* xr, int ldr, int n, int M, const double* y,
                          double dn, double* sign) {
  return KLANES_CALL(ProjectionCriterion, xr, ldr, n, M, y, dn, sign);
}

void SignedColumnSums(Isa isa, const double* xc, int ld, int n, const double* sign,
                      double* grad) {
  KLANES_CALL(SignedColumnSums, xc, ld, n, sign, grad);
}

#undef KLANES_CALL

}  // namespace klanes
}  // namespace rb
