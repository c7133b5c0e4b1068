#!/usr/bin/env python3
# Interleaved runs of Google Benchmark programs, for comparing builds of a
# codec on a shared, noisy host: each round runs every program once (two
# repetitions), in turn. Per benchmark and program it prints the least and
# the median CPU time, the best rate (8 MiB of data: 8000 / ms = M/s as the
# benchmarks print it), and the median over the rounds of libdeflate's time
# / this benchmark's time within the same run (above 1: faster than
# libdeflate): against libdeflate on the same blocks (BM_FolderDecoder_X
# against BM_Libdeflate_X), and for the text against libdeflate's decode of
# the text as one stream.
# Usage: interleaved_runs.py PROGRAM[,PROGRAM...] [ROUNDS] [FILTER]
#   e.g. interleaved_runs.py /tmp/old_bench,build-bench/bench/deflate_decode_bench 10
import collections, csv, io, statistics, subprocess, sys

bins = sys.argv[1].split(',')
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
flt = sys.argv[3] if len(sys.argv) > 3 else 'FolderDecoder|Libdeflate'
ONE_STREAM = 'BM_Libdeflate_TextWholeStream'


def counterpart(name):
    """libdeflate's benchmark on the same blocks as `name`, if any."""
    prefix = 'BM_FolderDecoder_'
    return 'BM_Libdeflate_' + name[len(prefix):] if name.startswith(prefix) else None


times = collections.defaultdict(list)
same = collections.defaultdict(list)
whole = collections.defaultdict(list)
for _ in range(rounds):
    for b in bins:
        out = subprocess.run([b, f'--benchmark_filter={flt}', '--benchmark_min_time=0.25',
                              '--benchmark_repetitions=2', '--benchmark_format=csv'],
                             capture_output=True, text=True).stdout
        lines = [l for l in out.splitlines() if l.startswith('name') or l.startswith('"BM_')]
        run = collections.defaultdict(list)
        for row in csv.DictReader(io.StringIO('\n'.join(lines))):
            if row['name'].endswith(('_mean', '_median', '_stddev', '_cv')) or not row['cpu_time']:
                continue
            times[(row['name'], b)].append(float(row['cpu_time']))
            run[row['name']].append(float(row['cpu_time']))
        for name, values in run.items():
            ref = counterpart(name)
            if ref in run:
                same[(name, b)].append(min(run[ref]) / min(values))
            if name == 'BM_FolderDecoder_Text' and ONE_STREAM in run:
                whole[(name, b)].append(min(run[ONE_STREAM]) / min(values))

for name in sorted({k[0] for k in times}):
    for b in bins:
        v = times.get((name, b))
        if not v:
            continue
        line = (f"{name:30s} {b.split('/')[-1]:12s} min {min(v):6.3f} med {statistics.median(v):6.3f} ms"
                f"  best {8000 / min(v):5.0f} M/s")
        if same.get((name, b)):
            line += f"  x libdeflate, same blocks: {statistics.median(same[(name, b)]):.3f}"
        if whole.get((name, b)):
            line += f", one stream: {statistics.median(whole[(name, b)]):.3f}"
        print(line)
