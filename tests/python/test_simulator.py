"""froth.Simulator: seeded runs are froth-batch's runs row for row, each
simulator draws from a generator of its own, callbacks see every row and can
stop the run, Ctrl-C stops it between loops, bad parameters raise."""

import os
import signal
import threading

import pytest

import froth
from conftest import assert_same_rows, printed, without_time


@pytest.mark.parametrize("args, make", [
    (["--sites", 30, "--seed", 7], lambda: froth.Simulator(froth.Foam.random(30, seed=7), seed=7).run()),
    (["--preset", 3, "--seed", 5, "--permeability", 0.3, "--tau", 0.4, "--loops", 150],
     lambda: froth.Simulator(froth.Foam.preset(3), seed=5, permeability=0.3, tau=0.4).run(loops=150)),
    (["--sites", 40, "--seed", 2, "--quasi-static", "--loops", 25],
     lambda: froth.Simulator(froth.Foam.random(40, seed=2), seed=2, quasi_static=True).run(loops=25)),
])
def test_rows_are_froth_batchs(batch_rows, args, make):
    assert_same_rows(batch_rows(*args), make())


def test_junction_sweeps_are_froth_batchs(batch_rows):
    rows = batch_rows("--sites", 30, "--seed", 3, "--equilibrate", "--solver", "junction")
    foam = froth.Foam.random(30, seed=3)
    result = foam.equilibrate(solver="junction", seed=3)
    assert result["converged"] and result["iterations"] == len(rows) - 2
    last = dict(zip(rows[0], rows[-1]))
    for name, value in foam.statistics().items():
        if name != "p":
            assert printed(name, value) == last[name], name


def test_a_saved_foam_goes_on_as_the_run_it_was_saved_from(batch_rows, tmp_path):
    """Without a seed a simulator goes on with the generator the foam carries:
    froth-batch's numbered save, the module's own save, and a foam just built."""
    prefix = str(tmp_path / "f-")
    batch_rows("--sites", 60, "--seed", 4, "--loops", 40, "--save-every", 20, "--save-prefix", prefix)
    whole = froth.Simulator(froth.Foam.random(60, seed=4), seed=4)
    first = whole.run(loops=20)
    whole.foam.save(tmp_path / "own.foam")
    rest = whole.run(loops=20)
    counts = ["loop", "wall_seconds", "t1_total", "t2_total"]

    def same(frame, expected):
        assert frame.drop(columns=counts).iloc[1:].reset_index(drop=True).equals(
            expected.drop(columns=counts).iloc[1:].reset_index(drop=True))

    same(froth.Simulator(froth.Foam.load(prefix + "000020.foam")).run(loops=20), rest)
    same(froth.Simulator(froth.Foam.load(tmp_path / "own.foam")).run(loops=20), rest)
    same(froth.Simulator(froth.Foam.random(60, seed=4)).run(loops=20), first)


def test_simulators_draw_from_their_own_generators():
    def simulator():
        return froth.Simulator(froth.Foam.random(50, seed=11), seed=11)

    alone = simulator().run(loops=30)
    first, second = simulator(), simulator()
    for _ in range(10):
        first.step(), second.step()
    # Interleaved with another one's draws, each still makes the same loops.
    assert without_time(first.run(loops=20)).iloc[1:].reset_index(drop=True).equals(
        without_time(alone).iloc[11:].reset_index(drop=True))
    assert first.loop == second.loop + 20 == 30


def test_tags_follow_the_bubbles_through_a_run():
    simulator = froth.Simulator(froth.Foam.random(80, seed=6), seed=6)
    start = set(simulator.foam.tags)
    assert len(start) == simulator.foam.bubble_count + 1  # the outer bubble too
    simulator.run(until_bubbles=40)
    tags = list(simulator.foam.tags)
    assert len(set(tags)) == len(tags) and set(tags) < start


def test_callback_sees_the_rows_and_stops_the_run():
    simulator = froth.Simulator(froth.Foam.random(60, seed=3), seed=3)
    seen = []

    def callback(foam, row):
        assert foam is simulator.foam
        seen.append(row)
        return len(seen) < 3

    frame = simulator.run(callback=callback, every=5)
    assert simulator.stop_reason == "stopped by the callback"
    assert len(frame) == 16 and [row["loop"] for row in seen] == [5, 10, 15]
    assert list(seen[-1]) == list(froth.csv_columns)
    assert all(printed(name, value) == printed(name, frame.iloc[-1][name]) for name, value in seen[-1].items())
    # A second run goes on from there.
    more = simulator.run(loops=5)
    assert more["loop"].tolist() == list(range(15, 21))
    assert more.iloc[0]["t1_total"] == frame.iloc[-1]["t1_total"]
    with pytest.raises(ZeroDivisionError):
        simulator.run(callback=lambda foam, row: 1 / 0)


def test_interrupt_stops_between_loops():
    simulator = froth.Simulator(froth.Foam.random(200, seed=1), seed=1)
    threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
    with pytest.raises(KeyboardInterrupt) as interrupted:
        simulator.run(loops=100000)
    frame = interrupted.value.frame
    assert simulator.stop_reason == "interrupted" and len(frame) == simulator.loop + 1 > 2
    assert simulator.run(loops=1)["loop"].tolist() == [simulator.loop - 1, simulator.loop]


@pytest.mark.parametrize("arguments, name", [
    (dict(permeability=-0.1), "permeability"),
    (dict(tau=0), "tau"),
    (dict(max_iterations=-1), "max_iterations"),
    (dict(t1_threshold=float("inf")), "t1_threshold"),
    (dict(film_tension=-1), "film_tension"),
    (dict(seed=-3), "seed"),
])
def test_bad_parameters(arguments, name):
    with pytest.raises(ValueError, match="^" + name):
        froth.Simulator(froth.Foam.preset(3), **arguments)


def test_bad_run_arguments():
    simulator = froth.Simulator(froth.Foam.preset(3))
    with pytest.raises(ValueError, match="^every"):
        simulator.run(every=0)
    with pytest.raises(ValueError, match="^loops"):
        simulator.run(loops=-1)
    with pytest.raises(TypeError, match="callback"):
        simulator.run(callback=3)
    assert simulator.loop == 0
