# RawFile.export: the kind the path's extension names, its options as keyword arguments, and no
# file left by a bad option, a failure or Ctrl-C.
import _thread
import errno
import os
import resource
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import orvane

ECCODECS = "eccodecs_evt3_trigger.raw"
ECPY = "ecpy_test_events_1.raw"
KINDS = [".raw", ".csv", ".h5", ".mp4"]


@pytest.mark.parametrize("ext", KINDS)
def test_ctrl_c_during_an_export_leaves_no_file(recording, tmp_path, ext):
    f = orvane.RawFile(recording(ECPY))
    out = tmp_path / "out"
    out.mkdir()
    calls = []

    def interrupt_once(share):
        calls.append(share)
        if len(calls) == 1:
            _thread.interrupt_main()

    with pytest.raises(KeyboardInterrupt):
        f.export(str(out / ("x" + ext)), progress=interrupt_once)
    assert os.listdir(out) == []
    # The file stays usable: the same export then completes, ending its progress at 1.
    shares = []
    f.export(str(out / ("x" + ext)), progress=shares.append)
    assert shares[-1] == 1.0 and all(0 <= s <= 1 for s in shares)
    assert os.listdir(out) == ["x" + ext] and os.path.getsize(out / ("x" + ext)) > 0


def test_bad_kinds_options_and_ranges_raise_and_write_nothing(recording, tmp_path):
    f = orvane.RawFile(recording(ECPY))
    start, end = f.info["start_us"], f.info["end_us"]
    out = tmp_path / "out"
    out.mkdir()
    with pytest.raises(ValueError, match=r"\.h5"):
        f.export(str(out / "x.txt"))
    for name, options in [("x.mp4", {"fps": 0}), ("x.mp4", {"fps": "30fps"}), ("x.mp4", {"speed": 1000}),
                          ("x.mp4", {"frames": 3}), ("x.csv", {"fps": 30}), ("x.h5", {"speed": 2}),
                          ("x.raw", {"fps": 30}), ("x.h5", {"compression": "zlib"}), ("x.csv", {"compression": "none"})]:
        with pytest.raises(ValueError):
            f.export(str(out / name), **options)
    with pytest.raises(TypeError):
        f.export(str(out / "x.mp4"), fps=[30])
    with pytest.raises(TypeError):
        f.export(str(out / "x.mp4"), fps=True)
    for a, b in [(start - 1, None), (None, end + 1), (start + 5, start + 5), (start + 9, start + 1)]:
        with pytest.raises(ValueError):
            f.export(str(out / "x.h5"), a, b)
    with pytest.raises(FileNotFoundError):
        f.export(str(tmp_path / "no" / "x.h5"))
    with pytest.raises(ValueError):
        f.export(str(out / "x.h5") + "\0.h5")
    assert os.listdir(out) == []
    # None leaves an option at its default; numbers may come as strings.
    f.export(str(out / "x.mp4"), start, start + 200_000, fps=None, speed="0.5")
    assert os.listdir(out) == ["x.mp4"]


def test_the_look_of_a_video_is_set_by_keywords_and_bad_looks_write_nothing(recording, tmp_path):
    f = orvane.RawFile(recording(ECCODECS))
    start = f.info["start_us"] + 100_000
    out = tmp_path / "out"
    out.mkdir()
    for options in [{"mode": "trails"}, {"theme": "blue"}, {"accumulation_us": 0}, {"accumulation_us": 2.5},
                    {"time_constant_us": 1}, {"mode": 1}]:
        with pytest.raises(ValueError):
            f.export(str(out / "x.mp4"), start, start + 300_000, **options)
    with pytest.raises(ValueError, match="has no option 'theme'"):
        f.export(str(out / "x.csv"), start, start + 300_000, theme="dark")
    assert os.listdir(out) == []
    sizes = {}
    for theme in ["dark", "light"]:
        path = out / (theme + ".mp4")
        f.export(str(path), start, start + 300_000, fps=10, accumulation_us=50_000, mode="time-surface",
                 theme=theme, time_constant_us=30_000)
        sizes[theme] = os.path.getsize(path)
    assert all(s > 0 for s in sizes.values())
    assert sorted(os.listdir(out)) == ["dark.mp4", "light.mp4"]


def test_an_export_into_a_read_only_folder_fails_with_the_reason_and_leaves_nothing(recording, tmp_path):
    f = orvane.RawFile(recording(ECCODECS))
    out = tmp_path / "ro"
    out.mkdir()
    out.chmod(0o500)
    try:
        if os.access(out, os.W_OK):
            pytest.skip("root writes anywhere")
        for ext in KINDS:
            with pytest.raises(PermissionError):
                f.export(str(out / ("x" + ext)))
        assert os.listdir(out) == []
    finally:
        out.chmod(0o700)


def ranges_of(f):
    """The whole recording (defaults), and a stretch in its middle."""
    start, end = f.info["start_us"], f.info["end_us"]
    third = (end - start) // 3
    return [(None, None), (start + third, end - third)]


def expected_of(f, a, b):
    start = f.info["start_us"] if a is None else a
    events = f.read(start) if b is None else f.read(start, b - start)
    triggers = f.triggers(start) if b is None else f.triggers(start, b)
    return start, events, triggers


@pytest.mark.parametrize("compression", [None, "deflate", "none"])
@pytest.mark.parametrize("name", [ECCODECS, ECPY])
def test_hdf5_reads_back_as_the_events_and_triggers_of_the_range(recording, tmp_path, name, compression):
    h5py = pytest.importorskip("h5py")
    f = orvane.RawFile(recording(name))
    for i, (a, b) in enumerate(ranges_of(f)):
        out = str(tmp_path / f"x{i}.hdf5")
        f.export(out, a, b, compression=compression)
        start, events, triggers = expected_of(f, a, b)
        assert len(events) > 0
        with h5py.File(out, "r") as h:
            ev = h["events"]
            filters = {"gzip", "shuffle"} if compression != "none" else set()
            for group in ["events", "triggers"]:
                for dataset in h[group].values():
                    assert {k for k in ["gzip", "shuffle"] if dataset.compression == k or
                            (k == "shuffle" and dataset.shuffle)} == filters, dataset.name
            assert (ev["x"].dtype, ev["y"].dtype, ev["p"].dtype, ev["t"].dtype) == (
                np.uint16, np.uint16, np.uint8, np.int64)
            for field in "xypt":
                assert np.array_equal(ev[field][:], events[field]), field
            # Entry k: the first event, in stream order, at or past start + k ms; every millisecond
            # of the range has one.
            t = ev["t"][:]
            ms = ev["ms_to_idx"][:]
            end = f.info["end_us"] + 1 if b is None else b
            assert len(ms) == -(-(end - start) // 1000)
            reached = np.maximum.accumulate(t)
            assert np.array_equal(ms, np.searchsorted(reached, start + 1000 * np.arange(len(ms)), "left"))
            tr = h["triggers"]
            for field in ["t", "id", "p"]:
                assert np.array_equal(tr[field][:], triggers[field]), field
            if name == ECCODECS and a is None:
                assert len(tr["t"]) == 2  # the recording's two edges
            assert (h.attrs["width"], h.attrs["height"]) == (f.width, f.height)
            assert h.attrs["start_us"] == start
            assert h.attrs["end_us"] == (f.info["end_us"] if b is None else b)


@pytest.mark.parametrize("name", [ECCODECS, ECPY])
def test_csv_reads_back_as_the_events_of_the_range(recording, tmp_path, name):
    f = orvane.RawFile(recording(name))
    for i, (a, b) in enumerate(ranges_of(f)):
        out = tmp_path / f"x{i}.csv"
        f.export(str(out), a, b)
        _, events, _ = expected_of(f, a, b)
        with open(out) as text:
            assert text.readline() == "x,y,p,t\n"
        table = np.loadtxt(out, delimiter=",", skiprows=1, dtype=np.int64, ndmin=2)
        assert table.shape == (len(events), 4)
        for column, field in enumerate("xypt"):
            assert np.array_equal(table[:, column], events[field]), field


@pytest.mark.parametrize("ext", [".raw", ".csv", ".mp4"])
def test_an_output_through_a_file_or_in_a_missing_folder_raises_the_oserror_and_leaves_nothing(
        recording, tmp_path, ext):
    f = orvane.RawFile(recording(ECCODECS))
    (tmp_path / "afile").write_text("x")
    with pytest.raises(NotADirectoryError, match="Not a directory"):
        f.export(str(tmp_path / "afile" / ("x" + ext)))
    with pytest.raises(FileNotFoundError, match="No such"):
        f.export(str(tmp_path / "missing" / ("x" + ext)))
    assert sorted(os.listdir(tmp_path)) == sorted(["afile", ECCODECS, ECCODECS.replace(".raw", ".ovmark.tmp")])


@pytest.mark.parametrize("ext", [".raw", ".csv", ".mp4"])
def test_a_file_size_limit_is_a_failure_with_the_reason_not_a_killed_interpreter(recording, tmp_path, ext):
    source = recording(ECCODECS)
    orvane.RawFile(source).close()  # the index is written before the limit
    out = tmp_path / ("x" + ext)
    script = f"""
import resource, orvane
resource.setrlimit(resource.RLIMIT_FSIZE, (16384, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))
try:
    orvane.RawFile({source!r}).export({str(out)!r})
except orvane.Error as e:
    print("refused:", e)
"""
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    assert "refused:" in run.stdout and "File too large" in run.stdout, run.stdout
    assert not out.exists()
    assert [n for n in os.listdir(tmp_path) if ".part" in n] == []


def test_an_hdf5_export_past_a_file_size_limit_fails_with_the_reason_and_leaves_nothing(recording, tmp_path):
    """A refused write (EFBIG here, as ENOSPC on a full disk) raises an OSError naming the output,
    leaves no file, and neither this export module nor h5py, which shares the HDF5 library, is
    harmed: the same export then succeeds and reads back."""
    h5py = pytest.importorskip("h5py")
    f = orvane.RawFile(recording(ECPY))
    out = tmp_path / "out"
    out.mkdir()
    soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
    previous = signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    try:
        for limit in [4096, 200_000]:
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, hard))
            try:
                with pytest.raises(OSError) as raised:
                    f.export(str(out / "x.h5"))
            finally:
                resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
            assert raised.value.errno == errno.EFBIG
            assert isinstance(raised.value, orvane.WriteError) and isinstance(raised.value, orvane.Error)
            assert raised.value.filename == str(out / "x.h5")
            assert os.listdir(out) == []
    finally:
        signal.signal(signal.SIGXFSZ, previous)
    f.export(str(out / "x.h5"))
    with h5py.File(out / "x.h5", "r") as h:
        assert np.array_equal(h["events"]["t"][:], f.read(f.info["start_us"])["t"])


def test_a_process_whose_hdf5_export_failed_exits_cleanly(recording, tmp_path):
    """The library closes what is left open when the process exits; a file left half closed by a
    failed write crashed it there. The child fails an export, then exits normally."""
    child = textwrap.dedent(f"""
        import resource, signal, orvane
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        f = orvane.RawFile({recording(ECPY)!r})
        resource.setrlimit(resource.RLIMIT_FSIZE, (100_000, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))
        try:
            f.export({str(tmp_path / "x.h5")!r})
        except OSError as e:
            print("failed:", e.errno)
    """)
    done = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == f"failed: {errno.EFBIG}"
    assert "HDF5" not in done.stderr
    assert not [n for n in os.listdir(tmp_path) if n.startswith("x.h5")]
