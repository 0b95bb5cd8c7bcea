#!/usr/bin/env python3
"""Generates the extremal-phase Daubechies scaling filters of lengths 4 to 20.

Each filter H(z) = sum_k h_k z^-k is the factor of the Daubechies product
filter P(z) = H(z) H(1/z) that keeps every zero inside (or on) the unit
circle, normalised to sum sqrt(2), so that the energy sits towards h_0. The
entries are printed as the nearest single-precision values, with 9 significant
digits (enough to read each float back exactly), ready to paste into
wavelets/coefficients.cpp.

Usage: python3 tools/daubechies_tables.py
"""
import mpmath

mpmath.mp.dps = 80


def daubechies(ntaps):
    """Exact (80-digit) minimum-phase Daubechies low-pass filter h_0..h_{ntaps-1}."""
    p = ntaps // 2
    # Bezout polynomial B(y) = sum_{k<p} C(p-1+k, k) y^k, y = (1 - cos w)/2.
    # Its roots y_r map to z + 1/z = 2 - 4 y_r; keep the root with |z| < 1.
    coeffs = [mpmath.binomial(p - 1 + k, k) for k in range(p)]
    zeros = []
    if p > 1:
        yroots = mpmath.polyroots(list(reversed(coeffs)), maxsteps=500, extraprec=400)
        for y in yroots:
            c = 2 - 4 * y
            z = (c + mpmath.sqrt(c * c - 4)) / 2
            if abs(z) > 1:
                z = 1 / z
            zeros.append(z)
    zeros += [mpmath.mpf(-1)] * p
    # Polynomial in z^-1: prod (1 - z_r z^-1); coefficients of z^0, z^-1, ...
    poly = [mpmath.mpc(1)]
    for z in zeros:
        nxt = poly + [mpmath.mpc(0)]
        for i in range(1, len(nxt)):
            nxt[i] -= z * poly[i - 1]
        poly = nxt
    h = [mpmath.re(c) for c in poly]
    assert max(abs(mpmath.im(c)) for c in poly) < mpmath.mpf(10) ** -60
    scale = mpmath.sqrt(2) / sum(h)
    return [x * scale for x in h]


def nearest_float(x):
    """Nearest single-precision value of x, as an exact Python float."""
    with mpmath.workprec(24):
        return float(+x)


def nine_digits(f):
    s = '%.9g' % f
    # The decimal must name exactly this float.
    with mpmath.workprec(24):
        assert float(+mpmath.mpf(s)) == f, (s, f)
    return s


def main():
    for ntaps in range(4, 21, 2):
        h = daubechies(ntaps)
        # Checks on the exact filter: sum sqrt(2), unit energy, orthogonality
        # to its even shifts, and minimum phase.
        assert abs(sum(h) - mpmath.sqrt(2)) < mpmath.mpf(10) ** -50
        for shift in range(0, ntaps, 2):
            dot = sum(h[i] * h[i + shift] for i in range(ntaps - shift))
            assert abs(dot - (1 if shift == 0 else 0)) < mpmath.mpf(10) ** -50
        roots = mpmath.polyroots(h, maxsteps=500, extraprec=400)
        # The p-fold zero at -1 is found only to about 80/p digits.
        assert all(abs(r) <= 1 + mpmath.mpf(10) ** -6 for r in roots)
        values = [nine_digits(nearest_float(x)) for x in h]
        print('// Daub_%02d' % ntaps)
        line = '   '
        for v in values:
            item = ' ' + v + 'f,'
            if len(line) + len(item) > 100:
                print(line)
                line = '   '
            line += item
        print(line)


if __name__ == '__main__':
    main()
