"""The first road of an FCS file as a numpy user writes it, against ours, each run a fresh process.

  python_reader.py write PATH [EVENTS]     an FCS 3.0 file of EVENTS (1,000,000) x 8 big-endian floats:
                                           P1, P2 scatter, P3-P6 three genotypes each bright in one
                                           channel seen through the spill-over matrix, P7, P8 noise
  python_reader.py road PATH               the numpy road once, timed inside the process: TEXT parsed,
                                           DATA read with numpy.fromfile into one float32 array, the
                                           4 x 4 spill-over matrix inverted, the four channel columns
                                           multiplied and their log10 taken; prints one JSON line
  python_reader.py time PATH               the numpy reader alone, best of 20 in one process
  python_reader.py compare PATH BENCH [ROUNDS] [BIGPATH]
                                           after one untimed round, ROUNDS (10) alternating fresh
                                           processes of the numpy road and of BENCH's FreshRoad and
                                           FreshAnalysis; then, with BIGPATH (10,000,000 events), both
                                           roads on it against the first file
"""
import json
import os
import resource
import statistics
import subprocess
import sys
import time

import numpy as np

EVENTS, PARAMS, CHANNELS = 1_000_000, 8, 4
BRIGHT = (2.5, 2.8, 3.1)


def spill():
    """Percent of channel j's signal seen in channel i (as bench/FreshRoadBench.cpp's protocol)."""
    return np.array([[100.0 if i == j else 2.0 + i + j for j in range(CHANNELS)] for i in range(CHANNELS)])


def write(path, events=EVENTS):
    rng = np.random.default_rng(1)
    with open(path, 'wb') as f:
        keys = {'$BYTEORD': '4,3,2,1', '$DATATYPE': 'F', '$MODE': 'L', '$NEXTDATA': '0',
                '$PAR': str(PARAMS), '$TOT': str(events)}
        for p in range(1, PARAMS + 1):
            keys.update({f'$P{p}B': '32', f'$P{p}E': '0,0', f'$P{p}N': f'P{p}', f'$P{p}R': '262144'})
        text_begin, nbytes = 58, events * PARAMS * 4
        # The offsets are written in fixed width so the TEXT length does not depend on them.
        keys.update({'$BEGINANALYSIS': '0', '$ENDANALYSIS': '0', '$BEGINSTEXT': '0', '$ENDSTEXT': '0',
                     '$BEGINDATA': '0' * 12, '$ENDDATA': '0' * 12})
        text_len = len(('/' + ''.join(f'{k}/{v}/' for k, v in keys.items())).encode())
        begin = text_begin + text_len
        keys['$BEGINDATA'] = str(begin).zfill(12)
        keys['$ENDDATA'] = str(begin + nbytes - 1).zfill(12)
        text = ('/' + ''.join(f'{k}/{v}/' for k, v in keys.items())).encode()
        header = b'FCS3.0    ' + f'{text_begin:8d}{text_begin + len(text) - 1:8d}{0:8d}{0:8d}{0:8d}{0:8d}'.encode()
        f.write(header)
        f.write(text)
        s = spill() / 100.0
        for first in range(0, events, 1_000_000):
            n = min(1_000_000, events - first)
            kind = (np.arange(first, first + n) % 3)[:, None]
            level = np.where(np.arange(CHANNELS)[None, :] == kind, np.array(BRIGHT + (1.0,))[None, :], 1.0)
            true = 10.0 ** (level + 0.1 * rng.standard_normal((n, CHANNELS)))
            data = np.empty((n, PARAMS))
            data[:, 0:2] = 1024.0 * rng.random((n, 2))
            data[:, 2:6] = true @ s.T
            data[:, 6:8] = 262144.0 * rng.random((n, 2))
            f.write(data.astype('>f4').tobytes())


def read(path):
    with open(path, 'rb') as f:
        header = f.read(58)
        t0, t1 = int(header[10:18]), int(header[18:26])
        f.seek(t0)
        text = f.read(t1 - t0 + 1).decode('latin-1')
        sep = text[0]
        fields = text[1:].split(sep)
        keys = {fields[i].upper(): fields[i + 1] for i in range(0, len(fields) - 1, 2)}
        n, p = int(keys['$TOT']), int(keys['$PAR'])
        order = '>' if keys['$BYTEORD'] == '4,3,2,1' else '<'
        f.seek(int(keys['$BEGINDATA']))
        data = np.fromfile(f, dtype=order + 'f4', count=n * p).reshape(n, p)
    return data.astype('=f4', copy=False)


def numpy_road(path):
    data = read(path)
    compensation = np.linalg.inv(spill() / 100.0).astype(np.float32)
    compensated = data[:, 2:2 + CHANNELS] @ compensation.T
    with np.errstate(divide='ignore', invalid='ignore'):
        logs = np.log10(compensated)
    return data, compensated, logs


def status_mb(key):
    with open('/proc/self/status') as f:
        for line in f:
            if line.startswith(key):
                return int(line.split()[1]) * 1024 / 1e6
    return 0.0


def road(path):
    before_rss = status_mb('VmRSS:')
    usage = resource.getrusage(resource.RUSAGE_SELF)
    start = time.perf_counter()
    result = numpy_road(path)
    seconds = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_SELF)
    peak = status_mb('VmHWM:')
    print(json.dumps({'seconds': seconds, 'peak_mb': peak, 'road_mb': peak - before_rss,
                      'faults': after.ru_minflt - usage.ru_minflt,
                      'system': after.ru_stime - usage.ru_stime, 'events': int(result[0].shape[0])}))


def ours(bench, path, name):
    env = dict(os.environ, QUORVENAL_BENCH_FCS=path)
    out = subprocess.run([bench, f'--benchmark_filter=^{name}/', '--benchmark_format=json'], env=env,
                         check=True, capture_output=True, text=True).stdout
    run = json.loads(out)['benchmarks'][0]
    return {'seconds': run['real_time'] / 1000.0, 'peak_mb': run['PeakMB'], 'road_mb': run['RoadMB'],
            'faults': run['MinorFaults'], 'system': run['SystemSeconds'], 'events': run['Events']}


def numpy_process(path):
    out = subprocess.run([sys.executable, os.path.abspath(__file__), 'road', path], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)


def summary(name, runs):
    times = [r['seconds'] for r in runs]
    med = statistics.median(times)
    peak = max(r['peak_mb'] for r in runs)
    road_mb = max(r['road_mb'] for r in runs)
    per_million = road_mb / (runs[0]['events'] / 1e6)
    print(f'{name:<26} median {med * 1000:8.1f} ms  fastest {min(times) * 1000:8.1f}  slowest {max(times) * 1000:8.1f}'
          f' ({max(times) / med:.2f} x median)  peak {peak:7.1f} MB (road {road_mb:.1f} MB, {per_million:.1f} MB per'
          f' million)  faults {statistics.median(r["faults"] for r in runs):.0f}'
          f'  system {statistics.median(r["system"] for r in runs) * 1000:.0f} ms')
    print(f'{"":<26} runs (ms): ' + ' '.join(f'{t * 1000:.1f}' for t in times))
    print(f'{"":<26} system time of each (ms): ' + ' '.join(f'{r["system"] * 1000:.0f}' for r in runs))
    return med


def warm_up(path, bench):
    """One untimed round. Memory a process frees goes back to the machine's pool within seconds,
    and a virtual machine may hand it back to its host: the first process after a pause then
    pays for the host backing every page it touches afresh (a whole-road stall, numpy's alike).
    The round before the timed ones takes that."""
    first = (numpy_process(path)['seconds'], ours(bench, path, 'FreshRoad')['seconds'],
             ours(bench, path, 'FreshAnalysis')['seconds'])
    print('warm-up round (not counted): numpy road {:.1f} ms, our road {:.1f} ms, our SetDetectors+Classify '
          '{:.1f} ms'.format(*(t * 1000 for t in first)))


def compare(path, bench, rounds, big):
    with open('/proc/loadavg') as f:
        print('load before:', ' '.join(f.read().split()[:3]))
    warm_up(path, bench)
    numpy_runs, road_runs, analysis_runs = [], [], []
    for _ in range(rounds):
        numpy_runs.append(numpy_process(path))
        road_runs.append(ours(bench, path, 'FreshRoad'))
        analysis_runs.append(ours(bench, path, 'FreshAnalysis'))
    n = summary('numpy road', numpy_runs)
    q = summary('our road', road_runs)
    a = summary('our SetDetectors+Classify', analysis_runs)
    print(f'our road / numpy road: {q / n:.3f} (goal at most 0.5); slowest of ours / our median: '
          f'{max(r["seconds"] for r in road_runs) / q:.2f} (goal at most 1.5)')
    print(f'SetDetectors + Classify, fresh process: median {a:.3f} s (goal at most 0.3 s)')
    if big:
        big_runs, big_numpy = [], []
        numpy_process(big)
        ours(bench, big, 'FreshRoad')
        for _ in range(max(3, rounds // 2)):
            big_numpy.append(numpy_process(big))
            big_runs.append(ours(bench, big, 'FreshRoad'))
        bn = summary('numpy road, 10x events', big_numpy)
        b = summary('our road, 10x events', big_runs)
        print(f'our road on 10x events / on 1x: {b / q:.2f} (goal at most 10.5); numpy: {bn / n:.2f}')
    with open('/proc/loadavg') as f:
        print('load after:', ' '.join(f.read().split()[:3]))


def timed(path):
    start = time.perf_counter()
    read(path)
    return time.perf_counter() - start


def main():
    mode, path = sys.argv[1], sys.argv[2]
    if mode == 'write':
        write(path, int(sys.argv[3]) if len(sys.argv) > 3 else EVENTS)
    elif mode == 'road':
        road(path)
    elif mode == 'compare':
        compare(path, sys.argv[3], int(sys.argv[4]) if len(sys.argv) > 4 else 10,
                sys.argv[5] if len(sys.argv) > 5 else None)
    else:
        read(path)  # file cache
        best = min(timed(path) for _ in range(20))
        print(f'numpy reader: best of 20 {best * 1000:.2f} ms')


if __name__ == '__main__':
    main()
