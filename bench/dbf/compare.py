#!/usr/bin/python3
"""Runs dbf_bench and python3-dbf on the same work and prints the ratios.

python3-dbf appends the log records (date, success, a 200-byte two-line memo,
url) and then reads every record with its memo; dbf_bench does the same with
the engine (BM_AppendWithBothIndexes additionally keeps both log indexes up to
date). Both sides run several rounds, engine and Python taking turns, and the
best round of each counts, so that a busy machine (other builds on the two
cores) does not decide the ratio; the ratios are given for wall time and for
the processor time of each side.
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
    start = (time.perf_counter(), time.process_time())
    for i in range(records):
        table.append(('12/08/2026' if i % 3 else '12/07/2026', i % 5 != 0, memo,
                      'http://site%d.example/page?id=%d' % (i * 7919 % 100000, i)))
    appended = (time.perf_counter(), time.process_time())
    total = 0
    for record in table:
        total += len(record.url) + len(record.message)
    read = (time.perf_counter(), time.process_time())
    table.close()
    return ((appended[0] - start[0], appended[1] - start[1]),
            (read[0] - appended[0], read[1] - appended[1]))


def engine(bench, records, times, only=None):
    """Runs the benchmarks once (or those matching `only`), keeping the best
    (wall, cpu) of each in `times`."""
    env = dict(os.environ, DBF_BENCH_RECORDS=str(records))
    command = [bench, '--benchmark_format=json']
    if only:
        command.append('--benchmark_filter=' + only)
    out = subprocess.run(command, env=env, check=True, capture_output=True, text=True).stdout
    for b in json.loads(out)['benchmarks']:
        if b.get('run_type') == 'aggregate':
            continue
        scale = {'ms': 1e-3, 'us': 1e-6, 'ns': 1e-9, 's': 1.0}[b['time_unit']]
        name = b['name'].split('/iterations')[0]
        wall, cpu = times.get(name, (float('inf'), float('inf')))
        times[name] = (min(wall, b['real_time'] * scale), min(cpu, b['cpu_time'] * scale))
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('bench')
    parser.add_argument('--records', type=int, default=100000)
    parser.add_argument('--rounds', type=int, default=3)
    args = parser.parse_args()
    times = {}
    engine(args.bench, args.records, times)
    py_append = py_read = (float('inf'), float('inf'))
    with tempfile.TemporaryDirectory() as folder:
        for round_number in range(args.rounds):
            if round_number > 0:
                engine(args.bench, args.records, times, 'BM_AppendWithBothIndexes|BM_ReadAll')
            appended, read = python_dbf(args.records, folder, round_number)
            py_append = tuple(map(min, py_append, appended))
            py_read = tuple(map(min, py_read, read))
    print('%d records, best of %d rounds' % (args.records, args.rounds))
    print('%-34s %10s %10s' % ('engine benchmark', 'wall s', 'cpu s'))
    for name, (wall, cpu) in times.items():
        print('%-34s %10.3f %10.3f' % (name, wall, cpu))
    print('python3-dbf append %.3f s (cpu %.3f s), read %.3f s (cpu %.3f s)'
          % (py_append[0], py_append[1], py_read[0], py_read[1]))

    def ratio(python, name):
        wall, cpu = times[name]
        return 'engine %.1fx faster in wall time, %.1fx in processor time' % (
            python[0] / wall, python[1] / cpu)
    print('append: %s (with both indexes kept up to date)'
          % ratio(py_append, 'BM_AppendWithBothIndexes/written_through'))
    print('append, batched: %s' % ratio(py_append, 'BM_AppendWithBothIndexes/batched'))
    print('read:   %s' % ratio(py_read, 'BM_ReadAllWithMemos'))
    print('MakeIndex url %.3f s, date %.3f s (target below 0.3 s)'
          % (times['BM_MakeIndex/url'][0], times['BM_MakeIndex/date'][0]))
    return 0


if __name__ == '__main__':
    sys.exit(main())
