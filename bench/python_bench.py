#!/usr/bin/python3
"""Plain timings of the Python module against froth-batch (no assertions).

usage: PYTHONPATH=build/release/python bench/python_bench.py [BUILD_DIR] [--repeat R]

1. A coarsening of 2,000 sites, seed 1, to five bubbles: froth-batch and
   Simulator.run, alternately, R times each (wall-clock seconds).
2. An ensemble of 8 seeds of 200 sites: in this process one after the other,
   then on 2 worker processes.
"""

import argparse
import os
import subprocess
import time

import froth


def timed(work):
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build/release")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    batch = os.path.join(args.build, "tools", "froth-batch")

    def program():
        subprocess.run([batch, "--sites", "2000", "--seed", "1", "--csv", os.devnull], check=True,
                       stderr=subprocess.DEVNULL)

    def module():
        froth.Simulator(froth.Foam.random(2000, seed=1), seed=1).run()

    for _ in range(args.repeat):
        print("2000 sites: froth-batch %.2f s, Simulator.run %.2f s" % (timed(program), timed(module)), flush=True)
    seeds = range(1, 9)
    serial = timed(lambda: froth.ensemble(seeds, sites=200, processes=1))
    pooled = timed(lambda: froth.ensemble(seeds, sites=200, processes=2))
    print("8 seeds x 200 sites: serial %.2f s, 2 processes %.2f s (%.2fx)" % (serial, pooled, serial / pooled))


if __name__ == "__main__":
    main()
