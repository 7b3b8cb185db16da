"""froth.ensemble: the same rows for every seed whether run here, in a local
process pool or on a two-worker dask cluster."""

import pytest

import froth
from conftest import without_time

SEEDS = [1, 2, 3]
RUN = dict(sites=60, loops=100)


@pytest.fixture(scope="module")
def serial():
    return froth.ensemble(SEEDS, processes=1, **RUN)


def test_serial_runs_are_the_simulators(serial):
    assert list(serial.columns) == ["seed"] + list(froth.csv_columns)
    assert serial["seed"].unique().tolist() == SEEDS
    alone = froth.Simulator(froth.Foam.random(60, seed=2), seed=2).run(loops=100)
    assert without_time(serial[serial["seed"] == 2].drop(columns="seed").reset_index(drop=True)).equals(
        without_time(alone))


# tornado, under distributed, warns of its own use of asyncio.
@pytest.mark.filterwarnings("ignore::DeprecationWarning")
def test_process_pool_and_dask_cluster_give_the_same_rows(serial):
    distributed = pytest.importorskip("distributed")
    assert without_time(froth.ensemble(SEEDS, processes=2, **RUN)).equals(without_time(serial))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            assert without_time(froth.ensemble(SEEDS, client=client, **RUN)).equals(without_time(serial))
