#!/usr/bin/env python3
"""Writes the bundled example: four monthly series of 1200 samples that share one
slow component, each with its own scale, offset, trend and noise.

Deterministic (own linear congruential generator), so the committed files can be
made again byte for byte:  python3 tools/make_example.py examples
"""
import math
import os
import sys

N = 1200
SERIES = [  # (scale of the shared part, offset, trend per sample, noise level)
    (1.0, 10.0, 0.000, 0.30),
    (-0.7, 2.5, 0.001, 0.25),
    (1.6, -4.0, -0.002, 0.50),
    (0.4, 0.0, 0.000, 0.15),
]


def lcg(seed):
    state = seed
    while True:
        state = (6364136223846793005 * state + 1442695040888963407) % 2**64
        yield (state >> 11) / float(2**53)


def gauss(uniform):
    # Box-Muller from two uniforms.
    u1 = max(next(uniform), 1e-300)
    u2 = next(uniform)
    return math.sqrt(-2.0 * math.log(u1)) * math.cos(2.0 * math.pi * u2)


def shared(k):
    return (math.sin(2 * math.pi * k / 120.0) + 0.5 * math.sin(2 * math.pi * k / 37.0)
            + 0.8 * math.sin(2 * math.pi * k / 400.0 + 1.0))


def main(folder):
    os.makedirs(folder, exist_ok=True)
    names = []
    for i, (scale, offset, trend, noise) in enumerate(SERIES, start=1):
        uniform = lcg(1000 + i)
        name = "series%d.txt" % i
        names.append(name)
        with open(os.path.join(folder, name), "w", newline="\n") as out:
            for k in range(N):
                value = offset + trend * k + scale * shared(k) + noise * gauss(uniform)
                out.write("%.7g\n" % value)
    with open(os.path.join(folder, "list"), "w", newline="\n") as out:
        out.write("".join(n + "\n" for n in names))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "examples")
