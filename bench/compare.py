#!/usr/bin/env python3
"""Times the tool against the programs a user would otherwise pick, on the
same data in one run: median wall time over several runs, peak memory (the
largest resident set of the measured process) and output sizes, printed as
a Markdown table of ratios. The programs of a comparison run in turn,
round after round, so that a slow spell of the host falls on all of them.
Commands run through the measure_command helper
built beside the benchmarks, so that a peak is the command's own and not
this interpreter's."""
import argparse
import atexit
import os
import random
import shutil
import statistics
import subprocess
import tempfile
import time


def prepare(data):
    """Builds the three data sets once: real source files, x86 shared
    libraries and random bytes."""
    os.makedirs(data, exist_ok=True)
    include = os.path.join(data, "include")
    if not os.path.isdir(include):
        shutil.copytree("/usr/include", include, symlinks=False, ignore_dangling_symlinks=True)
    libs = os.path.join(data, "libs")
    if not os.path.isdir(libs):
        os.makedirs(libs)
        total = 0
        libdir = "/usr/lib/x86_64-linux-gnu"
        for name in sorted(os.listdir(libdir)):
            path = os.path.join(libdir, name)
            if ".so" not in name or os.path.islink(path) or not os.path.isfile(path):
                continue
            size = os.path.getsize(path)
            if size > 3 << 20 or total + size > 12 << 20:
                continue
            shutil.copyfile(path, os.path.join(libs, name))
            total += size
            if total > 8 << 20:
                break
    rnd = os.path.join(data, "random")
    if not os.path.isdir(rnd):
        os.makedirs(rnd)
        r = random.Random(42)
        for i in range(8):
            with open(os.path.join(rnd, f"r{i}.bin"), "wb") as f:
                f.write(r.randbytes(512 * 1024))
    return {"include": include, "libs": libs, "random": rnd}


class Outputs:
    """Expansions write into a memory file system (/dev/shm) when there is
    one, each run into a directory of its own, the previous one removed
    first. On ext4 a tree removed just before the next expansion makes the
    inode allocator step over thousands of just-freed inodes for every file
    created (it avoids reusing recently deleted ones): seconds of system
    time on the header tree, which landed on whichever program ran next and
    swung its ratios between 0.13 and 0.87 from one run to the next."""

    def __init__(self, fallback):
        shm = "/dev/shm"
        self.base = tempfile.mkdtemp(dir=shm) if os.path.isdir(shm) and os.access(shm, os.W_OK) \
            else tempfile.mkdtemp(dir=fallback)
        self.count = 0

    def next(self, create=False):
        self.remove_previous()
        self.count += 1
        path = os.path.join(self.base, f"out{self.count}")
        if create:
            os.makedirs(path)
        return path

    def remove_previous(self):
        previous = os.path.join(self.base, f"out{self.count}")
        if os.path.isdir(previous):
            shutil.rmtree(previous)

    def close(self):
        shutil.rmtree(self.base, ignore_errors=True)


def run_once(helper, cmd, cwd, before):
    """Wall seconds, peak RSS (MiB) and CPU seconds of one run of `cmd` (a
    command, or a function making one for each run); `before` prepares a
    clean state first. Dirty pages are flushed before the run, so that the
    kernel's writeback of an earlier command's output (hundreds of MB for the
    header tree) is not charged to whichever command happens to run while it
    goes on."""
    if before:
        before()
    os.sync()
    done = subprocess.run([helper] + (cmd() if callable(cmd) else cmd), cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"{cmd} failed with status {done.returncode}")
    seconds, kib, cpu = done.stdout.split()
    return float(seconds), int(kib) / 1024.0, float(cpu)


# Comparisons whose programs all take under QUICK_SECONDS a run get
# QUICK_ROUNDS rounds: the stored build and `tar cf` of the header tree, for
# one, take either about 0.23 or about 0.30 s a run, alike, depending on the
# state the page cache is left in, and a median of three runs lands on either.
QUICK_SECONDS = 1.0
QUICK_ROUNDS = 9


def measure_side_by_side(helper, jobs, cwd, runs=3):
    """Median wall seconds, peak RSS (MiB) and median CPU seconds of each of
    `jobs` ((command, before) pairs), run in turn round after round: a slow
    spell of a shared host then lands on every program of a comparison
    alike, not on whichever ran all its runs during it."""
    samples = [[] for _ in jobs]
    rounds = 0
    while rounds < runs or (rounds < QUICK_ROUNDS and all(max(t for t, _, _ in s) < QUICK_SECONDS for s in samples)):
        for (cmd, before), into in zip(jobs, samples):
            into.append(run_once(helper, cmd, cwd, before))
        rounds += 1
    return [(statistics.median(t for t, _, _ in s), max(m for _, m, _ in s), statistics.median(c for _, _, c in s))
            for s in samples]


def clean(*paths):
    def run():
        for p in paths:
            if os.path.isdir(p):
                shutil.rmtree(p)
            elif os.path.exists(p):
                os.remove(p)
    return run


def thread_count():
    """The threads the tool compresses with: TREEPAK_THREADS, or its default
    of one per core up to 8."""
    value = os.environ.get("TREEPAK_THREADS", "")
    return int(value) if value.isdigit() and int(value) > 0 else min(os.cpu_count() or 1, 8)


def copied_tree(src, dst, files, copies):
    """The first `files` files of src (in walk order) `copies` times over,
    each copy's files starting with a line of their own, so that no block
    of one copy equals a block of another and every copy costs its own
    compression. A cabinet holds at most 65535 files, so the large tree is
    ten copies of a part."""
    picked = []
    for root, dirs, names in os.walk(src):
        dirs.sort()
        picked += [os.path.join(root, n) for n in sorted(names)]
    for i in range(copies):
        for path in picked[:files]:
            target = os.path.join(dst, f"c{i}", os.path.relpath(path, src))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(path, "rb") as f:
                data = f.read()
            with open(target, "wb") as f:
                f.write(b"/* copy %d */\n" % i + data)


def parallel_rows(helper, tool, cabwrite, tmp, runs):
    """The rows of the parallel block compressor: -X against zip -9 -r, one
    large file (a tar of the tree) against gzip -9 and pigz -9 -p 2, cabwrite
    -t deflate of that file, and a tree ten times larger against the tree;
    and LZX on 40 MB of that tar against xz -6 on one thread."""
    threads = thread_count()
    zipf, xcab, tarf = (os.path.join(tmp, n) for n in ("p.zip", "x.cab", "one/one.tar"))
    rows = []
    (t_x, m_x, c_x), (t_zip, m_zip, c_zip) = measure_side_by_side(helper, [
        ([tool, "-BATCH", "-X", "tree", xcab], clean(xcab)),
        (["zip", "-9", "-r", "-q", zipf, "tree"], clean(zipf))], tmp, runs)
    rows.append(("-X build vs zip -9 -r", t_x, t_zip, c_x / c_zip, m_x, m_zip,
                 f"threads {threads}, size {os.path.getsize(xcab) / os.path.getsize(zipf):.3f}x"))
    os.makedirs(os.path.dirname(tarf), exist_ok=True)
    subprocess.run(["tar", "cf", tarf, "tree"], cwd=tmp, check=True)
    mb = os.path.getsize(tarf) >> 20
    onecab, cwcab = os.path.join(tmp, "one.cab"), os.path.join(tmp, "cw.cab")
    # pigz writes the same file as gzip and runs before it in each round, so
    # that gzip's output is the one left to measure the sizes against; it is
    # removed before each build, which would otherwise pack it beside the tar.
    gz = tarf + ".gz"
    pigz = [(["pigz", "-9", "-p", "2", "-k", "-f", tarf], clean(gz))] if shutil.which("pigz") else []
    results = measure_side_by_side(helper, [
        ([tool, "-BATCH", "one", onecab], clean(onecab, gz)),
        ([cabwrite, "-t", "deflate", cwcab, "one/one.tar"], clean(cwcab))] + pigz + [
        (["gzip", "-9", "-k", "-f", tarf], clean(gz))], tmp, runs)
    (t_one, m_one, c_one), (t_cw, m_cw, c_cw), (t_gz, m_gz, c_gz) = results[0], results[1], results[-1]
    size_gz = os.path.getsize(gz)
    if pigz:
        t_pz, m_pz, c_pz = results[2]
        rows.append((f"one {mb} MB file vs pigz -9 -p 2", t_one, t_pz, c_one / c_pz, m_one, m_pz,
                     f"threads {threads}"))
    rows.append((f"one {mb} MB file vs gzip -9", t_one, t_gz, c_one / c_gz, m_one, m_gz,
                 f"threads {threads}, size {os.path.getsize(onecab) / size_gz:.3f}x"))
    rows.append((f"cabwrite -t deflate of the {mb} MB file vs gzip -9", t_cw, t_gz, c_cw / c_gz, m_cw, m_gz,
                 f"threads {threads}, size {os.path.getsize(cwcab) / size_gz:.3f}x"))
    # LZX at its largest window against xz on one thread, on the first 40 MB
    # of the tar: the writer with its search thread (TREEPAK_THREADS as for
    # the other rows) against xz's single thread, wall time.
    head = os.path.join(tmp, "one", "head.tar")
    with open(tarf, "rb") as src, open(head, "wb") as dst:
        dst.write(src.read(40 << 20))
    os.remove(tarf)
    lzxcab, rl = os.path.join(tmp, "lzx40.cab"), min(runs, 3)
    (t_lzx, m_lzx, c_lzx), (t_xz, m_xz, c_xz) = measure_side_by_side(helper, [
        ([cabwrite, "-t", "lzx:21", lzxcab, "one/head.tar"], clean(lzxcab)),
        (["xz", "-6", "-T1", "-k", "-f", head], clean(head + ".xz"))], tmp, rl)
    rows.append(("cabwrite -t lzx:21 of 40 MB of the tar vs xz -6 -T1", t_lzx, t_xz, c_lzx / c_xz, m_lzx, m_xz,
                 f"threads {threads}, size {os.path.getsize(lzxcab) / os.path.getsize(head + '.xz'):.3f}x"))
    os.remove(head)
    part, big = os.path.join(tmp, "part"), os.path.join(tmp, "part10")
    copied_tree(os.path.join(tmp, "tree"), part, 6000, 1)
    copied_tree(os.path.join(tmp, "tree"), big, 6000, 10)
    bigcab, cab = os.path.join(tmp, "big.cab"), os.path.join(tmp, "part.cab")
    (t_part, m_part, _), (t_big, m_big, _) = measure_side_by_side(helper, [
        ([tool, "-BATCH", "part", cab], clean(cab)), ([tool, "-BATCH", "part10", bigcab], clean(bigcab))], tmp, runs)
    rows.append(("build of 10 copies of 6000 files vs one (target <= 10.5)", t_big, t_part, t_big / t_part,
                 m_big, m_part, f"threads {threads}; other = one copy"))
    shutil.rmtree(big)
    shutil.rmtree(part)
    return rows


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--measure", required=True, help="the measure_command helper")
    ap.add_argument("--cabwrite", required=True, help="the cabwrite tool, for the LZX rows")
    ap.add_argument("--cabread", required=True, help="the cabread tool, for the test and extract rows")
    ap.add_argument("--rows", choices=["all", "parallel"], default="all",
                    help="parallel: only the rows of the parallel compressor, on the header tree")
    args = ap.parse_args()
    tool = os.path.abspath(args.tool)
    helper = os.path.abspath(args.measure)
    cabwrite = os.path.abspath(args.cabwrite)
    cabread = os.path.abspath(args.cabread)
    sets = prepare(args.data)
    rows = []
    with tempfile.TemporaryDirectory() as base:
        if args.rows == "parallel":
            tmp = os.path.join(base, "include")
            os.makedirs(tmp)
            shutil.copytree(sets["include"], os.path.join(tmp, "tree"))
            rows.append(("include", parallel_rows(helper, tool, cabwrite, tmp, args.runs)))
            sets = {}
        for label, src in sets.items():
            tmp = os.path.join(base, label)
            os.makedirs(tmp)
            outs = Outputs(tmp)
            atexit.register(outs.close)
            tree = os.path.join(tmp, "tree")
            shutil.copytree(src, tree)
            cab, stored, zipf = (os.path.join(tmp, n) for n in ("t.CAB", "s.CAB", "t.zip"))
            tarf, tgz = (os.path.join(tmp, n) for n in ("t.tar", "t.tgz"))
            r = args.runs
            (t_cab, m_cab, c_cab), (t_zip, m_zip, c_zip) = measure_side_by_side(helper, [
                ([tool, "-BATCH", "tree", cab], clean(cab)),
                (["zip", "-9", "-r", "-q", zipf, "tree"], clean(zipf))], tmp, r)
            # A comparison of its own, so that it gets the quick rounds where
            # both take under a second (the compressing builds never do).
            (t_st, m_st, c_st), (t_tar, m_tar, c_tar) = measure_side_by_side(helper, [
                ([tool, "-BATCH", "-NOCOMPRESS", "tree", stored], clean(stored)),
                (["tar", "cf", tarf, "tree"], clean(tarf))], tmp, r)
            subprocess.run(["tar", "czf", tgz, "tree"], cwd=tmp, check=True)
            # cabread tests by decoding into nothing; extracts like expand.
            ((t_xcab, m_xcab, c_xcab), (t_unzip, m_unzip, c_unzip), (t_xtgz, m_xtgz, c_xtgz), (t_rx, m_rx, c_rx),
             (t_xst, m_xst, c_xst), (t_xtar, m_xtar, c_xtar)) = measure_side_by_side(helper, [
                (lambda: [tool, "-BATCH", cab, outs.next()], None),
                (lambda: ["unzip", "-q", "-o", zipf, "-d", outs.next()], None),
                (lambda: ["tar", "xzf", tgz, "-C", outs.next(True)], None),
                (lambda: [cabread, "-x", "-q", "-d", outs.next(), cab], None),
                (lambda: [tool, "-BATCH", stored, outs.next()], None),
                (lambda: ["tar", "xf", tarf, "-C", outs.next(True)], None)], tmp, r)
            (t_rt, m_rt, c_rt), (t_ut, m_ut, c_ut), (t_gt, m_gt, c_gt) = measure_side_by_side(helper, [
                ([cabread, "-t", "-q", cab], None), (["unzip", "-tq", zipf], None), (["gzip", "-t", tgz], None)],
                tmp, r)
            # LZX (window 2^21, one folder) through the writer's own client on
            # a tar of the tree, against xz -6 and gzip -9 of the same tar (the
            # tree itself may hold names that differ only in case, which
            # cabwrite refuses); at most three runs each, LZX being the
            # slowest codec here.
            lzx = os.path.join(tmp, "lzx.cab")
            rl = min(r, 3)
            (t_lzx, m_lzx, c_lzx), (t_xz, m_xz, c_xz), (t_gz, m_gz, c_gz) = measure_side_by_side(helper, [
                ([cabwrite, "-t", "lzx:21", lzx, "t.tar"], clean(lzx)),
                (["xz", "-6", "-k", "-f", tarf], clean(tarf + ".xz")),
                (["gzip", "-9", "-k", "-f", tarf], clean(tarf + ".gz"))], tmp, rl)
            size_lzx = os.path.getsize(lzx)
            size_xz, size_gz = os.path.getsize(tarf + ".xz"), os.path.getsize(tarf + ".gz")
            size_cab, size_zip = os.path.getsize(cab), os.path.getsize(zipf)
            rows.append((label, [
                ("build vs zip -9 -r", t_cab, t_zip, c_cab / c_zip, m_cab, m_zip,
                 f"threads {thread_count()}, size {size_cab / size_zip:.3f}x"),
                ("-NOCOMPRESS build vs tar cf", t_st, t_tar, c_st / c_tar, m_st, m_tar, ""),
                ("expand vs unzip", t_xcab, t_unzip, c_xcab / c_unzip, m_xcab, m_unzip, ""),
                ("expand vs tar xzf", t_xcab, t_xtgz, c_xcab / c_xtgz, m_xcab, m_xtgz, ""),
                ("stored expand vs tar xf", t_xst, t_xtar, c_xst / c_xtar, m_xst, m_xtar, ""),
                ("cabread -t vs unzip -tq", t_rt, t_ut, c_rt / c_ut, m_rt, m_ut, ""),
                ("cabread -t vs gzip -t of the tar.gz", t_rt, t_gt, c_rt / c_gt, m_rt, m_gt, ""),
                ("cabread -x vs unzip", t_rx, t_unzip, c_rx / c_unzip, m_rx, m_unzip, ""),
                ("LZX 2^21 of the tar vs xz -6 of the tar", t_lzx, t_xz, c_lzx / c_xz, m_lzx, m_xz,
                 f"size {size_lzx / size_xz:.3f}x"),
                ("LZX 2^21 of the tar vs gzip -9 of the tar", t_lzx, t_gz, c_lzx / c_gz, m_lzx, m_gz,
                 f"size {size_lzx / size_gz:.3f}x"),
            ]))
            if label == "include":
                rows[-1][1].extend(parallel_rows(helper, tool, cabwrite, tmp, r))
    print()
    print(f"Median of {args.runs} runs, the programs of each comparison run in turn round after round: wall")
    print("seconds, their ratio, and the ratio of CPU seconds (user + system; steadier on a loaded machine).")
    print("Peak = largest resident set of the command over the runs.")
    print()
    print("| data | comparison | treepak s | other s | ratio | CPU ratio | treepak peak MiB | other peak MiB | note |")
    print("|---|---|---|---|---|---|---|---|---|")
    for label, items in rows:
        for name, mine, other, cpu_ratio, peak, other_peak, note in items:
            print(f"| {label} | {name} | {mine:.3f} | {other:.3f} | {mine / other:.2f} | {cpu_ratio:.2f} "
                  f"| {peak:.1f} | {other_peak:.1f} | {note} |")


if __name__ == "__main__":
    main()
