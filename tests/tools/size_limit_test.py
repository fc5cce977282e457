#!/usr/bin/env python3
"""6.5 hours of 48 kHz stereo recorded in virtual time: more than a WAV file can hold. The
recording must stop at the limit with exit status 1 and say so, and leave a file under 4 GiB
that kelvane info, sox and ffprobe read, with its INFO texts. Writes about 4.3 GB (the free space
is checked first) and removes the file afterwards. By hand, it takes minutes:

    size_limit_test.py --bin BUILD/bin [--folder DIR]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

NEEDED = 4_400_000_000  # bytes


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--folder", default=tempfile.gettempdir())
    args = parser.parse_args()
    if shutil.disk_usage(args.folder).free < NEEDED:
        print("size_limit_test: less than %d bytes free in %s; skipped" % (NEEDED, args.folder))
        return 77
    kelvane = os.path.join(args.bin, "kelvane")
    path = os.path.join(args.folder, "quillon-size-limit-%d.wav" % os.getpid())
    failures = []
    try:
        began = time.monotonic()
        record = subprocess.run(
            [kelvane, "record", path, "--format", "pcm:48000:2:16", "--seconds", "23400",
             "--clock", "manual", "--info", "INAM=Six and a half hours",
             "--info", "ICMT=stopped at the limit", "--info", "DISP=Long take"],
            capture_output=True, text=True,
            env=dict(os.environ, KELVANE_AUDIO="virtual", KELVANE_VIRTUAL_INPUT="sine:440:0.5"))
        print("recorded in %.0f s of real time, exit %d" % (time.monotonic() - began,
                                                           record.returncode))
        told = [line for line in (record.stdout + record.stderr).splitlines()
                if line.startswith(("Recorded", "kelvane record"))]
        print("\n".join("  " + line for line in told))
        if record.returncode != 1 or "reached the 4 GiB a WAV file can hold" not in record.stderr:
            failures.append("the limit was not told")
        size = os.path.getsize(path)
        print("file: %d bytes (%s 2^32)" % (size, "under" if size < 1 << 32 else "NOT under"))
        if size >= 1 << 32:
            failures.append("the file is not under 4 GiB")

        info = subprocess.run([kelvane, "info", path], capture_output=True, text=True).stdout
        sox = subprocess.run(["sox", "--i", "-D", path], capture_output=True, text=True)
        ffprobe = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                                  "format=duration:format_tags=title,comment", "-of",
                                  "default=nw=1", path], capture_output=True, text=True)
        ours = re.search(r"Duration:\s+([0-9.]+) s", info)
        print("kelvane info: %s s, INAM %s, DISP %s" % (
            ours.group(1) if ours else "-", "present" if "Six and a half hours" in info
            else "MISSING", "present" if "Long take" in info else "MISSING"))
        print("sox: %s s" % sox.stdout.strip())
        print("ffprobe: " + " ".join(ffprobe.stdout.split()))
        if not ours or "Six and a half hours" not in info or "Long take" not in info:
            failures.append("kelvane info: " + info)
        if sox.returncode != 0 or abs(float(sox.stdout) - float(ours.group(1))) > 0.01:
            failures.append("sox: " + sox.stdout + sox.stderr)
        if ffprobe.returncode != 0 or "title=Six and a half hours" not in ffprobe.stdout:
            failures.append("ffprobe: " + ffprobe.stdout + ffprobe.stderr)
    finally:
        if os.path.exists(path):
            os.remove(path)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
