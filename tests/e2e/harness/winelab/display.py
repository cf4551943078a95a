"""The private Xvfb screen of one test process, and its screenshots."""

import os
import select
import subprocess
import time


class Display:
    """A private Xvfb screen."""

    def __init__(self, log_path, width=1024, height=768, depth=24):
        self.size = (width, height)
        read_end, write_end = os.pipe()
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", f"{width}x{height}x{depth}"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                self.close()
                raise RuntimeError(f"Xvfb did not start; see {log_path}")
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()

    def screenshot(self, path):
        """Saves the whole screen as PNG and returns it as (width, height, RGB bytes)."""
        ppm = subprocess.run(["import", "-display", self.name, "-window", "root", "-depth", "8", "ppm:-"], check=True,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60).stdout
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["convert", "ppm:-", path], input=ppm, check=True, timeout=60)
        return parse_ppm(ppm)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


def parse_ppm(data):
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position)
            continue
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[position + 1:position + 1 + width * height * 3]
    return width, height, pixels
