#!/usr/bin/python3
"""The module's threads under concurrent callers: the default thread count against one thread.

  1. Calls of 2^17 elements, one after another: each call shares its elements with the pool's
     workers (default) or computes them alone (set_num_threads(1)).
  2. dask's threaded scheduler computing 10^8 elements in 16 chunks: one call per chunk, as many
     calls at once as the scheduler has threads, all sharing the one pool of workers.

Both sides run in turn, best of the runs; a ratio is default / one thread, so at most 1 means the
default is not slower.

    /usr/bin/python3 bench/python/threads.py [--module-dir DIR]
"""

import argparse
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from bench import import_module, side_by_side  # noqa: E402


def with_threads(vantrel, threads, work):
    def run():
        vantrel.set_num_threads(threads)
        work()
    return run


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module-dir")
    args = parser.parse_args()
    vantrel = import_module(args.module_dir)
    import dask
    import dask.array as da

    default = os.cpu_count()
    rng = np.random.default_rng(1)
    print(f"| Work | default ({default} threads), ms | 1 thread, ms | ratio |")
    print("|---|---|---|---|")

    small = [rng.uniform(100, 1e4, 1 << 17) for _ in range(4)]
    for name in ("CountRate", "FlippingRatio"):
        function = getattr(vantrel.ufuncs, name)
        arguments = small[:function.nin]

        def calls():
            for _ in range(200):
                function(*arguments)
        best = side_by_side(with_threads(vantrel, default, calls),
                            with_threads(vantrel, 1, calls), 5)
        print(f"| 200 calls of {name} on 2^17 elements | {best[0] * 1e3:.1f} | "
              f"{best[1] * 1e3:.1f} | {best[0] / best[1]:.2f} |")

    n = 10**8
    chunks = n // 16
    columns = [da.from_array(rng.uniform(100, 1e4, n), chunks=chunks) for _ in range(2)]
    for name in ("CountRate", "CountRateSDev"):
        function = getattr(vantrel.ufuncs, name)

        def compute():
            with dask.config.set(scheduler="threads"):
                function(*columns[:function.nin]).sum().compute()
        best = side_by_side(with_threads(vantrel, default, compute),
                            with_threads(vantrel, 1, compute), 3)
        print(f"| dask, {name} on 10^8 elements in 16 chunks | {best[0] * 1e3:.0f} | "
              f"{best[1] * 1e3:.0f} | {best[0] / best[1]:.2f} |")


if __name__ == "__main__":
    main()
