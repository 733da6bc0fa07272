# Recordings through the Python module: the reference recordings' known values, reads by time,
# window and count that agree with each other, cut and export, and bad inputs.
import json
import os
import subprocess
import time

import numpy as np
import pytest

import orvane
from conftest import BIN

ECCODECS = "eccodecs_evt3_trigger.raw"
ECPY = "ecpy_test_events_1.raw"


def test_eccodecs_recording_gives_its_known_values(recording):
    f = orvane.RawFile(recording(ECCODECS))
    ev = f.read()
    assert ev.dtype == orvane.EVENT_DTYPE and ev.dtype.itemsize == 16
    assert len(ev) == 82469 == f.info["events"]
    assert np.count_nonzero(ev["p"] == 1) == 41439 and np.count_nonzero(ev["p"] == 0) == 41030
    assert int(ev["x"].sum()) == 42078718 and int(ev["y"].sum()) == 31656267
    assert tuple(ev[0]) == (354, 604, 1, 14224870)
    assert ev[-1]["t"] == 15476187
    tr = f.triggers()
    assert tr.dtype == orvane.TRIGGER_DTYPE
    assert list(tr["id"]) == [0, 0] and sorted(tr["p"]) == [0, 1]


def test_ecpy_recording_gives_its_known_values(recording):
    f = orvane.RawFile(recording(ECPY))
    assert (f.width, f.height) == (640, 480)
    ev = f.read()
    assert len(ev) == 343474
    # The polarity is exactly 0 or 1: the byte after it in Event2D must stay zero.
    assert np.count_nonzero(ev["p"] == 1) == 125183 and np.count_nonzero(ev["p"] == 0) == 218291
    assert tuple(ev[0]) == (479, 441, 0, 7139845)
    assert ev[-1]["t"] == 9218023
    tr = f.triggers()
    assert len(tr) == 4157 and set(tr["id"]) == {6}
    assert np.count_nonzero(tr["p"]) == 2079
    assert int(ev["t"].sum()) + int(tr["t"].sum()) == 2885601049874
    # Trigger edges by range split exactly as the whole.
    middle = 8_000_000
    parts = [f.triggers(end_us=middle), f.triggers(start_us=middle)]
    assert np.array_equal(np.concatenate(parts), tr)


@pytest.mark.parametrize("name", [ECCODECS, ECPY])
def test_info_matches_the_command_line_tool(recording, name):
    path = recording(name)
    info = orvane.RawFile(path).info
    cli = json.loads(subprocess.run([str(BIN / "orvane"), "info", path, "--json"], check=True,
                                    capture_output=True, text=True).stdout)
    assert info.keys() == cli.keys()
    assert info["index"] == "built" and cli["index"] == "reused"
    for key in info.keys() - {"index", "open_ms"}:
        assert info[key] == cli[key], key
    assert orvane.RawFile(path).info["index"] == "reused"


def test_windows_reads_and_counts_put_together_equal_one_read(recording):
    f = orvane.RawFile(recording(ECPY))
    start, end = f.info["start_us"], f.info["end_us"]
    whole = f.read()
    for duration in (997, 33_333, 10**12):
        windows = list(f.windows(duration))
        assert len(windows) == -(-(end - start + 1) // duration)
        assert np.array_equal(np.concatenate(windows), whole), duration

    # A range inside the recording: windows, one read and the slice of the whole agree.
    a, b = start + 123_457, start + 1_500_001
    inside = f.read(a, b - a)
    assert 0 < len(inside) < len(whole)
    assert np.array_equal(np.concatenate(list(f.windows(10_000, a, b))), inside)
    first = int(np.argmax(whole["t"] >= a))
    assert np.array_equal(whole[first:first + len(inside)], inside)

    # Other reads between windows do not disturb the iteration.
    it = f.windows(50_000, a, b)
    mixed = [next(it)]
    f.read(start, 1000)
    f.read_count(10, 5)
    mixed += list(it)
    assert np.array_equal(np.concatenate(mixed), inside)

    # By count: pieces continue where the last ended, and a start number reads from there.
    pieces = [f.read_count(100_000, 0)]
    while len(piece := f.read_count(77_777)) > 0:
        pieces.append(piece)
    assert np.array_equal(np.concatenate(pieces), whole)
    assert np.array_equal(f.read_count(5, 343_470), whole[-4:])
    assert len(f.read_count(10, len(whole))) == 0
    assert len(f.read(start, 0)) == 0


def test_cut_reads_back_as_the_range_and_export_writes_a_video(recording, tmp_path):
    f = orvane.RawFile(recording(ECPY))
    start = f.info["start_us"]
    a, b = start + 200_000, start + 700_000
    shares = []
    f.cut(a, b, str(tmp_path / "cut.raw"), progress=shares.append)
    assert shares and shares[-1] == 1.0 and shares == sorted(shares)
    cut = orvane.RawFile(str(tmp_path / "cut.raw")).read()
    source = f.read(a, b - a + 1)
    assert len(cut) > 0 and np.array_equal(cut, source)

    shares.clear()
    f.export_video(a, b, str(tmp_path / "part.mp4"), shares.append)
    assert shares[-1] == 1.0
    with open(tmp_path / "part.mp4", "rb") as video:
        assert video.read(12)[4:8] == b"ftyp"


def test_bad_recordings_raise_and_leave_nothing_beside_them(tmp_path):
    with pytest.raises(FileNotFoundError):
        orvane.RawFile(str(tmp_path / "missing.raw"))
    with pytest.raises(IsADirectoryError):
        orvane.RawFile(str(tmp_path))

    header = "% evt 3.0\n% format EVT3;height=720;width=1280\n% end\n"
    cases = {
        "evt2.raw": "% evt 2.0\n% format EVT2;height=720;width=1280\n% end\n" + "\0" * 64,
        "empty.raw": header,
        "geometry.raw": "% evt 3.0\n% geometry axb\n% end\n" + "\0" * 64,
        "garbage.raw": header + "\xff" * 64,
    }
    for name, content in cases.items():
        path = tmp_path / name
        path.write_bytes(content.encode("latin-1"))
        before = sorted(os.listdir(tmp_path))
        with pytest.raises(orvane.FormatError) as raised:
            orvane.RawFile(str(path))
        assert isinstance(raised.value, ValueError) and name in str(raised.value)
        assert sorted(os.listdir(tmp_path)) == before, name

    # An encoding we do not read says which it is.
    path = tmp_path / "evt4.raw"
    path.write_bytes(b"% evt 4.0\n% end\n" + b"\0" * 64)
    with pytest.raises(orvane.UnsupportedFormatError) as raised:
        orvane.RawFile(str(path))
    assert str(raised.value) == f"'{path}' is an EVT 4.0 recording; Orvane reads EVT 2.0, 2.1 and 3.0"
    assert isinstance(raised.value, orvane.FormatError)

    path = tmp_path / "locked.raw"
    path.write_bytes(b"% evt 3.0\n% end\n")
    path.chmod(0)
    if not os.access(path, os.R_OK):  # root reads anything
        with pytest.raises(PermissionError):
            orvane.RawFile(str(path))


@pytest.mark.parametrize("encoding", ["evt2", "evt21"])
def test_evt2_recordings_read_cut_and_export_as_evt3_does(recording, tmp_path, encoding):
    source = str(tmp_path / f"{encoding}.raw")
    subprocess.run([str(BIN / "orvane_rawtool"), "loop", recording(ECPY), source, "--events", "400000",
                    "--format", encoding], check=True, capture_output=True)
    f = orvane.RawFile(source)
    assert f.info["format"] == {"evt2": "EVT 2.0", "evt21": "EVT 2.1"}[encoding]
    assert f.info["off_sensor_events"] == 0
    evt3 = orvane.RawFile(recording(ECPY)).read()
    events = f.read()
    # The first copy of the loop is the reference recording's events, re-encoded.
    assert np.array_equal(events[: len(evt3)], evt3)
    start = f.info["start_us"]
    a, b = start + 100_000, start + 600_000
    f.cut(a, b, str(tmp_path / "cut.raw"))
    cut = orvane.RawFile(str(tmp_path / "cut.raw"))
    assert cut.info["format"] == f.info["format"]
    assert np.array_equal(cut.read(), f.read(a, b - a))
    f.export_video(a, b, str(tmp_path / "cut.mp4"))
    assert os.path.getsize(tmp_path / "cut.mp4") > 0


def test_bad_ranges_and_outputs_raise_and_write_nothing(recording, tmp_path):
    source = recording(ECPY)
    f = orvane.RawFile(source)
    start, end = f.info["start_us"], f.info["end_us"]
    for args in [(start - 1,), (end + 1,), (start, -1)]:
        with pytest.raises(ValueError):
            f.read(*args)
    with pytest.raises(ValueError):
        f.windows(0)
    with pytest.raises(ValueError):
        f.windows(1000, start + 10, start + 5)
    with pytest.raises(ValueError):
        f.read_count(-1)
    with pytest.raises(ValueError):
        f.read_count(1, len(f.read()) + 1)

    out = tmp_path / "out"
    out.mkdir()
    for a, b in [(start - 1, end), (start, end + 1), (start + 5, start + 5), (start + 9, start + 1)]:
        with pytest.raises(ValueError):
            f.cut(a, b, str(out / "cut.raw"))
        with pytest.raises(ValueError):
            f.export_video(a, b, str(out / "cut.mp4"))
    with pytest.raises(FileNotFoundError):
        f.cut(start, end, str(tmp_path / "no" / "cut.raw"))

    # Onto the source itself: refused with the driver's reason, the source unchanged.
    size = os.path.getsize(source)
    with pytest.raises(orvane.Error) as raised:
        f.cut(start, end, source)
    assert "failed: " in str(raised.value)
    assert os.path.getsize(source) == size and len(orvane.RawFile(source).read()) == 343474

    # A progress callback that raises stops the caller: its exception, and no output.
    def stop(share):
        raise KeyError("enough")

    with pytest.raises(KeyError):
        f.cut(start, end, str(out / "cut.raw"), progress=stop)
    with pytest.raises(TypeError):
        f.cut(start, end, str(out / "cut.raw"), progress=3)
    assert os.listdir(out) == []

    f.close()
    with pytest.raises(orvane.Error):
        f.read()


def test_ctrl_c_stops_cut_and_export_and_leaves_no_file(recording, tmp_path):
    # Ctrl-C arriving while the job runs: the job stops at its next look (every 100 ms), raises
    # KeyboardInterrupt and removes its part file, with or without a progress callback.
    import _thread
    import threading

    f = orvane.RawFile(recording(ECPY))
    start, end = f.info["start_us"], f.info["end_us"]
    out = tmp_path / "out"
    out.mkdir()

    def interrupt_once(calls=[]):
        if not calls:
            calls.append(1)
            _thread.interrupt_main()

    with pytest.raises(KeyboardInterrupt):
        f.export_video(start, end, str(out / "v.mp4"), progress=lambda share: interrupt_once())
    timer = threading.Timer(0.05, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        f.export_video(start, end, str(out / "w.mp4"))
        time.sleep(5)  # finished before the interrupt: it lands here instead
    timer.join()
    assert os.listdir(out) == []


def test_paths_with_a_nul_are_refused(recording, tmp_path):
    path = recording(ECPY)
    with pytest.raises(ValueError):
        orvane.RawFile(path + "\0x")
    f = orvane.RawFile(path)
    with pytest.raises(ValueError):
        f.cut(f.info["start_us"], f.info["end_us"], str(tmp_path / "cut.raw") + "\0.raw")
    assert not any(name.startswith("cut") for name in os.listdir(tmp_path))


def test_a_recording_cut_short_while_open_raises(recording, tmp_path):
    path = recording(ECPY)
    f = orvane.RawFile(path)
    os.truncate(path, os.path.getsize(path) // 2)
    with pytest.raises(orvane.Error, match="shrank while open"):
        f.read()


def test_ctrl_c_stops_a_read_of_a_whole_large_recording(recording, tmp_path):
    import _thread
    import threading

    big = tmp_path / "big.raw"
    subprocess.run([str(BIN / "orvane_rawtool"), "loop", recording(ECPY), str(big), "--events", "30000000"],
                   check=True, capture_output=True)
    f = orvane.RawFile(str(big))
    timer = threading.Timer(0.05, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        f.read()
        time.sleep(5)  # finished before the interrupt: it lands here instead
    timer.join()
    assert len(f.read_count(1000, 0)) == 1000  # the file reads on afterwards


def test_threads_reading_one_recording_each_get_their_events(recording, tmp_path):
    # Short windows keep the GIL while long reads drop it and look at signals between pieces with the
    # file's lock held: threads mixing both on one RawFile must neither deadlock nor mix their events.
    import concurrent.futures

    big = tmp_path / "big.raw"
    subprocess.run([str(BIN / "orvane_rawtool"), "loop", recording(ECPY), str(big), "--events", "9000000"],
                   check=True, capture_output=True)
    f = orvane.RawFile(str(big))
    whole = f.read()
    start = f.info["start_us"]

    def windows():
        return np.concatenate(list(f.windows(5_000)))

    def short_reads():
        return np.concatenate([f.read(start + i * 2_000, 2_000) for i in range(300)])

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        jobs = [pool.submit(f.read), pool.submit(windows), pool.submit(short_reads), pool.submit(f.read)]
        results = [job.result(timeout=300) for job in jobs]
    assert np.array_equal(results[0], whole) and np.array_equal(results[3], whole)
    assert np.array_equal(results[1], whole)
    assert np.array_equal(results[2], whole[: len(results[2])])
    assert len(results[2]) > 0


def _events_and_index_in_a_worker(rec):
    # Runs in a fresh interpreter: the RawFile arrived pickled.
    return rec.read(), rec.info["index"]


def test_a_pickled_recording_reopens_in_another_process_on_its_index(recording):
    import concurrent.futures
    import multiprocessing
    import pickle

    path = recording("eccodecs_evt3_trigger.raw")
    with orvane.RawFile(path) as rec:
        expected = rec.read()
        index = os.path.splitext(path)[0] + ".ovmark.tmp"
        stamp = os.stat(index).st_mtime_ns
        with concurrent.futures.ProcessPoolExecutor(1, mp_context=multiprocessing.get_context("spawn")) as pool:
            events, index_state = pool.submit(_events_and_index_in_a_worker, rec).result(timeout=120)
        np.testing.assert_array_equal(events, expected)
        assert index_state == "reused"
        assert os.stat(index).st_mtime_ns == stamp
        # Unpickling opens the file anew: reading from a copy leaves the original's position alone.
        copy = pickle.loads(pickle.dumps(rec))
        assert copy.path == rec.path and len(copy.read_count(10)) == 10
        assert len(rec.read()) == len(expected)
    with pytest.raises(ValueError):
        orvane.RawFile.__new__(orvane.RawFile).__setstate__(("a", "b"))


def test_scan_lists_every_recording_under_a_folder_with_its_info_or_its_reason(recording, tmp_path):
    import shutil

    good = recording("eccodecs_evt3_trigger.raw")
    nested = tmp_path / "day2" / "run1"
    nested.mkdir(parents=True)
    shutil.copyfile(recording("ecpy_test_events_1.raw"), nested / "LOUD.RAW")
    with open(good, "rb") as f:
        data = f.read()
    header = data[: data.index(b"% end\n") + len(b"% end\n")]
    (tmp_path / "day2" / "empty.raw").write_bytes(header)
    (tmp_path / "broken.raw").write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 64)
    (tmp_path / "notes.txt").write_text("not a recording")

    entries = orvane.scan(str(tmp_path))
    by_name = {os.path.basename(e["path"]): e for e in entries}
    # The fixture's copy of the second recording sits in the folder too; notes.txt is no recording.
    assert sorted(by_name) == ["LOUD.RAW", "broken.raw", "eccodecs_evt3_trigger.raw", "ecpy_test_events_1.raw", "empty.raw"]
    assert [e["path"] for e in entries] == sorted(e["path"] for e in entries)
    with orvane.RawFile(good) as rec:
        expected = rec.info
    ok = by_name["eccodecs_evt3_trigger.raw"]
    assert ok["error"] is None and ok["events"] == expected["events"] and ok["end_us"] == expected["end_us"]
    assert by_name["LOUD.RAW"]["error"] is None and by_name["LOUD.RAW"]["events"] > 0
    assert by_name["empty.raw"]["error_type"] == "FormatError" and "no events" in by_name["empty.raw"]["error"]
    assert by_name["broken.raw"]["error_type"] in ("FormatError", "UnsupportedFormatError")
    assert "events" not in by_name["broken.raw"]

    import pandas as pd

    table = pd.DataFrame(entries)
    assert len(table) == len(entries) and table["error"].isna().sum() == 3

    assert len(orvane.scan(good)) == 1
    with pytest.raises(FileNotFoundError):
        orvane.scan(str(tmp_path / "missing"))


def test_progress_may_be_a_tqdm_bar_of_its_own_or_the_callers(recording, tmp_path, capsys):
    import tqdm

    with orvane.RawFile(recording("eccodecs_evt3_trigger.raw")) as rec:
        start, end = rec.info["start_us"], rec.info["end_us"]
        rec.cut(start, end, str(tmp_path / "all.raw"), progress=True)
        assert "cut: 100%" in capsys.readouterr().err

        with tqdm.tqdm(total=1000) as bar:
            rec.export_video(start, start + 200_000, str(tmp_path / "a.mp4"), progress=bar)
            assert bar.n == pytest.approx(1000)

        # A failing job still closes the bar it made, and the job's own error is what is raised.
        with pytest.raises(ValueError):
            rec.cut(start, end + 1, str(tmp_path / "late.raw"), progress=True)
        with pytest.raises(TypeError):
            rec.cut(start, end, str(tmp_path / "b.raw"), progress="yes")
        assert not (tmp_path / "b.raw").exists()
