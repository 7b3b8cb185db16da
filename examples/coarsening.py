#!/usr/bin/python3
"""Coarsens a few seeded foams at once and plots their second moment and mean
bubble area against loops.

usage: PYTHONPATH=build/release/python examples/coarsening.py [PICTURE.png]
           [--seeds S ...] [--sites N] [--loops L] [--processes P]
"""

import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import froth  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("picture", nargs="?", default="coarsening.png", help="the PNG to write")
    parser.add_argument("--seeds", type=int, nargs="+", default=[1, 2, 3, 4])
    parser.add_argument("--sites", type=int, default=froth.defaults["sites"])
    parser.add_argument("--loops", type=int, default=None, help="at most this many loops per foam")
    parser.add_argument("--processes", type=int, default=None, help="worker processes (default: one per core)")
    args = parser.parse_args()

    frame = froth.ensemble(args.seeds, sites=args.sites, loops=args.loops, processes=args.processes)
    figure, (moment, area) = plt.subplots(1, 2, figsize=(11, 4.5))
    for seed, run in frame.groupby("seed"):
        moment.plot(run["loop"], run["second_moment"], label="seed %d" % seed, linewidth=1)
        area.loglog(run["loop"].clip(lower=1), run["mean_area"], label="seed %d" % seed, linewidth=1)
    moment.set(xlabel="loop", ylabel="second moment of the side number", title="Second moment")
    area.set(xlabel="loop", ylabel="mean bubble area", title="Mean area")
    for axes in (moment, area):
        axes.legend()
        axes.grid(True, alpha=0.3)
    figure.suptitle("%d foams of %d sites" % (len(args.seeds), args.sites))
    figure.tight_layout()
    figure.savefig(args.picture, dpi=100)
    print("%s: %d runs, %d rows" % (args.picture, len(args.seeds), len(frame)))


if __name__ == "__main__":
    main()
