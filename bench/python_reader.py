"""Writes or times the reading of a list-mode FCS file of 32-bit floats the way the public
numpy-based readers do it: the TEXT segment parsed for the layout, then DATA read straight into
one array in native byte order. Usage: python_reader.py write PATH | python_reader.py time PATH"""
import sys
import time

import numpy as np

EVENTS, PARAMS = 1_000_000, 8


def write(path):
    rng = np.random.default_rng(1)
    data = ((rng.random((EVENTS, PARAMS)) - 0.01) * 262144.0).astype('>f4')
    keys = {'$BYTEORD': '4,3,2,1', '$DATATYPE': 'F', '$MODE': 'L', '$NEXTDATA': '0',
            '$PAR': str(PARAMS), '$TOT': str(EVENTS)}
    for p in range(1, PARAMS + 1):
        keys.update({f'$P{p}B': '32', f'$P{p}E': '0,0', f'$P{p}N': f'P{p}', f'$P{p}R': '262144'})
    text_begin, nbytes = 58, data.nbytes
    # The offsets are written in fixed width so the TEXT length does not depend on them.
    keys.update({'$BEGINANALYSIS': '0', '$ENDANALYSIS': '0', '$BEGINSTEXT': '0', '$ENDSTEXT': '0',
                 '$BEGINDATA': '0' * 12, '$ENDDATA': '0' * 12})
    text_len = len(('/' + ''.join(f'{k}/{v}/' for k, v in keys.items())).encode())
    begin = text_begin + text_len
    keys['$BEGINDATA'] = str(begin).zfill(12)
    keys['$ENDDATA'] = str(begin + nbytes - 1).zfill(12)
    text = ('/' + ''.join(f'{k}/{v}/' for k, v in keys.items())).encode()
    header = b'FCS3.0    ' + f'{text_begin:8d}{text_begin + len(text) - 1:8d}{0:8d}{0:8d}{0:8d}{0:8d}'.encode()
    with open(path, 'wb') as f:
        f.write(header)
        f.write(text)
        f.write(data.tobytes())


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


def main():
    mode, path = sys.argv[1], sys.argv[2]
    if mode == 'write':
        write(path)
        return
    read(path)  # file cache
    best = min(timed(path) for _ in range(20))
    print(f'numpy reader: best of 20 {best * 1000:.2f} ms')


def timed(path):
    start = time.perf_counter()
    read(path)
    return time.perf_counter() - start


if __name__ == '__main__':
    main()
