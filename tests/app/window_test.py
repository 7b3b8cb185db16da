#!/usr/bin/env python3
"""Drives the froth program in a real window, as a user would.

Each scenario starts its own Xvfb server and runs the program in a fresh
temporary working directory; keys and mouse clicks go to the window through
xdotool while the pointer is inside it, and captured PNG files are decoded
here and their pixels checked. Usage: window_test.py SCENARIO, the program
named by FROTH_EXECUTABLE. On failure the program's console is printed.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# Window geometry as the program opens it.
WINDOW_X, WINDOW_Y = 50, 50
WINDOW_W, WINDOW_H = 960, 540
SCREEN = "1280x800x24"
# Colours of the drawing, as 8-bit RGB.
BACKGROUND = (178, 178, 178)   # clear colour 0.7
FILM = (0, 0, 0)
# What the overlay panels add to the picture: their background colour, added
# over the picture below kept at half strength.
SITE_PANEL_TINT = (20, 89, 20)
JUNCTION_PANEL_TINT = (13, 77, 77)
BUBBLE_PANEL_TINT = (102, 13, 13)
# xdotool key names of the characters the scenarios type.
KEY_NAMES = {" ": "space", "=": "equal", "\x1b": "Escape"}
GENERATED = "manual pressure override\n"


class ScenarioFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise ScenarioFailure(message)


# -- pictures ---------------------------------------------------------------------

def read_png(path):
    """(width, height, channels, rows) of an 8-bit RGB or RGBA PNG, top row
    first, each row a bytes object of width x channels values."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk, pos = data[pos + 8:pos + 8 + length], pos + 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", chunk)
        elif kind == b"IDAT":
            idat += chunk
        elif kind == b"IEND":
            break
    check(header is not None and header[2:4] in ((8, 2), (8, 6)) and header[6] == 0,
          f"{path}: unsupported PNG layout {header}")
    width, height, channels = header[0], header[1], 4 if header[3] == 6 else 3
    raw, stride = zlib.decompress(idat), width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            if kind == 4:
                c = previous[i - channels] if i >= channels else 0
                p = a + b - c
                predictor = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else (
                    b if abs(p - b) <= abs(p - c) else c)
            else:
                predictor = (0, a, b, (a + b) // 2)[kind]
            line[i] = (line[i] + predictor) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


class Picture:
    """A decoded capture with pixel queries in window coordinates (y down)."""

    def __init__(self, path):
        self.path = path
        self.width, self.height, self.channels, self.rows = read_png(path)

    def rgb(self, x, y):
        i = x * self.channels
        return tuple(self.rows[y][i:i + 3])

    def count(self, predicate, box=None):
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        ch = self.channels
        return sum(1 for row in self.rows[y0:y1] for i in range(x0 * ch, x1 * ch, ch)
                   if predicate((row[i], row[i + 1], row[i + 2])))

    def opaque(self):
        return self.channels == 3 or all(row[i] == 255 for row in self.rows[::20]
                                         for i in range(3, len(row), 4 * 20))


def tinted_pixels(before, during, box, tint, tolerance=4):
    """Pixels of box that went from c to c/2 + tint between two captures:
    those covered by a panel of that background."""
    x0, y0, x1, y1 = box
    return sum(1 for y in range(y0, y1) for x in range(x0, x1)
               if all(abs(d - (b // 2 + t)) <= tolerance
                      for d, b, t in zip(during.rgb(x, y), before.rgb(x, y), tint)))


def near(expected, tolerance=3):
    return lambda c: all(abs(a - b) <= tolerance for a, b in zip(c, expected))


def is_blue_fill(c):
    # (0.05 t, 0.3 t, 1.0 t): blue dominant, green about 0.3 of it.
    r, g, b = c
    return b >= 40 and r <= 0.1 * b + 3 and abs(g - 0.3 * b) <= 0.05 * b + 3


def is_warning_red(c):
    # The warning panel adds full red: red saturates, over grey or blue alike.
    # No other drawing reaches that red (the bubble panel stays near 190).
    r, g, b = c
    return r >= 250 and g <= 130 and b <= 140


def has_panel_corner(picture):
    # The statistics panel's corner: purple over the background or the foam.
    corner = picture.rgb(6, 8)
    return corner != BACKGROUND and not is_blue_fill(corner) and corner[2] > corner[1] + 30


def check_foam_picture(picture, overlay=True):
    name = picture.path
    check((picture.width, picture.height) == (WINDOW_W, WINDOW_H),
          f"{name}: size {picture.width} x {picture.height}")
    check(picture.opaque(), f"{name}: not opaque")
    for what, predicate, least in (("film", near(FILM, 10), 3000), ("blue fill", is_blue_fill, 150000),
                                   ("background", near(BACKGROUND), 5000)):
        n = picture.count(predicate)
        check(n > least, f"{name}: only {n} {what} pixels")
    # Films cross the middle of the window: some black on the centre row.
    row = WINDOW_H // 2
    check(picture.count(near(FILM, 10), (0, row, WINDOW_W, row + 1)) >= 5, f"{name}: no film on the centre row")
    check(has_panel_corner(picture) == overlay, f"{name}: panel corner {picture.rgb(6, 8)}, overlay {overlay}")
    check(picture.count(is_warning_red) == 0, f"{name}: topology warning on screen")


# -- the X server and the program ------------------------------------------------

class XServer:
    def __enter__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        check(number.isdigit(), "Xvfb did not report a display")
        self.display = ":" + number
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Program:
    """The program running in a temporary directory, its console in a file."""

    def __init__(self, server, workdir):
        self.workdir = workdir
        self.env = dict(os.environ, DISPLAY=server.display)
        self.console_path = os.path.join(workdir, "console.txt")
        self.console_file = open(self.console_path, "wb")
        self.process = subprocess.Popen([os.path.abspath(os.environ["FROTH_EXECUTABLE"])], cwd=workdir,
                                        env=self.env, stdout=self.console_file, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL)
        self.read_from = 0
        self.window = None

    def console(self):
        with open(self.console_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_for(self, text, timeout=60.0, regex=False):
        """Waits until text (or the regex) appears after the last match;
        returns the console from the previous match to the end of this one."""
        pattern = re.compile(text if regex else re.escape(text))
        deadline = time.monotonic() + timeout
        while True:
            out = self.console()
            m = pattern.search(out, self.read_from)
            if m:
                segment, self.read_from = out[self.read_from:m.end()], m.end()
                return segment
            check(self.process.poll() is None, f"program ended ({self.process.returncode}) before {text!r}")
            check(time.monotonic() < deadline, f"no {text!r} within {timeout} s")
            time.sleep(0.05)

    def settle(self):
        """Waits until the console has been quiet for a moment."""
        size, quiet_since = -1, time.monotonic()
        while time.monotonic() - quiet_since < 0.5:
            now = len(self.console())
            if now != size:
                size, quiet_since = now, time.monotonic()
            time.sleep(0.05)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=True, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=60)

    def find_window(self):
        result = subprocess.run(["xdotool", "search", "--sync", "--name", "Froth"], env=self.env,
                                check=True, stdout=subprocess.PIPE, timeout=60, text=True)
        self.window = result.stdout.split()[0]
        self.pointer_home()

    def pointer_home(self):
        self.move(WINDOW_W // 2, WINDOW_H - 10)

    def move(self, x, y):
        """Moves the pointer to window coordinates (x, y)."""
        self.xdotool("mousemove", str(WINDOW_X + x), str(WINDOW_Y + y))

    def drag(self, button, points):
        """Presses the button at the first point and moves through the rest."""
        self.move(*points[0])
        self.xdotool("mousedown", str(button))
        for x, y in points[1:]:
            self.move(x, y)
            time.sleep(0.05)

    def keys(self, text):
        for ch in text:
            self.xdotool("key", KEY_NAMES.get(ch, ch))
            time.sleep(0.05)

    def generate(self, keys="r"):
        """Types the keys of a foam generation and waits for its message."""
        self.keys(keys)
        self.wait_for(GENERATED)

    def capture(self, name):
        """Presses 'y' and waits for the file; returns the decoded picture."""
        path = os.path.join(self.workdir, name)
        self.keys("y")
        deadline, size = time.monotonic() + 60, -1
        while not (os.path.exists(path) and os.path.getsize(path) == size > 0):
            size = os.path.getsize(path) if os.path.exists(path) else -1
            check(time.monotonic() < deadline, f"{name} was not written")
            time.sleep(0.2)
        return Picture(path)

    def menu_entry(self, submenu, entry):
        """Clicks an entry of a submenu of the right-button menu (indices from
        0). Rows are 25 pixels high, and a submenu opens 160 pixels right of
        the press, level with its entry; pressed near the top of the window,
        the 25-entry submenu fits on the screen."""
        px, py = 200, 10
        row = lambda k: 25 * k + 12
        self.move(px, py)
        self.xdotool("click", "3")
        time.sleep(0.3)
        for dx, dy in ((20, row(submenu)), (160, row(submenu)), (160, row(submenu + entry))):
            self.move(px + dx, py + dy)
            time.sleep(0.3)
        self.xdotool("click", "1")
        time.sleep(0.3)

    def wait_exit(self, status, why):
        try:
            code = self.process.wait(60)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"program still running 60 s after {why}")
        check(code == status, f"{why} gave exit status {code}, not {status}")

    def quit(self):
        self.keys("q")
        self.wait_exit(113, "'q'")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.console_file.close()


# -- scenarios ---------------------------------------------------------------------

def scenario_start(p):
    p.wait_for("Rotating: hold down left mouse button\nZooming: hold down middle mouse button\n"
               "Panning: press shift and hold down left mouse button\n")
    check(re.search(r"GLEW status: Using GLEW \d+\.\d+", p.console()), "no GLEW status line")
    check(p.console().index("GLEW status") < p.console().index("Rotating"), "GLEW status after the help lines")
    # An empty start: no foam, only the statistics panel over the background.
    picture = p.capture("screen_0001.png")
    check(picture.count(is_blue_fill) == 0, "a foam is drawn before any generation key")
    check(picture.rgb(WINDOW_W // 2, WINDOW_H // 2) == BACKGROUND, "centre is not background")
    p.keys("\x1b")
    p.wait_exit(27, "escape")


def scenario_capture(p):
    p.generate()
    check_foam_picture(p.capture("screen_0001.png"))
    p.keys("f")
    second = p.capture("screen_0002.png")
    check(second.count(is_blue_fill) < 2000, "bubbles still filled after 'f'")
    check(second.count(near(FILM, 10)) > 3000, "no films without the fill")
    # After a resize the capture has the new window size, panel still in the corner.
    p.keys("f")
    p.xdotool("windowsize", p.window, "640", "400")
    p.move(100, 100)
    time.sleep(0.5)
    third = p.capture("screen_0003.png")
    check((third.width, third.height) == (640, 400), f"capture after resize is {third.width} x {third.height}")
    check(third.count(is_blue_fill) > 50000, "no foam after the resize")
    check(has_panel_corner(third), f"no statistics panel in the corner after the resize: {third.rgb(6, 8)}")
    p.quit()


def scenario_camera_keys(p):
    p.keys("ollo")
    p.wait_for("orbit mode off \ntarget is locked\ntarget is free \norbit mode on\n")
    # A middle-button drag downwards zooms in: the foam grows on screen.
    p.generate("3")
    before = p.capture("screen_0001.png")
    p.drag(2, [(400, y) for y in range(100, 260, 10)])
    p.xdotool("mouseup", "2")
    p.pointer_home()
    after = p.capture("screen_0002.png")
    check(after.count(near(BACKGROUND)) < before.count(near(BACKGROUND)), "zooming in did not enlarge the foam")
    p.quit()


def scenario_quit(p):
    # Quitting waits two seconds before the program ends.
    p.wait_for("GLEW status")
    start = time.monotonic()
    p.quit()
    check(time.monotonic() - start >= 1.9, "'q' ended the program without its two-second wait")


def scenario_menu_quit(p):
    p.wait_for("GLEW status")
    # On a loaded machine the pop-up can open after the pointer has moved on,
    # and the click then falls outside it; each entry gets three tries.
    for attempt in range(3):
        p.menu_entry(1, 0)  # "Foam model", "Genrate random foam network"
        try:
            p.wait_for(GENERATED, timeout=20.0)
            break
        except ScenarioFailure:
            if attempt == 2:
                raise
    for attempt in range(3):
        p.menu_entry(0, 0)  # "controls", "quit"
        try:
            p.process.wait(20)
            break
        except subprocess.TimeoutExpired:
            pass
    p.wait_exit(113, "the menu's quit")


def scenario_empty_stop(p):
    p.generate("4")
    p.keys(" ")
    out = p.wait_for("simulation stopped!\n", timeout=30)
    check("\nsimulation started!\n" in out, "no start message")
    check(out.index("simulation started!") < out.index("forced simulation stopped - too few bubbles!\n")
          < out.index("simulation stopped!"), f"messages out of order: {out!r}")
    p.quit()


def scenario_commands(p):
    p.generate()
    # '0' hides the statistics panel and shows it again.
    for n, overlay in ((1, True), (2, False), (3, True)):
        if n > 1:
            p.keys("0")
        check_foam_picture(p.capture(f"screen_{n:04d}.png"), overlay)

    # Space starts and stops the simulation.
    p.keys(" ")
    p.wait_for("\nsimulation started!\n")
    time.sleep(1.0)
    p.keys(" ")
    p.wait_for("\nsimulation stopped!\n")
    timing = r"\.\.\. done in [0-9.e+-]+ ms ~ [0-9.e+-]+fps!\n"
    for key, message in (("s", r"\nrunning one simulation loop"), ("e", r"\nequilibrating foam once \(no diffusion\)")):
        p.keys(key)
        p.wait_for(message + timing, regex=True)
    # The exact solve from the menu ("Equilibrate foam exactly", entry 25),
    # then the quasi-static idle step on and off.
    p.menu_entry(1, 25)
    p.pointer_home()
    p.wait_for(r"\nequilibrating foam exactly" + timing + r"[0-9]+ Newton iterations, area residual [^\n]+ rad: ",
               regex=True)
    p.keys("Q ")
    p.wait_for("\nquasi-static simulation on!\n")
    time.sleep(1.0)
    p.keys(" Q")
    p.wait_for("\nquasi-static simulation off!\n")
    check_foam_picture(p.capture("screen_0004.png"))

    # Selection display with the cycling keys: both panels at the top right.
    # Panels are blended over whatever bubble lies below them, so they are
    # found by comparing with a capture taken before they show.
    p.settle()
    before = p.capture("screen_0005.png")
    p.keys("=jjbb")
    p.settle()
    during = p.capture("screen_0006.png")
    for what, top, tint in (("junction panel (teal)", 4, JUNCTION_PANEL_TINT),
                            ("bubble panel (red)", 66, BUBBLE_PANEL_TINT)):
        tinted = tinted_pixels(before, during, (WINDOW_W - 40, top, WINDOW_W - 10, top + 10), tint)
        check(tinted > 100, f"no {what} at the top right: {tinted} of 300 pixels")

    # The selection's commands, drawn with the selection shown (their output is
    # checked by the unit tests).
    p.keys("cTYSDkKd")
    p.wait_for("collapsing bubble" + timing, regex=True)
    p.wait_for("diffusing all bubbles once... done!\n")

    # The site print: 200 source lines within the window's range.
    p.keys("p")
    p.wait_for("m_quisk.permeability() = 0;\n")
    sites = re.findall(r"m_sites\.push_back\(vector3_type\(([^,]+), ([^,]+), ([^)]+)\)\);",
                       p.console().split("SITES debug print (200 sites):")[-1])
    check(len(sites) == 200, f"{len(sites)} site lines")
    for x, y, z in sites:
        check(abs(float(x)) <= 48 and abs(float(y)) <= 27 and float(z) == 0, f"site out of range: {x}, {y}, {z}")

    # A plain left drag shows the site count and changes it for the next 'r'.
    before = p.capture("screen_0007.png")
    p.drag(1, [(x, 300) for x in range(500, 440, -10)])
    during = p.capture("screen_0008.png")
    box = (WINDOW_W // 2 - 30, WINDOW_H // 2 - 4, WINDOW_W // 2 + 30, WINDOW_H // 2 + 4)
    tinted = tinted_pixels(before, during, box, SITE_PANEL_TINT)
    check(tinted > 120, f"no green site panel: {tinted} of 480 centre pixels tinted")
    p.xdotool("mouseup", "1")
    p.pointer_home()
    p.keys("rp")
    p.wait_for("SITES debug print (150 sites):")

    # Menu: "Foam model" -> "Toggle filled cells on/off" (entry 22) turns the fill off.
    p.menu_entry(1, 22)
    p.pointer_home()
    check(p.capture("screen_0009.png").count(is_blue_fill) < 2000, "the menu's fill toggle did not turn the fill off")
    p.keys("f")

    # Built without the outer bubble, the measured counts break Euler's
    # relation: the warning shows; with the outer bubble again it goes.
    p.generate("xR")
    picture = p.capture("screen_0010.png")
    check(picture.count(is_warning_red) > 2000, "no topology warning for the open foam")
    check(picture.count(is_blue_fill) > 100000, "the open foam is not filled")
    p.generate("xR")
    check(p.capture("screen_0011.png").count(is_warning_red) == 0, "the warning stayed")
    p.quit()


def scenario_coarsening(p):
    """A 200-site foam simulated until it stops by itself, with no topology
    warning on any capture on the way."""
    p.generate()
    p.keys(" ")
    p.wait_for("simulation started!\n")
    n, deadline = 0, time.monotonic() + 3000
    while "forced simulation stopped - too few bubbles!" not in p.console():
        check(p.process.poll() is None, "the program died while coarsening")
        check(time.monotonic() < deadline, "the foam did not coarsen in time")
        time.sleep(5)
        n += 1
        check(p.capture(f"screen_{n:04d}.png").count(is_warning_red) == 0, f"topology warning in capture {n}")
    p.wait_for("simulation stopped!\n")
    n += 1
    check(p.capture(f"screen_{n:04d}.png").count(is_warning_red) == 0, "topology warning at the end")
    print(f"coarsened with {n} captures")
    p.quit()


SCENARIOS = {name[len("scenario_"):]: fn for name, fn in globals().items() if name.startswith("scenario_")}


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in SCENARIOS:
        print("usage: window_test.py " + "|".join(sorted(SCENARIOS)))
        return 2
    name = sys.argv[1]
    workdir = tempfile.mkdtemp(prefix=f"froth_{name}_")
    ok = False
    with XServer() as server:
        program = Program(server, workdir)
        try:
            program.find_window()
            SCENARIOS[name](program)
            ok = True
        except (ScenarioFailure, subprocess.SubprocessError) as failure:
            print(f"FAILED {name}: {failure}")
            print("---- console ----")
            print(program.console()[-20000:])
        finally:
            program.stop()
    if os.environ.get("FROTH_KEEP_WORKDIR"):
        print(f"working directory kept: {workdir}")
    else:
        shutil.rmtree(workdir, ignore_errors=True)
    print(f"{name}: {'passed' if ok else 'failed'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
