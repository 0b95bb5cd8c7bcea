// The two passes as the program runs them: the steps of ivra_passes_plain.cpp
// with the same sums in the same order, in work storage kept across windows.
#include <cstddef>
#include <utility>
#include <vector>

#include "canoncorr.h"
#include "ivra_passes.h"
#include "matrix.h"
#include "moment_lanes.h"
#include "rsvd.h"

namespace ivra {

namespace {

void Copy(const float* from, int count, float* to) {
  for (int n = 0; n < count; ++n) to[n] = from[n];
}

// First position a window sets: all of the level's first window, only the
// newest position of every later one.
int FirstPosition(const agg::Window& w) { return w.first ? w.WinStart : w.WinEnd; }

// Brings the products of positions WinStart..WinEnd of X into the ring,
// forming only those it does not hold yet.
void KeepProducts(const float* X, int Nser, int WinStart, int WinEnd, int width, MomentProducts& mp) {
  const int count = WinEnd - WinStart + 1;
  if (mp.source != X || mp.nser != Nser || count > mp.capacity || WinStart < mp.lo ||
      WinStart > mp.hi + 1) {
    mp.source = X;
    mp.nser = Nser;
    mp.capacity = count;
    mp.lo = WinStart;
    mp.hi = WinStart - 1;
    const std::size_t size = static_cast<std::size_t>(count) * static_cast<std::size_t>(width);
    if (mp.slots.size() < size) mp.slots.resize(size);
  }
  const wv::Mat x{const_cast<float*>(X), Nser};
  for (int k = mp.hi + 1; k <= WinEnd; ++k) {
    double* const slot = mp.slots.data() + static_cast<std::ptrdiff_t>(k % mp.capacity) * width;
    int e = 0;
    for (int a = 1; a <= Nser; ++a) {
      for (int b = 1; b <= a; ++b) slot[e++] = double(x(a, k)) * double(x(b, k));
    }
    for (; e < width; ++e) slot[e] = 0.0;
    mp.hi = k;
    if (mp.hi - mp.lo + 1 > mp.capacity) mp.lo = mp.hi - mp.capacity + 1;
  }
}

}  // namespace

void SecondMoments(const float* X, int Nser, int WinStart, int WinEnd, int WinCount, float* WinCov,
                   PassWork& work) {
  // Elements (a, b), b <= a, row by row of the lower triangle, padded with
  // zero products to a whole number of quads.
  const int elements = Nser * (Nser + 1) / 2;
  const int width = (elements + 3) / 4 * 4;
  const int count = WinEnd - WinStart + 1;
  MomentProducts& mp = work.products;
  if (work.sums.size() < static_cast<std::size_t>(width)) work.sums.resize(static_cast<std::size_t>(width));
  double* const sums = work.sums.data();
  for (int e = 0; e < width; ++e) sums[e] = 0.0;
  if (count <= 0) {
    mp.Forget();  // an empty window: every sum stays 0
  } else {
    KeepProducts(X, Nser, WinStart, WinEnd, width, mp);
    // Each element's sum over the positions in ascending order: the slots
    // from WinStart's to the end of the ring, then from its start.
    const int first = WinStart % mp.capacity;
    const int run = count < mp.capacity - first ? count : mp.capacity - first;
    moments::AddSlots(work.avx2, mp.slots.data(), width, first, run, sums);
    if (run < count) moments::AddSlots(work.avx2, mp.slots.data(), width, 0, count - run, sums);
  }

  const wv::Mat c{WinCov, Nser};
  int e = 0;
  for (int a = 1; a <= Nser; ++a) {
    for (int b = 1; b <= a; ++b, ++e) {
      const float m = float(sums[e] / double(WinCount));
      c(a, b) = m;
      c(b, a) = m;
    }
  }
}

namespace {

// The canonical variates CanVar(., k) at the positions the window sets, from
// its weights.
void Variates(const agg::Window& w, int Nser, const float* SerCoef, const float* CanWeights,
              float* SerVec, float* CanVec, float* CanVar) {
  const wv::Mat ser{const_cast<float*>(SerCoef), Nser};
  const wv::Mat weights{const_cast<float*>(CanWeights), Nser};
  const wv::Mat var{CanVar, Nser};
  const wv::Vec v{SerVec};
  const wv::Vec out{CanVec};
  for (int k = FirstPosition(w); k <= w.WinEnd; ++k) {
    for (int i = 1; i <= Nser; ++i) {
      // The weights of series i stand in the order of the other series once
      // series 1 and series i have changed places.
      for (int l = 1; l <= Nser; ++l) v(l) = ser(l, k);
      std::swap(v(1), v(i));
      double s = 0.0;
      for (int l = 1; l <= Nser - 1; ++l) s = s + double(weights(i, l)) * double(v(l + 1));
      out(i) = float(s);
    }
    for (int i = 1; i <= Nser; ++i) var(i, k) = out(i);
  }
}

// The window's second moments of X in WinCov and a copy in WinCovWork; the
// products kept from earlier windows are forgotten at a level's first window.
void WindowMoments(const agg::Window& w, int Nser, const float* X, float* WinCov, float* WinCovWork,
                   PassWork& work) {
  if (w.first) work.products.Forget();
  SecondMoments(X, Nser, w.WinStart, w.WinEnd, w.WinCount, WinCov, work);
  Copy(WinCov, Nser * Nser, WinCovWork);
}

template <class T>
void FitSize(std::vector<T>& x, std::size_t size) {
  if (x.size() < size) x.resize(size);
}

// Adds the window and its moments to the batch `q`, which has room for
// `windows` windows of `usize` floats in u and `ssize` in s each; true when
// the batch is due: full, or the level's last window has come.
bool Enqueue(PassWork::Pending& q, const agg::Window& w, const float* WinCov, int Nser, int windows,
             std::size_t usize, std::size_t ssize) {
  const std::size_t size = static_cast<std::size_t>(Nser) * static_cast<std::size_t>(Nser);
  const std::size_t room = static_cast<std::size_t>(windows);
  FitSize(q.a, room * size);
  FitSize(q.u, room * usize);
  FitSize(q.s, room * ssize);
  Copy(WinCov, Nser * Nser, q.a.data() + q.windows.size() * size);
  q.windows.push_back(w);
  return q.windows.size() >= room || w.WinEnd >= w.LevRealEnd;
}

// Points pa, pu and ps at the blocks of the windows in the batch; returns
// their count.
int PointAtBlocks(PassWork::Pending& q, int Nser, std::size_t usize, std::size_t ssize) {
  const std::size_t size = static_cast<std::size_t>(Nser) * static_cast<std::size_t>(Nser);
  const int count = static_cast<int>(q.windows.size());
  q.pa.resize(static_cast<std::size_t>(count));
  q.pu.resize(static_cast<std::size_t>(count));
  q.ps.resize(static_cast<std::size_t>(count));
  for (int b = 0; b < count; ++b) {
    q.pa[b] = q.a.data() + b * size;
    q.pu[b] = q.u.data() + b * usize;
    q.ps[b] = q.s.data() + b * ssize;
  }
  return count;
}

// Windows of pass 1 whose canonical correlations go side by side: eight, as
// long as the work arrays of a batch stay within about a million floats each.
int CanonBatchWindows(int Nser) {
  const long long perWindow = static_cast<long long>(Nser) * (Nser - 1) * (Nser - 1);
  const long long fit = perWindow > 0 ? (1LL << 20) / perWindow : 8;
  return fit < 1 ? 1 : fit > 8 ? 8 : static_cast<int>(fit);
}

}  // namespace

void CanonicalVariates(const agg::Window& w, int Nser, const float* SerCoef, float* WinCov,
                       float* WinCovWork, float* CanWeights, float* CanCorr2, float* SerVec,
                       float* CanVec, float* CanVar, PassWork& work) {
  WindowMoments(w, Nser, SerCoef, WinCov, WinCovWork, work);
  cc::CANONCORR(WinCovWork, Nser, CanWeights, CanCorr2, work.canon);
  Variates(w, Nser, SerCoef, CanWeights, SerVec, CanVec, CanVar);
}

void CanonicalVariatesInBatches(const agg::Window& w, int Nser, const float* SerCoef, float* WinCov,
                                float* WinCovWork, float* CanWeights, float* CanCorr2, float* SerVec,
                                float* CanVec, float* CanVar, PassWork& work) {
  WindowMoments(w, Nser, SerCoef, WinCov, WinCovWork, work);

  // Per window: the weights in u, the squared correlations in s.
  PassWork::Pending& q = work.pendingCanon;
  const std::size_t wsize = static_cast<std::size_t>(Nser) * static_cast<std::size_t>(Nser - 1);
  const std::size_t csize = static_cast<std::size_t>(Nser);
  if (!Enqueue(q, w, WinCov, Nser, CanonBatchWindows(Nser), wsize, csize)) return;
  const int count = PointAtBlocks(q, Nser, wsize, csize);
  cc::CANONCORRBatch(count, q.pa.data(), Nser, q.pu.data(), q.ps.data(), work.canon);
  for (int b = 0; b < count; ++b) Variates(q.windows[b], Nser, SerCoef, q.pu[b], SerVec, CanVec, CanVar);
  // The work arrays as the last window leaves them.
  Copy(q.pu[count - 1], Nser * (Nser - 1), CanWeights);
  Copy(q.ps[count - 1], Nser, CanCorr2);
  q.windows.clear();
}

void AggregateWindow(const agg::Window& w, int Nser, const float* CanVar, float* WinCov,
                     float* WinCovWork, float* CanVec, float* SvdU, float* AggCoef, PassWork& work) {
  WindowMoments(w, Nser, CanVar, WinCov, WinCovWork, work);
  wv::RSVDSquare(WinCovWork, Nser, wv::SvdParts::kFirstColumnOfU, CanVec, SvdU, nullptr, work.svd);

  const wv::Mat var{const_cast<float*>(CanVar), Nser};
  const wv::Mat u{SvdU, Nser};
  const wv::Vec agg{AggCoef};
  for (int k = FirstPosition(w); k <= w.WinEnd; ++k) {
    double s = 0.0;
    for (int i = 1; i <= Nser; ++i) s = s + double(u(i, 1)) * double(var(i, k));
    agg(k) = float(s);
  }
}

void AggregateWindowInBatches(const agg::Window& w, int Nser, const float* CanVar, float* WinCov,
                              float* WinCovWork, float* CanVec, float* SvdU, float* AggCoef,
                              PassWork& work) {
  // A decomposition of order Nser alone is a chain of dependent roots and
  // quotients; several windows' decompositions side by side overlap.
  constexpr int kWindows = 16;
  WindowMoments(w, Nser, CanVar, WinCov, WinCovWork, work);

  // Per window: U in u, S in s.
  PassWork::Pending& q = work.pending;
  const std::size_t size = static_cast<std::size_t>(Nser) * static_cast<std::size_t>(Nser);
  if (!Enqueue(q, w, WinCov, Nser, kWindows, size, static_cast<std::size_t>(Nser))) return;
  const int count = PointAtBlocks(q, Nser, size, static_cast<std::size_t>(Nser));
  wv::RSVDSquareBatch(count, Nser, wv::SvdParts::kFirstColumnOfU, q.pa.data(), q.ps.data(),
                      q.pu.data(), nullptr, work.svd);

  const wv::Mat var{const_cast<float*>(CanVar), Nser};
  const wv::Vec agg{AggCoef};
  for (int b = 0; b < count; ++b) {
    const agg::Window& one = q.windows[b];
    const wv::Mat u{q.pu[b], Nser};
    for (int k = FirstPosition(one); k <= one.WinEnd; ++k) {
      double s = 0.0;
      for (int i = 1; i <= Nser; ++i) s = s + double(u(i, 1)) * double(var(i, k));
      agg(k) = float(s);
    }
  }
  // The work arrays as the last window leaves them.
  Copy(q.pa[count - 1], Nser * Nser, WinCovWork);
  Copy(q.ps[count - 1], Nser, CanVec);
  Copy(q.pu[count - 1], Nser * Nser, SvdU);
  q.windows.clear();
}

}  // namespace ivra
