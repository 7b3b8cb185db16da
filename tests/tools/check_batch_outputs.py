#!/usr/bin/python3
"""Reads froth-batch's outputs back with the standard library alone.

usage: check_batch_outputs.py FROTH_BATCH PLOT_RUN

Runs froth-batch to write a snapshot in every format and checks each file:
the SVG parses as XML with an <svg> root of the requested size, the PNG has
the requested size in its header, the PDF has the requested media box. Then a
real coarsening CSV goes through plot-run, which must write a PNG sheet.
Exits with 1 and a reason on the first failure.
"""

import csv
import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree


def check(condition, message):
    if not condition:
        sys.stderr.write("FAILED: %s\n" % message)
        sys.exit(1)


def run(args):
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True)
    check(done.returncode == 0, "%s exited with %d: %s" % (" ".join(args), done.returncode, done.stderr))
    return done


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n", "%s: not a PNG" % path)
    check(head[12:16] == b"IHDR", "%s: no IHDR chunk first" % path)
    return struct.unpack(">II", head[16:24])


def main(batch, plot_run):
    with tempfile.TemporaryDirectory() as work:
        svg = os.path.join(work, "foam.svg")
        png = os.path.join(work, "foam.png")
        pdf = os.path.join(work, "foam.pdf")
        for path in (svg, png, pdf):
            run([batch, "--preset", "2", "--loops", "3", "--seed", "4", "--csv", os.devnull,
                 "--snapshot-size", "800", "450", "--snapshot", path])

        root = ElementTree.parse(svg).getroot()
        check(root.tag == "{http://www.w3.org/2000/svg}svg", "SVG root is %s" % root.tag)
        check(root.get("width") == "800pt" and root.get("height") == "450pt",
              "SVG size %s x %s" % (root.get("width"), root.get("height")))
        paths = root.iter("{http://www.w3.org/2000/svg}path")
        check(sum(1 for _ in paths) > 0, "SVG has no path")

        check(png_size(png) == (800, 450), "PNG size %s" % (png_size(png),))

        with open(pdf, "rb") as f:
            data = f.read()
        check(data.startswith(b"%PDF-"), "PDF header")
        check(b"/MediaBox [ 0 0 800 450 ]" in data, "PDF media box")
        check(data.rstrip().endswith(b"%%EOF"), "PDF end marker")

        # Nothing but the three pictures is left behind.
        check(sorted(os.listdir(work)) == ["foam.pdf", "foam.png", "foam.svg"],
              "files left: %s" % sorted(os.listdir(work)))

        run_csv = os.path.join(work, "run.csv")
        sheet = os.path.join(work, "run.png")
        run([batch, "--sites", "80", "--seed", "2", "--loops", "150", "--csv", run_csv])
        with open(run_csv, newline="") as f:
            rows = list(csv.DictReader(f))
        check(len(rows) == 151, "the run has %d rows" % len(rows))
        check(int(rows[-1]["t2_total"]) > 0, "no bubble vanished in the run")
        run([plot_run, run_csv, sheet])
        width, height = png_size(sheet)
        check(width >= 600 and height >= 400, "sheet size %d x %d" % (width, height))
        check(not os.path.exists(sheet + ".tmp.png"), "plot-run left its temporary file")

        bad = subprocess.run([plot_run, os.path.join(work, "missing.csv")], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, universal_newlines=True)
        check(bad.returncode == 2 and "missing.csv: cannot open" in bad.stderr,
              "plot-run on a missing CSV: %d %s" % (bad.returncode, bad.stderr))
    return 0


if __name__ == "__main__":
    check(len(sys.argv) == 3, "usage: check_batch_outputs.py FROTH_BATCH PLOT_RUN")
    sys.exit(main(sys.argv[1], sys.argv[2]))
