"""Throughput of the Python reader's chunked iteration, against a plain read of the
same file in the same run (the file in the page cache, one core, CPU time).

    /usr/bin/python3 python/bench_reader.py [MILLION_SAMPLES] [FILE]
"""

import os
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rollmode_rmd  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "tests"))
from rmdfiles import start, to_bytes  # noqa: E402


def make(path, samples):
    """Counting pattern, with a new measurement every 10 M samples."""
    block = np.arange(10_000_000, dtype=np.int64)
    words = (1 + block % 255) | ((1 + (block // 255) % 255) << 8)
    words = words.astype("<u2")
    with open(path, "wb") as f:
        left = samples
        while left > 0:
            n = min(left, len(words))
            f.write(to_bytes(start()))
            f.write(words[:n].tobytes())
            left -= n


def best(fn, runs=3, first=None):
    """The best (wall, CPU) seconds of a few runs. On a shared machine wall time counts
    the others' turns too; CPU time does not. `first` (a list) receives the first run's:
    the first gigabytes a process takes from the kernel may cost more than the next."""
    walls, cpus = [], []
    for _ in range(runs):
        w0, c0 = time.perf_counter(), time.process_time()
        fn()
        walls.append(time.perf_counter() - w0)
        cpus.append(time.process_time() - c0)
    if first is not None:
        first.extend((walls[0], cpus[0]))
    return min(walls), min(cpus)


def report(name, t, t_plain, samples):
    print(f"{name:18s}" + "  ".join(
        f"{kind} {t[i]:.3f} s {samples / t[i] / 1e6:5.0f} M samples/s ({t[i] / t_plain[i]:4.1f} x plain)"
        for i, kind in ((0, "wall"), (1, "CPU"))))


def main():
    samples = int(float(sys.argv[1]) * 1e6) if len(sys.argv) > 1 else 50_000_000
    path = sys.argv[2] if len(sys.argv) > 2 else os.path.join(tempfile.gettempdir(), "rmd-bench.rmd")
    make(path, samples)
    size = os.path.getsize(path)

    def plain():
        buf = bytearray(1 << 21)
        with open(path, "rb") as f:
            while f.readinto(buf):
                pass

    def chunks():
        n = 0
        with rollmode_rmd.open(path) as f:
            for c in f.chunks():
                n += len(c)
        assert n == samples

    def whole():
        assert sum(len(m) for m in rollmode_rmd.load(path)) == samples

    def scan():
        with rollmode_rmd.open(path) as f:
            assert sum(i.samples for i in f.measurements) == samples

    plain()  # into the page cache
    t_plain = best(plain)
    t_chunks = best(chunks)
    t_scan = best(scan)
    t_first = []
    t_whole = best(whole, first=t_first)
    print(f"file {size / 1e6:.0f} MB, {samples / 1e6:.0f} M samples")
    print(f"plain read        wall {t_plain[0]:.3f} s {size / t_plain[0] / 1e9:.2f} GB/s, "
          f"CPU {t_plain[1]:.3f} s {size / t_plain[1] / 1e9:.2f} GB/s")
    report("chunks()", t_chunks, t_plain, samples)
    report("measurements scan", t_scan, t_plain, samples)
    report("load(), first", t_first, t_plain, samples)
    report("load(), best", t_whole, t_plain, samples)
    if len(sys.argv) <= 2:
        os.remove(path)


if __name__ == "__main__":
    main()
