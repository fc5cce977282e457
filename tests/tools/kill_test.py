#!/usr/bin/env python3
"""Recordings killed with SIGKILL at random moments: every file must be read by kelvane info,
sox and ffprobe, and hold all the audio recorded before the kill but at most one capture buffer
(BufferSize) and one engine tick.

    kill_test.py --bin BUILD/bin [--count N] [--longest SECONDS] [--seed S] [--keep DIR]

Runs on the virtual sound card with the real clock. Exit status 0 when every file passes, 1
when one does not, 77 when sox or ffprobe is missing (the test is skipped).
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

FORMATS = [  # (format name, or None for the default, file extension)
    (None, "wav"),
    ("pcm:44100:2:16", "wav"),
    ("ima-adpcm:22050:1", "wav"),
    ("mp3:44100:2:128", "mp3"),
]
BUFFER_S = 2.0  # BufferSize's default
TICK_S = 0.1  # the engine timer after Record
# The kill is timed from the moment kelvane says it is recording, which comes a little before
# capture starts; the difference is this program's, not the recording's.
SLACK_S = 0.05
# An MP3 encoder keeps up to two frames (of 1152 samples) of what it was given until more
# comes; a killed recording loses them too.
ENCODER_HOLD_S = 2 * 1152 / 44100.0


def duration(command):
    out = subprocess.run(command, capture_output=True, text=True)
    if out.returncode != 0:
        return None, out.stdout + out.stderr
    return out.stdout, ""


def kelvane_duration(kelvane, path):
    text, error = duration([kelvane, "info", path])
    if text is None:
        return None, error
    match = re.search(r"Duration:\s+([0-9.]+) s", text)
    return (float(match.group(1)), "") if match else (None, text)


def sox_duration(path):
    text, error = duration(["sox", "--i", "-D", path])
    return (float(text), "") if text else (None, error)


def ffprobe_duration(path):
    text, error = duration(["ffprobe", "-v", "error", "-show_entries", "format=duration",
                            "-of", "csv=p=0", path])
    if text is None:
        return None, error
    # A WAV file without audio has no duration to show, but is read all the same.
    return (0.0 if text.strip() == "N/A" else float(text)), ""


def one_kill(kelvane, folder, index, fmt, ext, moment):
    path = os.path.join(folder, "kill%03d.%s" % (index, ext))
    command = [kelvane, "record", path] + (["--format", fmt] if fmt else [])
    env = dict(os.environ, KELVANE_AUDIO="virtual", KELVANE_VIRTUAL_INPUT="sine:440:0.5")
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    first = child.stdout.readline()
    started = time.monotonic()
    if not first.startswith(b"Recording "):
        child.kill()
        child.wait()
        return path, None, "did not start: %r" % first
    time.sleep(max(0.0, moment - (time.monotonic() - started)))
    elapsed = time.monotonic() - started
    child.send_signal(signal.SIGKILL)
    child.wait()
    child.stdout.close()
    return path, elapsed, ""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--count", type=int, default=100)
    parser.add_argument("--shortest", type=float, default=0.3)
    parser.add_argument("--longest", type=float, default=30.0)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--keep", default=None, help="keep the files in this folder")
    args = parser.parse_args()
    for tool in ("sox", "ffprobe"):
        if shutil.which(tool) is None:
            print("kill_test: %s is not installed; skipped" % tool)
            return 77
    kelvane = os.path.join(args.bin, "kelvane")
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    folder = args.keep or tempfile.mkdtemp(prefix="quillon-kill-")
    os.makedirs(folder, exist_ok=True)
    print("seed %d, %d kills between %.1f and %.1f s, files in %s"
          % (seed, args.count, args.shortest, args.longest, folder))
    failures = 0
    frameless = 0
    worst_loss = 0.0
    bound = BUFFER_S + TICK_S
    for index in range(args.count):
        fmt, ext = FORMATS[index % len(FORMATS)]
        moment = rng.uniform(args.shortest, args.longest)
        path, elapsed, error = one_kill(kelvane, folder, index, fmt, ext, moment)
        problems = [error] if error else []
        notes = []
        ours = sox = ff = None
        if not error:
            ours, why = kelvane_duration(kelvane, path)
            if ours is None:
                problems.append("kelvane info: " + why.strip())
            sox, why_sox = sox_duration(path)
            ff, why_ff = ffprobe_duration(path)
            if ext == "mp3" and ours == 0 and os.path.getsize(path) == 4:
                # Killed before its first buffer: the stream's header and no frame, which
                # other programs refuse as they refuse any MP3 stream without frames.
                notes.append("no frame yet")
                empty_mp3 = True
            else:
                empty_mp3 = False
            if sox is None and not empty_mp3:
                problems.append("sox: " + why_sox.strip())
            if ff is None and not empty_mp3:
                problems.append("ffprobe: " + why_ff.strip())
        loss = elapsed - ours if (elapsed is not None and ours is not None) else None
        if loss is not None:
            worst_loss = max(worst_loss, loss)
            allowed = bound + SLACK_S + (ENCODER_HOLD_S if ext == "mp3" else 0)
            if loss > allowed:
                problems.append("lost %.3f s, more than a buffer and a tick (%.3f s)"
                                % (loss, allowed))
        if ours is not None and sox is not None and abs(ours - sox) > 0.1:
            problems.append("sox reads %.3f s, we read %.3f s" % (sox, ours))
        line = "%3d %-18s killed at %6.3f s: kelvane %s, sox %s, ffprobe %s, lost %s" % (
            index, fmt or "(default)", elapsed or 0,
            "%.3f" % ours if ours is not None else "-",
            "%.3f" % sox if sox is not None else "-",
            "%.3f" % ff if ff is not None else "-",
            "%.3f s" % loss if loss is not None else "-")
        print(line + ("   FAIL: " + "; ".join(problems) if problems else "") +
              ("   (" + ", ".join(notes) + ")" if notes else ""))
        failures += bool(problems)
        frameless += bool(notes)
        if not args.keep:
            os.remove(path) if os.path.exists(path) else None
    if not args.keep:
        shutil.rmtree(folder, ignore_errors=True)
    print("%d of %d files failed; the most lost was %.3f s (allowed: %.1f s + %.2f s slack); "
          "%d MP3 files were killed before their first frame"
          % (failures, args.count, worst_loss, bound, SLACK_S, frameless))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
