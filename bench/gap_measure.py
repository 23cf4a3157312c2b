#!/usr/bin/env python3
"""Measures what a listener heard in a recording of a sound server's monitor.

Reads raw signed 16-bit little-endian mono samples (as `parec --raw
--format=s16le --channels=1` writes them) and finds the silences inside the
sound: every run of quiet samples, longer than a tone's zero crossing, between
the first sound and the last. Between N files there are N - 1 handovers; a
handover without any silence counts as a gap of 0 ms.

    gap_measure.py RECORDING --files 9 --seconds 13.5 [--from BYTE] [--to BYTE] [--label NAME] [--where] [--levels]

Prints one line: the median and the largest gap, the number of silences found,
the sound heard against the files' length, and each silence in order (ms;
with --where, each followed by "@" and its start in seconds after the first
sound).
"""

import argparse
import array
import math
import statistics
import sys


def sound_runs(samples, threshold, min_gap):
    """Yields (start, end) sample indices of sound, split at silences of at
    least min_gap samples."""
    start = None
    quiet = 0
    for i, s in enumerate(samples):
        if -threshold <= s <= threshold:
            quiet += 1
            if start is not None and quiet == min_gap:
                yield start, i - min_gap + 1
                start = None
        else:
            if start is None:
                start = i
            quiet = 0
    if start is not None:
        yield start, len(samples) - quiet


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("recording")
    parser.add_argument("--rate", type=int, default=44100)
    parser.add_argument("--files", type=int, required=True)
    parser.add_argument("--seconds", type=float, required=True, help="the files' total length")
    parser.add_argument("--from", dest="start", type=int, default=0,
                        help="first byte of the recording that belongs to this player")
    parser.add_argument("--to", dest="end", type=int, default=None,
                        help="byte after the last one that belongs to this player")
    parser.add_argument("--label", default="player")
    parser.add_argument("--where", action="store_true",
                        help="tell where each silence starts, in seconds after the first sound")
    parser.add_argument("--levels", action="store_true",
                        help="also tell each file's level (dB under full scale, RMS), file by file from the first sound")
    parser.add_argument("--threshold", type=int, default=300,
                        help="largest sample value that counts as silence")
    parser.add_argument("--min-gap-ms", type=float, default=1.0,
                        help="shortest quiet run that counts as a silence")
    parser.add_argument("--apart-ms", type=float, default=None,
                        help="with --levels: the files are told apart by silences of at least this long (a "
                             "player that is not gapless), not by their length")
    args = parser.parse_args()

    samples = array.array("h")
    with open(args.recording, "rb") as f:
        f.seek(args.start - args.start % 2)
        data = f.read() if args.end is None else f.read(max(0, args.end - args.start))
    samples.frombytes(data[: len(data) - len(data) % 2])
    if sys.byteorder != "little":
        samples.byteswap()

    min_gap = max(1, round(args.min_gap_ms * args.rate / 1000))
    runs = list(sound_runs(samples, args.threshold, min_gap))
    if not runs:
        print(f"{args.label:<28} nothing heard")
        return 1
    ms = 1000.0 / args.rate
    gaps = [(b[0] - a[1]) * ms for a, b in zip(runs, runs[1:])]
    starts = [(a[1] - runs[0][0]) / args.rate for a in runs[:-1]]
    heard = sum(end - start for start, end in runs) / args.rate
    handovers = args.files - 1
    # Handovers without any silence are gaps of 0 ms; more silences than
    # handovers mean sound broke off inside a file as well.
    counted = sorted(gaps + [0.0] * max(0, handovers - len(gaps)), reverse=True)
    median = statistics.median(counted) if counted else 0.0
    largest = counted[0] if counted else 0.0
    print(f"{args.label:<28} median gap {median:6.1f} ms, max gap {largest:6.1f} ms, "
          f"{len(gaps)} silences for {handovers} handovers, "
          f"heard {heard:6.3f} s of {args.seconds:.3f} s; silences: "
          + (" ".join(f"{g:.0f}" + (f"@{t:.1f}s" if args.where else "") for g, t in zip(gaps, starts))
             or "none"))
    if args.levels:
        per_file = round(args.seconds / args.files * args.rate)
        if args.apart_ms is None:
            stretches = [(runs[0][0] + n * per_file, runs[0][0] + (n + 1) * per_file) for n in range(args.files)]
        else:
            apart = max(1, round(args.apart_ms * args.rate / 1000))
            # (a stretch too short for a file is the sound around a longer dropout)
            stretches = [r for r in sound_runs(samples, args.threshold, apart) if r[1] - r[0] >= 0.4 * per_file]
            stretches = stretches[: args.files]
        levels = []
        for start, end in stretches:
            # The middle half of each file's stretch, clear of the joins.
            part = samples[start + (end - start) // 4: start + 3 * (end - start) // 4]
            mean_square = sum(s * s for s in part) / max(1, len(part))
            levels.append(f"{10 * math.log10(max(mean_square, 1e-9) / 32768 ** 2):.1f}")
        print(f"{args.label:<28} levels dB: " + " ".join(levels))
    return 0


if __name__ == "__main__":
    sys.exit(main())
