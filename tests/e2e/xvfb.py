"""One Xvfb server for a test session, on a display number that it picks itself."""

import os
import select
import subprocess


class Xvfb:
    def __init__(self, log_path: str, screen: str = "1024x768x24"):
        self._log_path = log_path
        self._screen = screen
        self._process = None
        self.display = None

    def start(self, timeout: float = 30) -> "Xvfb":
        read_end, write_end = os.pipe()
        try:
            with open(self._log_path, "ab") as log:
                # -displayfd: Xvfb takes the first free display and writes its number to the pipe.
                self._process = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self._screen, "-nolisten", "tcp"],
                    pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
            os.close(write_end)
            write_end = None
            number = b""
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read_end], [], [], timeout)
                chunk = os.read(read_end, 16) if ready else b""
                if not chunk:
                    self.stop()
                    raise RuntimeError(f"Xvfb did not start; see {self._log_path}")
                number += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        self.display = ":" + number.decode().strip()
        return self

    def stop(self) -> None:
        if self._process is not None and self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._process = None

    def __enter__(self) -> "Xvfb":
        return self.start()

    def __exit__(self, *exc_info) -> None:
        self.stop()
