#!/usr/bin/env python3
"""RawFile.read and RawFile.windows(1 s) into numpy beside `orvane bench decode` on the same looped
recording, same run.

    python3 bench/bench_python_read.py build/bin [--source RAW] [--events N] [--repeat R] [--work DIR]

Makes DIR/loop.raw (N events, default 50 M) from SOURCE with orvane_rawtool, opens it once (the index
build is not timed), then alternates the two measurements R times so both see the same machine load,
and prints their medians. bench decode decodes the data from memory into a buffer that stays in the
cache; RawFile.read reads the file (page cache) and hands back one array of every event, so it also
pays for writing them all to memory.
"""
import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bin_dir", type=pathlib.Path)
    parser.add_argument("--source", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parents[1] / "tests" / "data" / "ecpy_test_events_1.raw")
    parser.add_argument("--events", type=int, default=50_000_000)
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--work", type=pathlib.Path, default=pathlib.Path(tempfile.gettempdir()))
    args = parser.parse_args()

    sys.path.insert(0, str(args.bin_dir.resolve().parent / "python"))
    import orvane

    loop = args.work / "orvane_bench_loop.raw"
    for stale in (loop, loop.with_suffix(".ovmark.tmp")):
        if stale.exists():
            stale.unlink()
    subprocess.run([str(args.bin_dir / "orvane_rawtool"), "loop", str(args.source), str(loop), "--events",
                    str(args.events)], check=True)
    t0 = time.perf_counter()
    rec = orvane.RawFile(str(loop))
    print(f"opened {loop}: {rec.info['events']} events, {rec.info['bytes'] / 1e6:.0f} MB, index built in "
          f"{time.perf_counter() - t0:.2f} s")

    decode, read, windows = [], [], []
    for r in range(args.repeat):
        out = subprocess.run([str(args.bin_dir / "orvane"), "bench", "decode", str(loop), "--repeat", "1", "--json"],
                             check=True, capture_output=True, text=True).stdout
        decode.append(json.loads(out)["mev_per_s"])
        t0 = time.perf_counter()
        events = rec.read()
        seconds = time.perf_counter() - t0
        assert len(events) == rec.info["events"]
        read.append(len(events) / seconds / 1e6)
        del events
        t0 = time.perf_counter()
        count = sum(len(w) for w in rec.windows(1_000_000))
        seconds = time.perf_counter() - t0
        assert count == rec.info["events"]
        windows.append(count / seconds / 1e6)
        print(f"  round {r + 1}: bench decode {decode[-1]:.1f}, RawFile.read {read[-1]:.1f}, "
              f"RawFile.windows(1 s) {windows[-1]:.1f} M events/s")

    # On a shared machine the best round is the one least disturbed by other work.
    d, rd, wd = statistics.median(decode), statistics.median(read), statistics.median(windows)
    print(f"orvane bench decode  {d:.1f} M events/s median, {max(decode):.1f} best (of {args.repeat})")
    print(f"RawFile.read         {rd:.1f} M events/s median, {max(read[1:] or read):.1f} best "
          f"(first read {read[0]:.1f}, into fresh memory)")
    print(f"RawFile.windows(1 s) {wd:.1f} M events/s median, {max(windows):.1f} best")
    print(f"ratio read           {rd / d:.2f} of the medians, {max(read[1:] or read) / max(decode):.2f} of the best")
    print(f"ratio windows        {wd / d:.2f} of the medians, {max(windows) / max(decode):.2f} of the best")
    rec.close()
    loop.unlink()
    loop.with_suffix(".ovmark.tmp").unlink()
    return 0


if __name__ == "__main__":
    sys.exit(main())
