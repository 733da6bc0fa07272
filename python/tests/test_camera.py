# Live cameras through the Python module, on the simulated bus: listing, opening, time batches and
# a short recording that reads back.
import os

os.environ["ORVANE_SIM_CAMERAS"] = "kestrel:PYSIM1,tandem:PYSIM2"

import numpy as np  # noqa: E402
import pytest  # noqa: E402

import orvane  # noqa: E402


def take_batches(camera, duration_us, enough_events):
    """Batches until at least enough_events arrived (the simulator streams in real time)."""
    batches, total = [], 0
    for batch in camera.batches(duration_us):
        batches.append(batch)
        total += len(batch)
        if total >= enough_events:
            break
    return batches


def test_cameras_lists_the_simulated_bus_and_unknown_serials_raise():
    assert {(c["serial"], c["product"]) for c in orvane.cameras()} == {("PYSIM1", "Kestrel"), ("PYSIM2", "Tandem")}
    with pytest.raises(orvane.Error, match="NOPE"):
        orvane.open_camera("NOPE")


def test_a_short_recording_from_a_camera_reads_back(tmp_path):
    path = str(tmp_path / "live.raw")
    with orvane.open_camera("PYSIM1") as camera:
        assert (camera.product, camera.width, camera.height) == ("Kestrel", 1280, 720)
        camera.start()
        with pytest.raises(FileNotFoundError):
            camera.record(str(tmp_path / "missing" / "x.raw"))
        camera.record(path)
        batches = take_batches(camera, 10_000, 200_000)
        camera.stop_recording()
        camera.stop()
        stats = camera.statistics
        assert stats["events"] >= sum(len(b) for b in batches)
        assert stats["recording_failure"] is None and stats["recording_writes"] > 0
        assert 0 < stats["recorded_bytes"] <= os.path.getsize(path)
        assert stats["dropped_bytes"] >= 0 and stats["dropped_buffers"] >= 0
        # A stopped camera ends an iteration instead of waiting for ever.
        assert list(camera.batches(10_000)) == []

    for batch in batches:
        assert batch.dtype == orvane.EVENT_DTYPE and len(batch) > 0
        assert batch["t"].max() - batch["t"].min() < 10_000 + 4096
    live = np.concatenate(batches)
    assert live["x"].max() < 1280 and live["y"].max() < 720 and set(np.unique(live["p"])) <= {0, 1}
    assert not os.path.exists(str(tmp_path / "missing"))

    f = orvane.RawFile(path)
    events = f.read()
    assert f.info["events"] == len(events) > 0
    assert set(np.unique(events["p"])) <= {0, 1} and events["x"].max() < 1280
    assert np.array_equal(np.concatenate(list(f.windows(5000))), events)


def test_the_fusion_camera_streams_its_events():
    with orvane.open_camera("PYSIM2") as camera:
        assert camera.product == "Tandem"
        camera.start()
        batches = take_batches(camera, 20_000, 50_000)
    assert sum(len(b) for b in batches) >= 50_000
