#!/usr/bin/env python3
# Interleaved runs of Google Benchmark programs, for comparing builds of a
# codec on a shared, noisy host: each round runs every program once (two
# repetitions), in turn. Per benchmark and program it prints the least and
# the median CPU time, the best rate (8 MiB of data: 8000 / ms = M/s as the
# benchmarks print it), and the median over the runs of libdeflate's time /
# this benchmark's time within the same run (above 1: faster than libdeflate),
# against libdeflate on independent blocks and on the text as one stream.
# Usage: interleaved_runs.py PROGRAM[,PROGRAM...] [ROUNDS] [FILTER]
#   e.g. interleaved_runs.py /tmp/old_bench,build-bench/bench/deflate_decode_bench 10
import subprocess, sys, statistics, csv, io, collections
bins = sys.argv[1].split(',')
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
flt = sys.argv[3] if len(sys.argv) > 3 else 'Folder.*(Text|Indep)|Libdeflate'
res = collections.defaultdict(list); ratio = collections.defaultdict(list); whole = collections.defaultdict(list)
for r in range(rounds):
    for b in bins:
        out = subprocess.run([b, f'--benchmark_filter={flt}', '--benchmark_min_time=0.25', '--benchmark_repetitions=2',
                              '--benchmark_format=csv'], capture_output=True, text=True).stdout
        lines = [l for l in out.splitlines() if l.startswith('name') or l.startswith('"BM_')]
        run = collections.defaultdict(list)
        for row in csv.DictReader(io.StringIO('\n'.join(lines))):
            if row['name'].endswith(('_mean', '_median', '_stddev', '_cv')): continue
            res[(row['name'], b)].append(float(row['cpu_time'])); run[row['name']].append(float(row['cpu_time']))
        for ref, into in (('BM_Libdeflate_Independent', ratio), ('BM_Libdeflate_TextWholeStream', whole)):
            lib = run.get(ref)
            if lib:
                for n, v in run.items(): into[(n, b)].append(min(lib) / min(v))
names = sorted({k[0] for k in res})
for n in names:
    for b in bins:
        v = res.get((n, b))
        if not v: continue
        print(f"{n:30s} {b.split('/')[-1]:12s} min {min(v):6.3f} med {statistics.median(v):6.3f} ms  best {8000/min(v):5.0f} M/s  x libdeflate: med {statistics.median(ratio[(n,b)] or [0]):.3f}, whole {statistics.median(whole[(n,b)] or [0]):.3f}")
