# The Dask example over a folder of recordings: the same table on two worker processes as in a plain
# loop, also when a worker process is killed while the recordings are being read.
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time

import pandas as pd
import pytest

from conftest import BIN, DATA, REPO

sys.path.insert(0, str(REPO / "examples"))
import dask_event_rates as example  # noqa: E402

distributed = pytest.importorskip("distributed")


@pytest.fixture
def folder(tmp_path):
    """Six recordings in two folders: the two references, and loops of them in EVT 3.0 and EVT 2.0."""
    root = tmp_path / "recordings"
    (root / "b").mkdir(parents=True)
    shutil.copyfile(DATA / "eccodecs_evt3_trigger.raw", root / "trigger.raw")
    shutil.copyfile(DATA / "ecpy_test_events_1.raw", root / "b" / "ecpy.raw")
    for name, source, fmt in [("loop3.raw", "ecpy_test_events_1.raw", "evt3"),
                              ("b/loop2.raw", "ecpy_test_events_1.raw", "evt2"),
                              ("b/trigger21.raw", "eccodecs_evt3_trigger.raw", "evt21"),
                              ("loop_long.raw", "eccodecs_evt3_trigger.raw", "evt3")]:
        subprocess.run([str(BIN / "orvane_rawtool"), "loop", str(DATA / source), str(root / name),
                        "--events", "400000", "--format", fmt], check=True, capture_output=True)
    (root / "notes.txt").write_text("not a recording")
    return root


def gated(path, gate):
    # Every recording but the first waits until the test has killed a worker.
    if not path.endswith("trigger.raw"):
        distributed.Event(gate).wait(timeout=120)
    return example.event_rates(path)


def test_two_worker_processes_give_the_serial_table_even_when_one_is_killed(folder, tmp_path, monkeypatch):
    paths = example.recordings(str(folder))
    assert len(paths) == 6
    serial = example.run_serial(paths)
    assert set(serial["recording"]) == set(paths) and (serial["events"] > 0).any()

    # The command itself, on its default two-process local cluster.
    out = tmp_path / "rates.csv"
    assert example.main([str(folder), str(out)]) == 0
    pd.testing.assert_frame_equal(pd.read_csv(out), pd.read_csv(_csv(serial, tmp_path)))

    # Workers are fresh interpreters: they find the module, the example and this file on the path.
    here = pathlib.Path(__file__).parent
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join(
        [os.environ.get("PYTHONPATH", ""), str(REPO / "examples"), str(here)]))
    from dask.distributed import Client, LocalCluster, wait

    with LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        # One recording first, so both workers have started and imported what they need; then the
        # rest, which hold both workers until the test has killed one of them.
        first = next(p for p in paths if p.endswith("trigger.raw"))
        futures = {first: client.submit(gated, first, "go", key="gated-first", pure=False)}
        futures[first].result(timeout=120)
        for i, p in enumerate(paths):
            if p != first:
                futures[p] = client.submit(gated, p, "go", key=f"gated-{i}", pure=False)
        futures = [futures[p] for p in paths]
        # Kill a worker while it holds recordings that are being read.
        deadline = time.monotonic() + 120
        while not all(client.processing().values()) and time.monotonic() < deadline:
            time.sleep(0.05)
        victim, pid = next(iter(client.run(os.getpid).items()))
        assert client.processing()[victim], "the worker to kill holds no task"
        os.kill(pid, signal.SIGKILL)
        # The nanny starts a new worker; the tasks the dead one held run again somewhere.
        client.wait_for_workers(2, timeout=120)
        distributed.Event("go", client=client).set()
        wait(futures, timeout=240)
        table = example.gather(client.gather(futures))
    pd.testing.assert_frame_equal(table, serial)


def _csv(table, tmp_path):
    path = tmp_path / "serial.csv"
    table.to_csv(path, index=False)
    return path
