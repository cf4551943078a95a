"""One run of the test driver in a prefix: the installer started, the script played, the hooks
called at their sync points, and what the driver reported."""

import json
import os
import subprocess
import tempfile
import threading

from .config import DRIVER, PROGRAM_FOLDER, WINE64


class DriverRun:
    """What the driver reported for one run of the installer."""

    def __init__(self):
        self.events = []
        self.returncode = None
        self.stderr = ""

    def of(self, kind):
        return [e for e in self.events if e["event"] == kind]

    @property
    def boxes(self):
        return self.of("box")

    @property
    def exit_code(self):
        exits = self.of("exit")
        return exits[-1]["code"] if exits else None

    def describe(self):
        lines = [json.dumps(e, ensure_ascii=False) for e in self.events]
        return "\n".join(lines + [f"driver status {self.returncode}", self.stderr[-1500:]])


def run_driver(prefix, installer, actions, hooks=None, timeout=60, transcript=None):
    """Starts the installer through the driver and plays `actions`. `hooks` maps sync names to
    callables taking (sync event, the run so far); the driver waits until the hook has returned."""
    hooks = hooks or {}
    run = DriverRun()
    args = [f"{PROGRAM_FOLDER}\\{DRIVER}", f"--run={installer}", f"--timeout={timeout}"] + list(actions)
    stderr_file = tempfile.TemporaryFile()
    process = subprocess.Popen(prefix.command(WINE64, args), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=stderr_file)
    # Should Wine itself hang, the whole prefix is ended; the driver's own limit comes first.
    watchdog = threading.Timer(timeout + 60, prefix.stop)
    watchdog.start()
    failure = None
    try:
        for raw in process.stdout:
            line = raw.decode("utf-8", errors="replace").strip()
            if not line:
                continue
            try:
                event = json.loads(line)
            except ValueError:
                event = {"event": "noise", "line": line}
            run.events.append(event)
            if event["event"] == "sync":
                try:
                    hook = hooks.get(event["name"])
                    if hook:
                        hook(event, run)
                except BaseException as error:  # reported after the run has ended cleanly
                    failure = failure or error
                process.stdin.write(b"\n")
                process.stdin.flush()
        process.stdin.close()
        process.stdout.close()
        run.returncode = process.wait()
    finally:
        watchdog.cancel()
        if process.poll() is None:
            process.kill()
            process.wait()
        stderr_file.seek(0)
        run.stderr = stderr_file.read().decode("utf-8", errors="replace")
        stderr_file.close()
        if transcript:
            os.makedirs(os.path.dirname(transcript), exist_ok=True)
            with open(transcript, "w", encoding="utf-8") as f:
                f.write(run.describe() + "\n")
    prefix.stop()
    if failure:
        raise failure
    return run
