#!/usr/bin/python3
"""Runs dbf_bench and python3-dbf on the same work and prints the ratios.

python3-dbf appends the log records (date, success, a 200-byte two-line memo,
url) and then reads every record with its memo; dbf_bench does the same with
the engine (BM_AppendWithBothIndexes additionally keeps both log indexes up to
date). Both sides run several rounds and the best round counts, so that a
busy machine (other builds on the two cores) does not decide the ratio.
Usage: compare.py PATH/TO/dbf_bench [--records N] [--rounds N]
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import dbf


def python_dbf(records, folder, round_number):
    table = dbf.Table(os.path.join(folder, 'pylog%d.dbf' % round_number),
                      'date C(10); success L; message M; url C(254)', dbf_type='db3')
    table.open(dbf.READ_WRITE)
    memo = 'x' * 98 + '\r\n' + 'y' * 100
    start = time.perf_counter()
    for i in range(records):
        table.append(('12/08/2026' if i % 3 else '12/07/2026', i % 5 != 0, memo,
                      'http://site%d.example/page?id=%d' % (i * 7919 % 100000, i)))
    appended = time.perf_counter()
    total = 0
    for record in table:
        total += len(record.url) + len(record.message)
    read = time.perf_counter()
    table.close()
    return appended - start, read - appended


def engine(bench, records, rounds):
    env = dict(os.environ, DBF_BENCH_RECORDS=str(records))
    out = subprocess.run([bench, '--benchmark_format=json',
                          '--benchmark_repetitions=%d' % rounds], env=env, check=True,
                         capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)['benchmarks']:
        if b.get('run_type') == 'aggregate':
            continue
        scale = {'ms': 1e-3, 'us': 1e-6, 'ns': 1e-9, 's': 1.0}[b['time_unit']]
        name = b['name'].split('/iterations')[0]
        best = times.get(name)
        if best is None or b['real_time'] * scale < best[0]:
            times[name] = (b['real_time'] * scale, b['cpu_time'] * scale)
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('bench')
    parser.add_argument('--records', type=int, default=100000)
    parser.add_argument('--rounds', type=int, default=2)
    args = parser.parse_args()
    times = engine(args.bench, args.records, args.rounds)
    py_append = py_read = float('inf')
    with tempfile.TemporaryDirectory() as folder:
        for round_number in range(args.rounds):
            appended, read = python_dbf(args.records, folder, round_number)
            py_append = min(py_append, appended)
            py_read = min(py_read, read)
    print('%d records, best of %d rounds' % (args.records, args.rounds))
    print('%-34s %10s %10s' % ('engine benchmark', 'wall s', 'cpu s'))
    for name, (wall, cpu) in times.items():
        print('%-34s %10.3f %10.3f' % (name, wall, cpu))
    print('python3-dbf append %.3f s, read %.3f s' % (py_append, py_read))
    append_wall = times['BM_AppendWithBothIndexes/written_through'][0]
    batched_wall = times['BM_AppendWithBothIndexes/batched'][0]
    read_wall = times['BM_ReadAllWithMemos'][0]
    print('append: engine %.1fx faster (with both indexes kept up to date)' % (py_append / append_wall))
    print('append, batched: engine %.1fx faster' % (py_append / batched_wall))
    print('read:   engine %.1fx faster' % (py_read / read_wall))
    print('MakeIndex url %.3f s, date %.3f s (target below 0.3 s)'
          % (times['BM_MakeIndex/url'][0], times['BM_MakeIndex/date'][0]))
    return 0


if __name__ == '__main__':
    sys.exit(main())
