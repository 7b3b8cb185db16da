"""Froth's two-dimensional foams and their coarsening, as froth-batch runs them.

    import froth
    foam = froth.Foam.random(200, seed=1)
    frame = froth.Simulator(foam, seed=1).run()   # froth-batch --sites 200 --seed 1
    frames = froth.ensemble(range(1, 9), sites=200)

Foam and Simulator wrap the C++ core; the rows of Simulator.run and ensemble
are pandas DataFrames with froth-batch's CSV columns.
"""

import concurrent.futures
import operator
import os
import warnings

from . import _froth
from ._froth import Foam, csv_columns, defaults

__all__ = ["Foam", "Simulator", "ensemble", "csv_columns", "defaults"]


def _frame(rows):
    """A DataFrame of rows in csv_columns order, the whole-number columns as integers."""
    import pandas

    frame = pandas.DataFrame(rows, columns=list(csv_columns))
    return frame.astype({name: "int64" for name in _froth.csv_integer_columns})


class Simulator(_froth.Simulator):
    __doc__ = _froth.Simulator.__doc__

    def run(self, loops=None, until_bubbles=defaults["until_bubbles"], callback=None, every=1,
            stall_loops=defaults["stall_loops"]):
        """Loops until `loops` are made, or `until_bubbles` bubbles or fewer remain
        (the outer one counted), or, without `loops`, no bubble has vanished for
        `stall_loops` loops. Returns a DataFrame with froth-batch's CSV columns:
        a row for the start and one per loop. callback(foam, row) is called every
        `every` loops with the loop's row as a dict; returning False stops the run.
        Ctrl-C stops it after the current loop with KeyboardInterrupt, whose
        `frame` holds the rows made so far. stop_reason says why it ended."""
        try:
            self._run(loops, until_bubbles, stall_loops, callback, every)
        except KeyboardInterrupt as interrupt:
            interrupt.frame = _frame(self._rows())
            raise
        if self.stop_reason.startswith("stopped: the solver failed"):
            warnings.warn(self.stop_reason, RuntimeWarning, stacklevel=2)
        return _frame(self._rows())


# Arguments of ensemble() that go to Foam.random and Simulator.run; the
# others go to Simulator.
_FOAM_ARGUMENTS = ("domain", "outer")
_RUN_ARGUMENTS = ("stall_loops",)


def _coarsen(seed, sites, loops, until_bubbles, parameters):
    """One seeded coarsening: the rows of froth-batch --sites `sites` --seed `seed`."""
    foam_arguments = {k: v for k, v in parameters.items() if k in _FOAM_ARGUMENTS}
    run_arguments = {k: v for k, v in parameters.items() if k in _RUN_ARGUMENTS}
    simulator_arguments = {k: v for k, v in parameters.items() if k not in _FOAM_ARGUMENTS + _RUN_ARGUMENTS}
    foam = Foam.random(sites, seed=seed, **foam_arguments)
    simulator = Simulator(foam, seed=seed, **simulator_arguments)
    return simulator.run(loops=loops, until_bubbles=until_bubbles, **run_arguments)


def ensemble(seeds, sites=defaults["sites"], loops=None, until_bubbles=defaults["until_bubbles"], client=None,
             processes=None, **parameters):
    """One seeded coarsening of `sites` random sites per seed, as froth-batch
    --sites SITES --seed S runs it, in one DataFrame with a `seed` column first.

    With a dask.distributed Client the runs go to its cluster; otherwise to a
    local process pool of `processes` workers (os.cpu_count() by default; 1
    runs them here, one after the other). `parameters` are Simulator's, and
    domain and outer (Foam.random's) and stall_loops (Simulator.run's)."""
    import pandas

    seeds = [operator.index(s) for s in seeds]
    if processes is not None and operator.index(processes) < 1:
        raise ValueError("processes: %r must be 1 or more" % (processes,))
    arguments = dict(sites=sites, loops=loops, until_bubbles=until_bubbles, parameters=parameters)
    if client is not None:
        frames = client.gather(client.map(_coarsen, seeds, **arguments))
    else:
        workers = min(processes or os.cpu_count() or 1, max(len(seeds), 1))
        if workers <= 1:
            frames = [_coarsen(s, **arguments) for s in seeds]
        else:
            with concurrent.futures.ProcessPoolExecutor(max_workers=workers) as pool:
                futures = [pool.submit(_coarsen, s, **arguments) for s in seeds]
                frames = [f.result() for f in futures]
    for seed, frame in zip(seeds, frames):
        frame.insert(0, "seed", seed)
    if not frames:
        return pandas.DataFrame(columns=["seed"] + list(csv_columns))
    return pandas.concat(frames, ignore_index=True)
