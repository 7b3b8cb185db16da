"""froth.Foam: its arrays are the foam file's records, it saves and loads
back unchanged, bad input raises ValueError or OSError naming the fault, and
equilibrate() leaves a foam at equilibrium by its own arrays."""

import numpy as np
import pytest

import froth


def read_foam_file(path):
    """The junctions and the bubble lines of a foam file, by plain parsing."""
    with open(path) as f:
        lines = [line.split() for line in f if line.strip() and not line.startswith("#")]
    assert lines[0] == ["froth-foam", "1"]
    j = int(lines[3][1])
    junctions = np.array([[float(x) for x in line] for line in lines[4:4 + j]])
    bubbles = lines[5 + j:5 + j + int(lines[4 + j][1])]
    return junctions, bubbles


@pytest.fixture(scope="module")
def coarsened():
    """A foam some loops into its coarsening: pressures differ, films curve."""
    foam = froth.Foam.random(80, seed=4)
    froth.Simulator(foam, seed=4).run(loops=40)
    return foam


def test_arrays_are_the_foam_files_records(coarsened, tmp_path):
    path = tmp_path / "a.foam"
    coarsened.save(path)
    junctions, bubbles = read_foam_file(path)
    assert np.array_equal(coarsened.junctions, junctions)
    assert np.array_equal(coarsened.pressures, [float(b[0]) for b in bubbles])
    assert np.array_equal(coarsened.target_areas, [float(b[1]) for b in bubbles])
    assert coarsened.outer.tolist() == [b[2] == "1" for b in bubbles]
    assert coarsened.sides.tolist() == [int(b[3]) for b in bubbles]
    assert coarsened.loops == [[int(j) for j in b[4:]] for b in bubbles]
    assert len(coarsened.tags) == len(bubbles)
    # With the outer bubble closing the border every other bubble and every
    # junction is measured; the curved areas are the statistics' mean area.
    assert coarsened.bubble_count == len(bubbles) - 1 == coarsened.statistics()["bubbles"]
    assert coarsened.junction_count == len(junctions)
    areas = coarsened.areas[~coarsened.outer]
    assert areas.mean() == pytest.approx(coarsened.statistics()["mean_area"], rel=1e-12)
    assert coarsened.areas[coarsened.outer].tolist() == [0.0]


def test_save_load_round_trip(coarsened, tmp_path):
    coarsened.save(tmp_path / "a.foam")
    loaded = froth.Foam.load(tmp_path / "a.foam")
    loaded.save(str(tmp_path / "b.foam"))
    assert (tmp_path / "a.foam").read_bytes() == (tmp_path / "b.foam").read_bytes()
    for name in ("junctions", "pressures", "target_areas", "areas", "sides", "outer", "tags"):
        assert np.array_equal(getattr(loaded, name), getattr(coarsened, name)), name
    assert loaded.loops == coarsened.loops
    assert loaded.statistics() == coarsened.statistics()


def test_foams_as_built():
    open_foam = froth.Foam.random(80, seed=4, outer=False)
    assert not open_foam.outer.any() and open_foam.bubble_count < len(open_foam.sides)
    assert froth.Foam.preset(3).bubble_count > 0
    grid = np.array([(x, y) for x in range(6) for y in range(6)], dtype=float)
    grid += np.random.default_rng(1).uniform(-0.2, 0.2, grid.shape)
    assert froth.Foam.from_sites(grid).bubble_count > 0
    with pytest.warns(UserWarning, match="all sites lie on one line"):
        assert froth.Foam.from_sites([[0, 0], [1, 1], [2, 2]]).junctions.shape == (0, 2)


@pytest.mark.parametrize("text, message", [
    ("froth-foam 2\n", ":1: "),
    ("froth-foam 1\nfilm_tension 0.25\noutside_pressure 1\njunctions 3\n0 0\n0 1\n1 0\nbubbles 1\n1 1 0 3 0 1 7\n",
     ":9: junction index 7 out of range (0..2)"),
    ("froth-foam 1\nfilm_tension nan\n", ":2: "),
])
def test_bad_foam_files(tmp_path, text, message):
    path = tmp_path / "bad.foam"
    path.write_text(text)
    with pytest.raises(ValueError) as error:
        froth.Foam.load(path)
    assert str(error.value).startswith(str(path) + message)
    with pytest.raises(FileNotFoundError, match="cannot open"):
        froth.Foam.load(tmp_path / "missing.foam")


@pytest.mark.parametrize("call, name", [
    (lambda: froth.Foam.random(-1), "n"),
    (lambda: froth.Foam.random(10, seed=2 ** 32), "seed"),
    (lambda: froth.Foam.random(10, domain=(0, 5)), "domain"),
    (lambda: froth.Foam.preset(4), "k"),
    (lambda: froth.Foam.from_sites(np.zeros((4, 3))), "xy"),
    (lambda: froth.Foam.from_sites([[0, 0], [1, np.nan], [0, 1]]), "xy"),
    (lambda: froth.Foam.preset(3).snapshot("picture.gif"), "path"),
    (lambda: froth.Foam.preset(3).snapshot("picture.png", size=(0, 10)), "size"),
    (lambda: froth.Foam.preset(3).equilibrate(solver="sweeps"), "solver"),
    (lambda: froth.Foam.preset(3).equilibrate(tolerance=(1e-10, -1)), "tolerance"),
])
def test_bad_arguments(call, name):
    with pytest.raises(ValueError, match="^" + name):
        call()


def test_snapshots(coarsened, tmp_path):
    heads = {"svg": b"<?xml", "png": b"\x89PNG", "pdf": b"%PDF"}
    for extension, head in heads.items():
        path = tmp_path / ("foam." + extension)
        coarsened.snapshot(path, size=(320, 180))
        assert path.read_bytes().startswith(head)
    with pytest.raises(OSError):
        coarsened.snapshot(tmp_path / "no" / "foam.svg")


def test_equilibrate_makes_the_foam_exact():
    foam = froth.Foam.preset(3)
    result = foam.equilibrate()
    assert result["converged"] and result["area_residual"] < 1e-10 and result["angle_residual"] < 1e-10
    # The solver's area rule, recomputed from the arrays alone.
    inner = ~foam.outer
    target = np.maximum(foam.target_areas[inner], 0.0)
    scale = np.maximum(foam.target_areas[inner], foam.target_areas[inner].mean() / 10)
    assert np.max(np.abs(foam.areas[inner] - target) / scale) < 1e-10
    assert foam.statistics()["angle_error"] < 1e-10
    # Equilibrium is a fixed point of the sweeps.
    again = foam.equilibrate(solver="junction", seed=1)
    assert again["converged"] and again["iterations"] == 0
