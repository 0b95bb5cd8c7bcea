// Lane kernels of the fast robust routines (klanes_impl.h), in a baseline
// x86-64 build and an AVX2 build, chosen at run time. Both give the same bits.
#pragma once

namespace rb {

enum class Isa { Baseline, Avx2 };

// The widest instruction set this processor runs.
Isa BestIsa();

namespace klanes {

void Vinzor(Isa isa, float* w, int ld, int n, double dn);
void GramFloat(Isa isa, const float* w, int ld, int n, int M, float* G);
void SecondMoments(Isa isa, const float* w, int ld, int n, int M, double dn, double* acc,
                   float* S);
void RegressionProbe(Isa isa, const double* xt, int ld, int n, int m, int P,
                     const unsigned char* active, const double* D, double dn, float* F);
void RegressionGradient(Isa isa, const double* xt, const double* xdn, int ld, int n, int m,
                        const unsigned char* active, const double* E, double dn, double* F,
                        double* SG, double* sg);
void RegressionFit(Isa isa, const double* xt, int ld, int n, int m, const double* E, float* fit);
float ProjectionCriterion(Isa isa, const double* xr, int ldr, int n, int M, const double* y,
                          double dn, double* sign);
void SignedColumnSums(Isa isa, const double* xc, int ld, int n, const double* sign,
                      double* grad);

}  // namespace klanes
}  // namespace rb
