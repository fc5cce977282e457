#!/usr/bin/env python3
"""The sound server killed under `kelvane record` and `kelvane play`, on ALSA through PulseAudio
and on the sound server's own backend:
each must exit with status 1 and say that its device stopped working, and the recording's file
must be valid with what was captured. The time from the kill to the exit is printed.

    server_loss_test.py --bin BUILD/bin --scripts SOURCE/scripts

It starts a PulseAudio server of its own in a fresh folder and kills only that one. Exit status
0 when both pass, 1 when one does not, 77 when no server can be started (skipped).
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HANG_GUARD_S = 15  # a program that has not ended by then hangs


def server_script(scripts, folder, action):
    return subprocess.run([os.path.join(scripts, "pulse-test-server.sh"), action],
                          capture_output=True, text=True,
                          env=dict(os.environ, QUILLON_PULSE_DIR=folder))


def start_server(scripts, folder):
    # A server killed a moment ago may still be going away: a few tries.
    for _ in range(3):
        out = server_script(scripts, folder, "start")
        match = re.search(r"PULSE_SERVER=(\S+)", out.stdout)
        if out.returncode == 0 and match and "QUILLON_PULSE_STARTED=1" in out.stdout:
            return match.group(1)
        if "QUILLON_PULSE_STARTED=0" in out.stdout:
            server_script(scripts, folder, "stop")
        time.sleep(1)
    return None


def server_pid(folder):
    with open(os.path.join(folder, "started.pid")) as f:
        return int(f.read().strip())


def run_until_server_dies(command, env, folder, after_s):
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env,
                             text=True)
    first = child.stdout.readline()
    time.sleep(after_s)
    os.kill(server_pid(folder), signal.SIGKILL)
    killed = time.monotonic()
    try:
        rest, _ = child.communicate(timeout=HANG_GUARD_S)
    except subprocess.TimeoutExpired:
        child.kill()
        rest, _ = child.communicate()
        return None, first + rest, None
    return child.returncode, first + rest, time.monotonic() - killed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--scripts", required=True)
    args = parser.parse_args()
    kelvane = os.path.join(args.bin, "kelvane")
    folder = tempfile.mkdtemp(prefix="quillon-pulse-loss-")
    failures = []

    # A tone to play, made on the virtual card in virtual time.
    tone = os.path.join(folder, "tone.wav")
    subprocess.run([kelvane, "record", tone, "--seconds", "10", "--clock", "manual",
                    "--format", "pcm:44100:2:16"], check=True, capture_output=True,
                   env=dict(os.environ, KELVANE_AUDIO="virtual",
                            KELVANE_VIRTUAL_INPUT="sine:440:0.5"))

    for backend, verb in [(b, v) for b in ("alsa", "pulse") for v in ("record", "play")]:
        server = start_server(args.scripts, folder)
        if server is None:
            print("server_loss_test: no PulseAudio server could be started; skipped")
            shutil.rmtree(folder, ignore_errors=True)
            return 77
        env = dict(os.environ, KELVANE_AUDIO=backend, PULSE_SERVER=server)
        take = os.path.join(folder, "take.wav")
        command = [kelvane, "record", take, "--format", "pcm:44100:2:16"] if verb == "record" \
            else [kelvane, "play", tone]
        status, output, delay = run_until_server_dies(command, env, folder, 3.0)
        expected = ("Input device error: the input device stopped working" if verb == "record"
                    else "Output device error: the output device stopped working")
        print("%s on %s: exit %s %s after the server was killed" % (
            verb, backend, status, "%.3f s" % delay if delay is not None else "(hung)"))
        print("  " + "\n  ".join(line for line in output.splitlines() if "\r" not in line
                                 and not line.startswith("  ")))
        if status != 1:
            failures.append("%s on %s exited with %s" % (verb, backend, status))
        if expected not in output:
            failures.append("%s on %s did not say: %s" % (verb, backend, expected))
        if verb == "record":
            info = subprocess.run([kelvane, "info", take], capture_output=True, text=True)
            match = re.search(r"Duration:\s+([0-9.]+) s", info.stdout)
            held = float(match.group(1)) if match else None
            print("  the file holds %s s" % held)
            if info.returncode != 0 or held is None or held < 1.0:
                failures.append("the recording's file on %s holds %s s: %s" % (backend, held,
                                                                            info.stdout))
    server_script(args.scripts, folder, "stop")  # only if a kill above did not end it
    shutil.rmtree(folder, ignore_errors=True)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
