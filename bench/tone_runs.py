"""The tones a recording holds, told by their pitch, 50 ms at a time.

The benches play sine tones of a few hundred hertz, each file its own, and
recognise them in what the private sound server recorded (16-bit samples).
"""
import array

LOUD = 300  # the least a sample of a tone reaches; below is silence


def samples_of(data):
    samples = array.array("h")
    samples.frombytes(data[: len(data) // 2 * 2])
    return samples


def pitch(part):
    """The tone of a 50 ms window to the nearest 100 Hz; 0 for silence."""
    if not part or max(abs(s) for s in part) < LOUD:
        return 0
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    return round(crossings * 20 / 2 / 100) * 100


def tone_runs(samples, rate):
    """[hz, windows] for each tone and silence in turn. A sound server that
    falls behind (Wine's, on a busy machine) breaks a tone into pieces with
    clicks between: pieces shorter than 0.15 s are left out, and what is left
    of one tone is one run again."""
    window = rate // 20
    runs = []
    for i in range(0, len(samples) - window, window):
        hz = pitch(samples[i : i + window])
        if runs and runs[-1][0] == hz:
            runs[-1][1] += 1
        else:
            runs.append([hz, 1])
    merged = []
    for hz, n in runs:
        if n < 3:
            continue
        if merged and merged[-1][0] == hz:
            merged[-1][1] += n
        else:
            merged.append([hz, n])
    return merged
