#!/usr/bin/env python3
"""Times Ivra and Kelto on one large case and prints wall time and peak memory.

The case: 6 series of 4096 samples with a shared component, Lwin 512, Daubechies
order 8, Lmin 9. Each program named on the command line (default: every binary
found in the build folder) runs once in a scratch folder; its output file is kept
there so that runs can be compared with `cmp`.

  python3 bench/run_benchmark.py [--build build] [--series 6] [--samples 4096] [--lwin 512]
"""
import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time


def write_case(folder, series, samples):
    names = []
    for i in range(1, series + 1):
        state = 12345 + i
        name = "s%02d.dat" % i
        names.append(name)
        with open(os.path.join(folder, name), "w") as out:
            for k in range(samples):
                state = (1103515245 * state + 12345) % 2**31
                noise = state / 2**31 - 0.5
                common = math.sin(k / 40.0) + 0.3 * math.sin(k / 7.0)
                out.write("%.7g\n" % ((1.0 + 0.2 * i) * common + 0.4 * noise + 0.1 * i))
    with open(os.path.join(folder, "list"), "w") as out:
        out.write("".join(n + "\n" for n in names))


def run(binary, folder, answers):
    with tempfile.TemporaryFile() as stdin:
        stdin.write(answers.encode())
        stdin.seek(0)
        start = time.perf_counter()
        proc = subprocess.Popen([binary], cwd=folder, stdin=stdin,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("%s failed with wait status %d" % (binary, status))
    return elapsed, usage.ru_maxrss  # KiB on Linux


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--series", type=int, default=6)
    parser.add_argument("--samples", type=int, default=4096)
    parser.add_argument("--lwin", type=int, default=512)
    parser.add_argument("programs", nargs="*")
    args = parser.parse_args()

    candidates = {
        "Ivra": "ivra/Ivra", "Kelto": "kelto/Kelto",
        "Ivra_plain": "ivra/Ivra_plain", "Kelto_plain": "kelto/Kelto_plain",
    }
    programs = args.programs or [p for p, rel in candidates.items()
                                 if os.path.exists(os.path.join(args.build, rel))]
    answers = "1\n%d\n0\n%d\n8\n9\n0\n1 1\n" % (args.samples, args.lwin)
    work = tempfile.mkdtemp(prefix="wa-bench-")
    print("case: %d series x %d samples, Lwin %d, order 8, Lmin 9; scratch %s"
          % (args.series, args.samples, args.lwin, work))
    results = {}
    for program in programs:
        folder = os.path.join(work, program)
        os.makedirs(folder)
        write_case(folder, args.series, args.samples)
        binary = os.path.abspath(os.path.join(args.build, candidates.get(program, program)))
        elapsed, peak = run(binary, folder, answers)
        results[program] = (elapsed, folder)
        print("%-12s %8.2f s   peak %7.1f MiB" % (program, elapsed, peak / 1024.0))
    for fast, plain in (("Ivra", "Ivra_plain"), ("Kelto", "Kelto_plain")):
        if fast in results and plain in results:
            out = fast + ".dat"
            same = open(os.path.join(results[fast][1], out), "rb").read() == \
                open(os.path.join(results[plain][1], out), "rb").read()
            print("%s: straightforward / fast = %.2f, output files %s"
                  % (fast, results[plain][0] / results[fast][0], "identical" if same else "DIFFER"))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
