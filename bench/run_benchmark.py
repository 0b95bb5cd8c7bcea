#!/usr/bin/env python3
"""Times Ivra and Kelto on one large case and prints wall time and peak memory.

The cases, series with a shared component and noise, Daubechies order 8, Lmin 9:
  - Ivra and Ivra_plain: 6 series of 4096 samples, Lwin 512;
  - Kelto and Kelto_plain: 8 series of 16384 samples, Lwin 512 (the
    straightforward Kelto_plain takes some tens of seconds there).
--series, --samples and --lwin replace the numbers of both cases. Each program
named on the command line (default: every binary found in the build folder) runs
in a scratch folder, once under GNU time for its peak memory; a run under 5 s
is then timed several times on its own, keeping the best time. For each pair of
a fast program and its straightforward form the script prints the ratio of
their times and whether their output files are identical byte for byte.

  python3 bench/run_benchmark.py [--build build] [--series N] [--samples N] [--lwin N]
                                 [programs...]
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


def run(binary, folder, answers, peak=False):
    """Runs binary once; returns its wall time in seconds and peak memory in KiB.

    With `peak`, the run goes under GNU time when it is installed, for the peak:
    the high-water mark that wait4 reports for a child of this script includes
    the memory of the Python process it was forked from, and so is only an
    upper bound. Without it the binary runs directly, so that the time is not
    that of the wrapper's own start as well.
    """
    gnu_time = shutil.which("time", path="/usr/bin:/bin") if peak else None
    with tempfile.TemporaryFile() as stdin, tempfile.NamedTemporaryFile("r") as peak_file:
        stdin.write(answers.encode())
        stdin.seek(0)
        command = [binary]
        if gnu_time:
            command = [gnu_time, "-f", "%M", "-o", peak_file.name, binary]
        start = time.perf_counter()
        proc = subprocess.Popen(command, cwd=folder, stdin=stdin,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
        high = usage.ru_maxrss
        if gnu_time:
            text = peak_file.read().split()
            high = int(text[-1]) if text and text[-1].isdigit() else high
    if status != 0:
        sys.exit("%s failed with wait status %d" % (binary, status))
    return elapsed, high  # KiB on Linux


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--series", type=int)
    parser.add_argument("--samples", type=int)
    parser.add_argument("--lwin", type=int)
    parser.add_argument("--repeat", type=int, default=5,
                        help="runs of a program under 5 s; the best time counts")
    parser.add_argument("programs", nargs="*")
    args = parser.parse_args()

    # (series, samples, Lwin) of each program family.
    cases = {"Ivra": (6, 4096, 512), "Kelto": (8, 16384, 512)}
    for family, (series, samples, lwin) in cases.items():
        cases[family] = (args.series or series, args.samples or samples, args.lwin or lwin)

    candidates = {
        "Ivra": "ivra/Ivra", "Kelto": "kelto/Kelto",
        "Ivra_plain": "ivra/Ivra_plain", "Kelto_plain": "kelto/Kelto_plain",
    }
    programs = args.programs or [p for p, rel in candidates.items()
                                 if os.path.exists(os.path.join(args.build, rel))]
    work = tempfile.mkdtemp(prefix="wa-bench-")
    print("scratch %s" % work)
    results = {}
    for program in programs:
        family = "Kelto" if program.startswith("Kelto") else "Ivra"
        series, samples, lwin = cases[family]
        answers = "1\n%d\n0\n%d\n8\n9\n0\n1 1\n" % (samples, lwin)
        print("%-12s case: %d series x %d samples, Lwin %d, order 8, Lmin 9"
              % (program, series, samples, lwin))
        folder = os.path.join(work, program)
        os.makedirs(folder)
        write_case(folder, series, samples)
        binary = os.path.abspath(os.path.join(args.build, candidates.get(program, program)))
        elapsed, peak = run(binary, folder, answers, peak=True)
        # Short runs are timed again on their own and the best time kept,
        # against noise and the start of the memory-measuring wrapper.
        if elapsed < 5.0:
            elapsed = min(run(binary, folder, answers)[0] for _ in range(args.repeat))
        results[program] = (elapsed, folder)
        print("%-12s %8.3f s   peak %7.1f MiB" % (program, elapsed, peak / 1024.0))
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
