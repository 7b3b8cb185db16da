#!/usr/bin/python3
"""Reads froth-batch's outputs back with the standard library alone.

usage: check_batch_outputs.py FROTH_BATCH PLOT_RUN

Bad input ends with one line, status 2 and no output file; --help and the
CSV go to standard output; --equilibrate on a foam without an equilibrium
gives up, with status 3. A snapshot in every format: the SVG parses as XML
with an <svg> root of the requested size, the PNG header and the PDF media box
carry that size. Then a real coarsening CSV goes through plot-run, which must
write a PNG sheet. Exits with 1 and a reason on the first failure.
"""

import csv
import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

SVG = "{http://www.w3.org/2000/svg}"


def check(condition, message):
    if not condition:
        sys.stderr.write("FAILED: %s\n" % message)
        sys.exit(1)


def run(args, status=0):
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True)
    check(done.returncode == status, "%s exited with %d: %s" % (" ".join(args), done.returncode, done.stderr))
    return done


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", "%s: not a PNG with its header first" % path)
    return struct.unpack(">II", head[16:24])


def check_program(batch, work):
    bad = os.path.join(work, "bad.foam")
    with open(bad, "w") as f:
        f.write("froth-foam 1\nfilm_tension 0.25\noutside_pressure 1\njunctions 3\n0 0\n0 1\n1 0\nbubbles 1\n"
                "1 1 0 3 0 1 7\n")
    nowhere = os.path.join(work, "no", "a.foam")
    outputs = ["--csv", os.path.join(work, "run.csv"), "--save", os.path.join(work, "end.foam"),
               "--snapshot", os.path.join(work, "end.png")]
    for args, error in ((["--load", bad] + outputs, bad + ":9: junction index 7 out of range (0..2)\n"),
                        (["--load", "/dev/zero"] + outputs, "/dev/zero:1: line longer than 1048576 bytes\n"),
                        (["--preset", "3", "--save", nowhere] + outputs[:2], nowhere + ": cannot create a file there"),
                        (["--sites", "10", "--loop", "3"], "froth-batch: unknown option '--loop' (see --help)\n")):
        done = run([batch] + args, status=2)
        check(done.stderr.startswith(error) and done.stderr.count("\n") == 1 and done.stdout == "",
              "%s: %r %r" % (args, done.stdout, done.stderr))
    check(os.listdir(work) == ["bad.foam"], "files left by bad input: %s" % os.listdir(work))
    check(run([batch, "--help"]).stdout.startswith("usage: froth-batch [options]"), "--help")
    done = run([batch, "--preset", "3", "--seed", "1", "--loops", "2"])
    rows = list(csv.DictReader(done.stdout.splitlines()))
    check(len(rows) == 3 and done.stderr.startswith("froth-batch: 2 loops in "), "CSV on standard output: %s %r"
          % (len(rows), done.stderr))

    # The last bubbles of a coarsening, one of them spent: no equilibrium.
    spent = os.path.join(work, "spent.foam")
    with open(spent, "w") as f:
        f.write("froth-foam 1\nfilm_tension 0.25\noutside_pressure 1\njunctions 4\n-15.06 -1.566\n-17.25 -0.555\n"
                "-11.41 -11.17\n-15.40 -0.0701\nbubbles 4\n1.0825 37.156 0 3 0 2 1\n1.1981 -30.601 0 3 1 3 0\n"
                "1.0847 99.343 0 3 2 0 3\n1 0 1 3 3 1 2\n")
    done = run([batch, "--load", spent, "--loops", "0", "--csv", os.devnull])
    check(done.stderr.rstrip().endswith("; stopped after --loops 0"), "--loops 0: %r" % done.stderr)
    done = run([batch, "--load", spent, "--equilibrate", "--solver", "junction", "--csv", os.devnull], status=3)
    check(done.stderr.startswith("froth-batch: not equilibrated after ") and
          done.stderr.rstrip().endswith("; stopped: no progress in 2000 loops"), "--equilibrate: %r" % done.stderr)
    os.remove(spent)


def main(batch, plot_run):
    with tempfile.TemporaryDirectory() as work:
        check_program(batch, work)
        os.remove(os.path.join(work, "bad.foam"))
        svg, png, pdf = (os.path.join(work, "foam." + ext) for ext in ("svg", "png", "pdf"))
        for path in (svg, png, pdf):
            run([batch, "--preset", "2", "--loops", "3", "--seed", "4", "--csv", os.devnull,
                 "--snapshot-size", "800", "450", "--snapshot", path])

        root = ElementTree.parse(svg).getroot()
        check(root.tag == SVG + "svg", "SVG root is %s" % root.tag)
        check((root.get("width"), root.get("height")) == ("800pt", "450pt"),
              "SVG size %s x %s" % (root.get("width"), root.get("height")))
        check(any(True for _ in root.iter(SVG + "path")), "SVG has no path")
        check(png_size(png) == (800, 450), "PNG size %s" % (png_size(png),))
        with open(pdf, "rb") as f:
            data = f.read()
        check(data.startswith(b"%PDF-") and data.rstrip().endswith(b"%%EOF"), "PDF header or end marker")
        check(b"/MediaBox [ 0 0 800 450 ]" in data, "PDF media box")
        # Nothing but the three pictures is left behind.
        files = sorted(os.listdir(work))
        check(files == ["foam.pdf", "foam.png", "foam.svg"], "files left: %s" % files)

        run_csv, sheet = os.path.join(work, "run.csv"), os.path.join(work, "run.png")
        run([batch, "--sites", "80", "--seed", "2", "--loops", "150", "--csv", run_csv])
        with open(run_csv, newline="") as f:
            rows = list(csv.DictReader(f))
        check(len(rows) == 151, "the run has %d rows" % len(rows))
        check(int(rows[-1]["t2_total"]) > 0, "no bubble vanished in the run")
        run([plot_run, run_csv, sheet])
        width, height = png_size(sheet)
        check(width >= 600 and height >= 400, "sheet size %d x %d" % (width, height))
        check(not os.path.exists(sheet + ".tmp.png"), "plot-run left its temporary file")
        bad = run([plot_run, os.path.join(work, "missing.csv")], status=2)
        check("missing.csv: cannot open" in bad.stderr, "plot-run on a missing CSV: %s" % bad.stderr)
    return 0


if __name__ == "__main__":
    check(len(sys.argv) == 3, "usage: check_batch_outputs.py FROTH_BATCH PLOT_RUN")
    sys.exit(main(sys.argv[1], sys.argv[2]))
