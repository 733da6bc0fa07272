#!/usr/bin/env python3
"""The Dask example on two local worker processes beside the serial loop over the same folder, same
run; and a worker's peak memory while it works through a 1 GB recording.

    python3 bench/bench_dask_event_rates.py build/bin [--files 20] [--events 5000000] [--gb 1] [--work DIR]

Makes DIR/folder/ with FILES loops of the 1280x720 reference (EVENTS events each) and DIR/big.raw of
about GB gigabytes, with orvane_rawtool; their indexes are built before anything is timed. The two
runs of the folder alternate (serial, Dask, serial, Dask) so both see the same machine load; the
cluster is started and its workers have imported orvane before the Dask runs are timed. The peak
memory (VmHWM) of a fresh single worker is read before and after it computes the rates of big.raw.
"""
import argparse
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

REPO = pathlib.Path(__file__).resolve().parents[1]


def vm_hwm_mb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def warm_import():
    import orvane  # noqa: F401
    import dask_event_rates  # noqa: F401
    return True


def make(rawtool, source, out, *size):
    if not out.exists():
        subprocess.run([str(rawtool), "loop", str(source), str(out), *size], check=True, capture_output=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bin_dir", type=pathlib.Path)
    parser.add_argument("--source", type=pathlib.Path, default=REPO / "tests" / "data" / "eccodecs_evt3_trigger.raw")
    parser.add_argument("--files", type=int, default=20)
    parser.add_argument("--events", type=int, default=5_000_000)
    parser.add_argument("--gb", type=float, default=1.0)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--work", type=pathlib.Path, default=pathlib.Path(tempfile.gettempdir()) / "orvane_bench_dask")
    args = parser.parse_args()

    sys.path.insert(0, str(args.bin_dir.resolve().parent / "python"))
    sys.path.insert(0, str(REPO / "examples"))
    import dask_event_rates as example
    from dask.distributed import Client, LocalCluster

    rawtool = args.bin_dir / "orvane_rawtool"
    folder = args.work / "folder"
    folder.mkdir(parents=True, exist_ok=True)
    for i in range(args.files):
        make(rawtool, args.source, folder / f"loop{i:02d}.raw", "--events", str(args.events))
    big = args.work / "big.raw"
    make(rawtool, args.source, big, "--bytes", str(int(args.gb * (1 << 30))))
    paths = example.recordings(str(folder))  # builds the indexes
    example.recordings(str(big))
    events = args.files * args.events

    with LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        client.run(warm_import)
        serial, dask = [], []
        for _ in range(args.rounds):
            t0 = time.perf_counter()
            table_serial = example.run_serial(paths)
            serial.append(time.perf_counter() - t0)
            t0 = time.perf_counter()
            table_dask = example.run_dask(paths, client)
            dask.append(time.perf_counter() - t0)
        assert table_serial.equals(table_dask), "the Dask table differs from the serial one"

    s, d = statistics.median(serial), statistics.median(dask)
    print(f"folder: {args.files} recordings x {args.events / 1e6:.1f} M events of {args.source.name}")
    print(f"  serial loop        {s:7.2f} s  {events / s / 1e6:7.1f} M ev/s")
    print(f"  Dask, 2 workers    {d:7.2f} s  {events / d / 1e6:7.1f} M ev/s   speed-up {s / d:.2f}x (target >= 1.7)")

    with LocalCluster(n_workers=1, processes=True, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        client.run(warm_import)
        before = next(iter(client.run(vm_hwm_mb).values()))
        t0 = time.perf_counter()
        rows = len(client.submit(example.event_rates, str(big)).result())
        seconds = time.perf_counter() - t0
        after = next(iter(client.run(vm_hwm_mb).values()))
    print(f"worker on {big.name} ({big.stat().st_size / (1 << 30):.2f} GiB, {rows} windows, {seconds:.1f} s):")
    print(f"  peak memory {after:.0f} MB (target < 300), of which {before:.0f} MB before the task "
          "(interpreter, Dask, numpy, pandas, orvane)")


if __name__ == "__main__":
    main()
