#!/usr/bin/env python3
"""End-to-end benchmarks of quolvend: whole runs of the program, timed with
their peak memory, beside baselines measured in the same invocation.

    bench/run.py [--sections io,text,det,inv,lu,kernels,threads] [--before REV]

io     -a and -m on 500, 1000 and 2000 square files of random six-digit values,
       beside numpy (Debian's python3-numpy with OpenBLAS, installed if
       missing) and a plain
       build of the program (fscanf, printf, the textbook product loop)
text   reading and printing on one thread: alone, beside std::from_chars,
       std::to_chars, fscanf and printf; and from whole runs at 3000 (reading:
       -a minus a cut of the same file; printing: the cut minus a reading)
det    -D at sizes 9 to 26 (cofactor expansion), beside the plain recursion at 9 to 11
inv    -i at sizes 8 to 26 and -d at 16 and 20, beside the plain algorithm at 7 to 9
lu     -D and -i at 1000, 2000 and 4000 (the LU path), beside numpy (loadtxt,
       linalg.det or linalg.inv, savetxt), one thread against every core, and
       the LU arithmetic alone against numpy.linalg.inv in float64
kernels  the machine's limit (bench/limit.cc), the product and the LU's
       arithmetic on every variant at 2000 and 3000 as shares of it, beside
       OpenBLAS through numpy; and the same rates from whole runs at 3000
       (-m minus -a; -i minus a cut)
threads  -m and -a at 2000, -D and -i at 26 with every core, beside
       QUOLVEND_THREADS=1, numpy, and (with --before REV) a build of an
       earlier revision

Times are medians of several runs, taken in turn with the baseline so that a
slow spell of the machine hits both; ratios compare medians."""
import argparse
import hashlib
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
DATA = os.path.join(ROOT, "bench", "data")
QUOLVEND = os.path.join(BUILD, "quolvend")
PLAIN = os.path.join(BUILD, "bench", "quolvend_plain")
MICRO = os.path.join(BUILD, "bench", "quolvend_micro")
LIMIT = os.path.join(BUILD, "bench", "quolvend_limit")
NUMPY_PYTHON = "/usr/bin/python3"
TIME = "/usr/bin/time"
# OpenBLAS tunings some machines set for old OpenBLAS builds slow a current
# numpy down; the comparison runs without them.
NUMPY = ["env", "-u", "OPENBLAS_CORETYPE", "-u", "OPENBLAS_L2_SIZE", NUMPY_PYTHON,
         os.path.join(ROOT, "bench", "numpy_calc.py")]


def install(package, check):
    """Installs a Debian package with apt-get unless check() already holds."""
    if check():
        return True
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    print(f"installing {package} ...", file=sys.stderr)
    subprocess.run(sudo + ["apt-get", "install", "-y", package],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return check()


def build():
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j", str(os.cpu_count() or 2), "--target",
                    "quolvend", "quolvend_plain", "quolvend_micro", "quolvend_limit"], check=True,
                   stdout=subprocess.DEVNULL)


def have_numpy():
    # Without OpenBLAS, Debian's numpy runs on the reference BLAS and LAPACK,
    # ten times slower: no fair baseline.
    install("libopenblas0-pthread", lambda: os.path.exists(
        "/usr/lib/x86_64-linux-gnu/openblas-pthread") or os.path.exists(
        "/usr/lib/aarch64-linux-gnu/openblas-pthread"))
    return install("python3-numpy", lambda: subprocess.run(
        [NUMPY_PYTHON, "-c", "import numpy"], stderr=subprocess.DEVNULL).returncode == 0)


def matrix_file(name, rows, cols, value):
    """Writes a matrix file once, with values from value(rng)."""
    os.makedirs(DATA, exist_ok=True)
    path = os.path.join(DATA, name)
    if not os.path.exists(path):
        rng = random.Random(name)
        with open(path + ".tmp", "w") as f:
            f.write(f"{rows} {cols}\n")
            for _ in range(rows):
                f.write(" ".join("%.6g" % value(rng) for _ in range(cols)) + "\n")
        os.replace(path + ".tmp", path)
    return path


def six_digits(rng):
    return rng.uniform(-100.0, 100.0)


def unit(rng):
    return rng.uniform(-1.0, 1.0)


def run_once(command):
    """Runs a command under GNU time; returns (seconds, peak KiB, output, status).
    (A child forked from Python would count Python's own memory in its peak.)
    Output goes to a file, read after the clock stops: a reader on the other
    end of a pipe would compete with the program for the cores."""
    with tempfile.NamedTemporaryFile("r") as report, tempfile.TemporaryFile() as out:
        start = time.perf_counter()
        result = subprocess.run([TIME, "-f", "%M", "-o", report.name] + command,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        peak = int(report.read().split()[-1])
        out.seek(0)
        output = hashlib.sha256(out.read()).hexdigest()
    return seconds, peak, output, result.returncode


def compare(commands, runs):
    """Runs each command `runs` times, in turn; returns name -> (median s, peak KiB, output)."""
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    outputs = {}
    names = list(commands)
    for round in range(runs):
        # Each round starts with the next command, so that none always runs
        # right after the same other one.
        for name in names[round % len(names):] + names[:round % len(names)]:
            seconds, peak, output, _ = run_once(commands[name])
            times[name].append(seconds)
            peaks[name] = max(peaks[name], peak)
            outputs[name] = output
    return {name: (statistics.median(times[name]), peaks[name], outputs[name]) for name in commands}


def show_time(seconds):
    return f"{seconds * 1000:.1f} ms" if seconds < 1 else f"{seconds:.2f} s"


def show_memory(kib):
    return f"{kib / 1024:.1f} MiB" if kib < 1024 * 1024 else f"{kib / 1024 / 1024:.2f} GiB"


def row(*cells):
    print("| " + " | ".join(str(c) for c in cells) + " |", flush=True)


def section_io(numpy_ok):
    print("\n## -a and -m end to end (random values, six significant digits)\n")
    row("case", "quolvend", "peak", "numpy", "peak", "ratio to numpy", "plain", "ratio to plain")
    row(*["---"] * 8)
    for n in (500, 1000, 2000):
        path = matrix_file(f"square-{n}.txt", n, n, six_digits)
        for op in ("-a", "-m"):
            commands = {"quolvend": [QUOLVEND, op, path, path]}
            if numpy_ok:
                commands["numpy"] = NUMPY + [op, path, path]
            # The textbook product takes minutes at 2000 here; the plain -m runs at 500 only.
            if op == "-a" or n == 500:
                commands["plain"] = [PLAIN, op, path, path]
            r = compare(commands, 5 if n < 2000 else 3)
            q = r["quolvend"]
            cells = [f"{op} {n}", show_time(q[0]), show_memory(q[1])]
            for other in ("numpy", "plain"):
                if other in r:
                    cells += [show_time(r[other][0]), show_memory(r[other][1]),
                              f"{q[0] / r[other][0]:.2f}x"] if other == "numpy" else \
                             [show_time(r[other][0]), f"{q[0] / r[other][0]:.2f}x"]
                else:
                    cells += ["-", "-", "-"] if other == "numpy" else ["-", "-"]
            row(*cells)


def section_text():
    print("\n## Reading and printing numbers on one thread\n")
    print("In one process, random six-digit decimals (-0.123456), medians:\n")
    row("what", "way", "ns a number", "GB/s")
    row(*["---"] * 4)
    out = subprocess.run([MICRO], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        _, what, way, ns, _, gbs, _ = line.split()
        row(what, way, ns, gbs)
    # Whole runs: reading is -a minus a cut of the same file; printing is the
    # cut minus one reading.
    n = 3000
    path = matrix_file(f"unit-{n}.txt", n, n, unit)
    env = ["env", "QUOLVEND_THREADS=1"]
    r = compare({"-a": env + [QUOLVEND, "-a", path, path],
                 "cut": env + ["sh", "-c", f"echo 0 0 | {QUOLVEND} -r {path}"]}, 7)
    reading = (r["-a"][0] - r["cut"][0]) / (n * n)
    printing = (r["cut"][0] - reading * n * n) / ((n - 1) * (n - 1))
    print(f"\nWhole runs at {n} x {n}, one thread: -a {show_time(r['-a'][0])}, a cut "
          f"{show_time(r['cut'][0])}: reading {reading * 1e9:.1f} ns a number, printing "
          f"{printing * 1e9:.1f} ns a number", flush=True)


def determinant_cases(sizes, plain_sizes, op, runs_for):
    startup = compare({"start": [QUOLVEND, "-D", matrix_file("unit-1.txt", 1, 1, unit)]}, 9)["start"][0]
    print(f"\nProcess start-up and a 1 x 1 run: {show_time(startup)}\n")
    row("size", "quolvend", "peak", "plain", "plain peak", "speed-up", "same output")
    row(*["---"] * 7)
    for n in sorted(set(sizes) | set(plain_sizes)):
        path = matrix_file(f"unit-{n}.txt", n, n, unit)
        commands = {}
        if n in sizes:
            commands["quolvend"] = [QUOLVEND, op, path]
        if n in plain_sizes:
            commands["plain"] = [PLAIN, op, path]
        r = compare(commands, runs_for(n))
        q, p = r.get("quolvend"), r.get("plain")
        row(n, show_time(q[0]) if q else "-", show_memory(q[1]) if q else "-",
            show_time(p[0]) if p else "-", show_memory(p[1]) if p else "-",
            f"{p[0] / q[0]:.0f}x" if p and q else "-",
            ("yes" if q[2] == p[2] else "NO") if p and q else "-")


def section_det():
    print("\n## -D end to end (random values in -1..1)")
    sizes = [9, 10, 11, 12, 16, 20, 24, 26]
    determinant_cases(sizes, [9, 10, 11], "-D",
                      lambda n: 5 if n <= 20 else 3 if n <= 26 else 1)


def section_inv():
    print("\n## -i end to end (random values in -1..1)")
    determinant_cases([7, 8, 9, 10, 12, 16, 20, 22, 24, 26], [7, 8, 9], "-i",
                      lambda n: 5 if n <= 20 else 3 if n <= 24 else 1)
    print("\n## -d end to end\n")
    row("size", "quolvend", "peak")
    row(*["---"] * 3)
    for n in (16, 20):
        a = matrix_file(f"unit-{n}.txt", n, n, unit)
        b = matrix_file(f"divisor-{n}.txt", n, n, unit)
        q = compare({"quolvend": [QUOLVEND, "-d", a, b]}, 5)["quolvend"]
        row(n, show_time(q[0]), show_memory(q[1]))


def section_lu(numpy_ok):
    cores = len(os.sched_getaffinity(0))
    print(f"\n## The LU path end to end (random values in -1..1; numpy: loadtxt, float64)\n")
    row("case", f"{cores} threads", "peak", "1 thread", "ratio", "numpy", "ratio to numpy")
    row(*["---"] * 7)
    times = {}
    for n in (1000, 2000, 4000):
        path = matrix_file(f"unit-{n}.txt", n, n, unit)
        for op in ("-D", "-i"):
            commands = {"all": [QUOLVEND, op, path],
                        "one": ["env", "QUOLVEND_THREADS=1", QUOLVEND, op, path]}
            if numpy_ok and n <= 2000:
                commands["numpy"] = NUMPY + [op, path]
            r = compare(commands, 5 if n < 4000 else 3)
            times[(op, n)] = r["all"][0]
            cells = [f"{op} {n}", show_time(r["all"][0]), show_memory(r["all"][1]),
                     show_time(r["one"][0]), f"{r['all'][0] / r['one'][0]:.2f}"]
            if "numpy" in r:
                cells += [show_time(r["numpy"][0]), f"{r['all'][0] / r['numpy'][0]:.2f}x"]
            else:
                cells += ["-", "-"]
            row(*cells)
    print(f"\n-i time per doubling: 1000 -> 2000 {times[('-i', 2000)] / times[('-i', 1000)]:.1f}x, "
          f"2000 -> 4000 {times[('-i', 4000)] / times[('-i', 2000)]:.1f}x")
    print("\n(The arithmetic alone: see the kernels section.)", flush=True)


def limits():
    """(type, bits, threads) -> GFLOP/s, from the limit probe."""
    out = subprocess.run([LIMIT], capture_output=True, text=True, check=True).stdout
    table = {}
    for line in out.splitlines():
        _, kind, bits, threads, rate = line.split()
        table[(kind, int(bits), int(threads))] = float(rate)
    return table


VARIANT_BITS = {"avx512": 512, "avx2": 256, "portable": 128}


def section_kernels(numpy_ok, rounds=3):
    """Each round probes the limit, then runs every kernel and OpenBLAS's, so
    that each share divides a rate by the limit measured beside it; the
    medians over the rounds are shown."""
    cores = len(os.sched_getaffinity(0))
    probes, rates = [], {}
    for _ in range(rounds):
        limit = limits()
        probes.append(limit)
        for n in (2000, 3000):
            out = subprocess.run([MICRO, "kernels", str(n)], capture_output=True, text=True,
                                 check=True).stdout
            for line in out.splitlines():
                _, what, size, variant, threads, ms, rate = line.split()
                kind = "float" if what == "product" else "double"
                peak = limit.get((kind, VARIANT_BITS[variant], int(threads)))
                rates.setdefault((what, size, variant, threads), []).append(
                    (float(ms), float(rate), float(rate) / peak if peak else None))
            if not numpy_ok:
                continue
            for threads in (str(cores), "1"):
                out = subprocess.run(["env", f"OPENBLAS_NUM_THREADS={threads}"] + NUMPY +
                                     ["--kernels", str(n)], capture_output=True, text=True,
                                     check=True).stdout
                for line in out.splitlines():
                    _, name, size, ms, rate = line.split()
                    kind = "float" if name == "sgemm" else "double"
                    bits = max(b for (k, b, _) in limit if k == kind)
                    peak = limit.get((kind, bits, int(threads)))
                    rates.setdefault((f"OpenBLAS {name}", size, "numpy", threads), []).append(
                        (float(ms), float(rate), float(rate) / peak if peak else None))
    print(f"\n## The machine's limit: independent vector multiplies and adds (GFLOP/s, median of {rounds})\n")
    row("type", "bits", "1 thread", f"{cores} threads")
    row(*["---"] * 4)
    median = statistics.median
    for kind in ("float", "double"):
        for bits in sorted({b for (k, b, _) in probes[0] if k == kind}, reverse=True):
            row(kind, bits, f"{median(p[(kind, bits, 1)] for p in probes):.1f}",
                f"{median(p[(kind, bits, cores)] for p in probes):.1f}"
                if (kind, bits, cores) in probes[0] else "-")
    print(f"\n## The arithmetic alone, as shares of the limit measured beside it (medians of {rounds})\n")
    row("kernel", "n", "variant", "threads", "time", "GFLOP/s", "share of the limit")
    row(*["---"] * 7)
    for (what, size, variant, threads), runs in rates.items():
        shares = [share for _, _, share in runs if share is not None]
        row(what, size, variant, threads, f"{median(ms for ms, _, _ in runs):.1f} ms",
            f"{median(rate for _, rate, _ in runs):.1f}",
            f"{median(shares):.2f}" if shares else "-")
    print("\n## The same from whole runs at 3000 (random values in -1..1)\n")
    n = 3000
    path = matrix_file(f"unit-{n}.txt", n, n, unit)
    cut = ["sh", "-c", f"echo 0 0 | {QUOLVEND} -r {path}"]
    row("kernel", "threads", "run", "baseline run", "difference", "GFLOP/s")
    row(*["---"] * 6)
    for threads in (str(cores), "1"):
        env = ["env", f"QUOLVEND_THREADS={threads}"]
        r = compare({"-m": env + [QUOLVEND, "-m", path, path], "-a": env + [QUOLVEND, "-a", path, path],
                     "-i": env + [QUOLVEND, "-i", path], "cut": env + cut}, 3)
        for kernel, run, base in (("product", "-m", "-a"), ("inverse", "-i", "cut")):
            extra = r[run][0] - r[base][0]
            row(kernel, threads, show_time(r[run][0]), show_time(r[base][0]), show_time(extra),
                f"{2.0 * n ** 3 / extra * 1e-9:.1f}")


def build_before(revision):
    """Builds quolvend as it was at `revision`, in a worktree beside the build."""
    tree = os.path.join(ROOT, "build-before", "src")
    out = os.path.join(ROOT, "build-before", "build")
    if os.path.exists(tree):
        subprocess.run(["git", "-C", ROOT, "worktree", "remove", "--force", tree], check=True)
    subprocess.run(["git", "-C", ROOT, "worktree", "add", "--detach", tree, revision], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["cmake", "-S", tree, "-B", out, "-DCMAKE_BUILD_TYPE=Release",
                    "-DQUOLVEND_TESTS=OFF", "-DBUILD_TESTING=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", out, "-j", str(os.cpu_count() or 2), "--target",
                    "quolvend"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(out, "quolvend")


def section_threads(numpy_ok, before):
    cores = len(os.sched_getaffinity(0))
    print(f"\n## Every core ({cores}) against one thread\n")
    cells = ["case", f"{cores} threads", "1 thread", "ratio"]
    if before:
        cells += ["before", "1 thread / before"]
    cells += ["numpy", f"{cores} threads / numpy", "same output"]
    row(*cells)
    row(*["---"] * len(cells))
    square = matrix_file("square-2000.txt", 2000, 2000, six_digits)
    cases = [("-m 2000", ["-m", square, square], 7), ("-a 2000", ["-a", square, square], 7),
             ("-D 26", ["-D", matrix_file("unit-26.txt", 26, 26, unit)], 5),
             ("-i 26", ["-i", matrix_file("unit-26.txt", 26, 26, unit)], 5)]
    for name, args, runs in cases:
        commands = {"all": [QUOLVEND] + args,
                    "one": ["env", "QUOLVEND_THREADS=1", QUOLVEND] + args}
        if before:
            commands["before"] = [before] + args
        if numpy_ok and args[0] in ("-m", "-a"):
            commands["numpy"] = NUMPY + args
        r = compare(commands, runs)
        cells = [name, show_time(r["all"][0]), show_time(r["one"][0]),
                 f"{r['all'][0] / r['one'][0]:.2f}"]
        if before:
            cells += [show_time(r["before"][0]), f"{r['one'][0] / r['before'][0]:.2f}"]
        same = r["all"][2] == r["one"][2] and (not before or r["before"][2] == r["one"][2])
        if "numpy" in r:
            cells += [show_time(r["numpy"][0]), f"{r['all'][0] / r['numpy'][0]:.2f}x"]
        else:
            cells += ["-", "-"]
        row(*cells, "yes" if same else "NO")


def machine():
    """The processor's name and the kernel variant quolvend picks on it."""
    model, flags = "unknown processor", ""
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name") and model == "unknown processor":
                model = line.split(":", 1)[1].strip()
            if line.startswith("flags") and not flags:
                flags = line
    kernel = "avx512" if " avx512f" in flags else "avx2" if " avx2" in flags else "portable"
    return f"{model}, kernel variant {os.environ.get('QUOLVEND_KERNEL', kernel)}"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sections", default="io,text,det,inv,lu,kernels,threads")
    parser.add_argument("--before", metavar="REV",
                        help="in the threads section, also time quolvend as of git revision REV")
    args = parser.parse_args()
    sections = args.sections.split(",")
    if not install("time", lambda: os.access(TIME, os.X_OK)):
        sys.exit("bench/run.py needs GNU time (Debian package time)")
    build()
    print(f"# quolvend benchmarks, {time.strftime('%Y-%m-%d')}, {os.cpu_count()} cores, "
          f"{os.uname().machine}, {machine()}")
    if "io" in sections:
        section_io(have_numpy())
    if "text" in sections:
        section_text()
    if "det" in sections:
        section_det()
    if "inv" in sections:
        section_inv()
    if "lu" in sections:
        section_lu(have_numpy())
    if "kernels" in sections:
        section_kernels(have_numpy())
    if "threads" in sections:
        section_threads(have_numpy(), build_before(args.before) if args.before else None)


if __name__ == "__main__":
    main()
