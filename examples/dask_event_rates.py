#!/usr/bin/env python3
"""Event rate over time and ON/OFF share of every recording under a folder, on a Dask cluster.

One task per recording: a worker opens it (reusing the index beside it) and reads it 100 ms window
by window, so its memory holds one window, never the file. The rows of all recordings are gathered
into one pandas DataFrame and written to CSV.

    python3 examples/dask_event_rates.py RECORDINGS/ rates.csv                 # 2 local worker processes
    python3 examples/dask_event_rates.py RECORDINGS/ rates.csv --scheduler tcp://HOST:8786
    python3 examples/dask_event_rates.py RECORDINGS/ rates.csv --serial        # a plain loop, no Dask
"""
import argparse
import sys

import numpy as np
import pandas as pd

import orvane

BIN_US = 100_000
COLUMNS = ["recording", "bin_start_us", "events", "rate_eps", "on", "off", "on_share"]


def event_rates(path, bin_us=BIN_US):
    """One row per bin_us window of the recording: events, rate, ON and OFF counts, ON share."""
    rows = []
    with orvane.RawFile(path) as rec:
        start = rec.info["start_us"]
        for i, window in enumerate(rec.windows(bin_us)):
            events = len(window)
            on = int(np.count_nonzero(window["p"]))
            rows.append((path, start + i * bin_us, events, events * 1_000_000 / bin_us, on, events - on,
                         on / events if events else float("nan")))
    return pd.DataFrame(rows, columns=COLUMNS)


def recordings(folder):
    """The readable recordings under folder; the others are reported and left out."""
    paths = []
    for entry in orvane.scan(folder):
        if entry["error"] is None:
            paths.append(entry["path"])
        else:
            print(f"skipped {entry['path']}: {entry['error']}", file=sys.stderr)
    return paths


def gather(frames):
    if not frames:
        return pd.DataFrame(columns=COLUMNS)
    table = pd.concat(frames, ignore_index=True)
    return table.sort_values(["recording", "bin_start_us"], ignore_index=True)


def run_serial(paths):
    return gather([event_rates(p) for p in paths])


def run_dask(paths, client):
    from dask.distributed import wait

    futures = [client.submit(event_rates, p, key=f"event_rates-{i}") for i, p in enumerate(paths)]
    wait(futures)
    return gather(client.gather(futures))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("folder", help="folder of recordings (searched recursively) or one recording")
    parser.add_argument("output", help="CSV file to write")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler (tcp://HOST:8786)")
    parser.add_argument("--workers", type=int, default=2, help="local worker processes (default 2)")
    parser.add_argument("--serial", action="store_true", help="run in this process, without Dask")
    args = parser.parse_args(argv)

    paths = recordings(args.folder)
    if args.serial:
        table = run_serial(paths)
    else:
        from dask.distributed import Client, LocalCluster

        if args.scheduler:
            with Client(args.scheduler) as client:
                table = run_dask(paths, client)
        else:
            # One thread a worker: the decoder runs without the GIL, so processes are what scale.
            with LocalCluster(n_workers=args.workers, processes=True, threads_per_worker=1,
                              dashboard_address=None) as cluster, Client(cluster) as client:
                table = run_dask(paths, client)
    table.to_csv(args.output, index=False)
    print(f"{len(paths)} recordings, {len(table)} rows of {BIN_US // 1000} ms -> {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
