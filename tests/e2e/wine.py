"""Wine prefixes for the end-to-end tests: a template made once per session, a copy per scenario,
each copy with its own wineserver."""

import os
import shutil
import subprocess
import tempfile
from typing import Dict, List, Optional

from registry import parse_reg_query, subkeys_in

WINE64 = "/usr/lib/wine/wine64"
WINESERVER64 = "/usr/lib/wine/wineserver64"


def windows_path(path: str) -> str:
    """The Z: drive path of a host path (Wine maps Z: to /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineError(RuntimeError):
    pass


class WinePrefix:
    def __init__(self, path: str, display: str):
        self.path = path
        self.display = display

    def environment(self, extra: Optional[Dict[str, str]] = None) -> Dict[str, str]:
        env = {name: value for name, value in os.environ.items() if not name.startswith("WINE")}
        env.update({
            "WINEPREFIX": self.path,
            "WINEARCH": "win64",
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",  # no offer to download Mono or Gecko
            "DISPLAY": self.display,
        })
        env.update(extra or {})
        return env

    @classmethod
    def create(cls, path: str, display: str, timeout: float = 240) -> "WinePrefix":
        prefix = cls(path, display)
        prefix._call([WINE64, "wineboot", "--init"], timeout)
        prefix.wait_server(timeout)
        return prefix

    def clone(self, path: str) -> "WinePrefix":
        """A copy, to be used while this prefix's wineserver is not running."""
        subprocess.run(["cp", "-a", self.path, path], check=True)
        return WinePrefix(path, self.display)

    def remove(self) -> None:
        shutil.rmtree(self.path, ignore_errors=True)

    # --- the wineserver -------------------------------------------------------------------

    def start_server(self) -> None:
        """A persistent wineserver, started with this display so the desktop lives on it."""
        # Its daemon would hold captured pipes open, so no output is captured.
        subprocess.run([WINESERVER64, "-p"], env=self.environment(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=True)

    def wait_server(self, timeout: float = 60) -> None:
        self._call([WINESERVER64, "-w"], timeout)

    def kill_server(self) -> None:
        subprocess.run([WINESERVER64, "-k"], env=self.environment(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=False)
        try:
            self.wait_server(30)
        except (WineError, subprocess.TimeoutExpired):
            pass

    # --- programs -------------------------------------------------------------------------

    def run(self, args: List[str], timeout: float = 60, extra_env: Optional[Dict[str, str]] = None,
            cwd: Optional[str] = None) -> subprocess.CompletedProcess:
        """Runs wine64 with args and waits; output captured as text."""
        return _run_capturing([WINE64] + args, self.environment(extra_env), timeout, cwd)

    def start(self, args: List[str], stdout, stderr, extra_env: Optional[Dict[str, str]] = None,
              cwd: Optional[str] = None) -> subprocess.Popen:
        """Starts wine64 with args in the background."""
        return subprocess.Popen([WINE64] + args, env=self.environment(extra_env), cwd=cwd, stdin=subprocess.DEVNULL,
                                stdout=stdout, stderr=stderr)

    # --- registry -------------------------------------------------------------------------

    def import_registry(self, reg_text: str, name: str = "settings.reg") -> None:
        reg_path = os.path.join(os.path.dirname(self.path.rstrip("/")), name)
        with open(reg_path, "w", encoding="ascii", newline="") as stream:
            stream.write(reg_text)
        result = self.run(["regedit", "/S", windows_path(reg_path)], timeout=120)
        if result.returncode != 0:
            raise WineError(f"regedit /S {reg_path} failed ({result.returncode}): {result.stderr}")

    def query_key(self, key: str) -> Dict[str, object]:
        """The values of key ({} when it does not exist)."""
        return parse_reg_query(self._reg_query(key)).get(key, {})

    def query_value(self, key: str, name: str):
        """A value of key: int for REG_DWORD, text otherwise; None when missing."""
        return self.query_key(key).get(name)

    def key_exists(self, key: str) -> bool:
        return self._reg_query(key) != ""

    def subkeys(self, key: str) -> List[str]:
        return subkeys_in(self._reg_query(key), key)

    def _reg_query(self, key: str) -> str:
        """reg query's output, which for an existing key without values is a bare line end;
        empty when the key does not exist (exit code 1)."""
        result = self.run(["reg", "query", key])
        if result.returncode == 1:
            return ""
        if result.returncode != 0 or (result.stdout.strip() and key.lower() not in result.stdout.lower()):
            raise WineError(f"reg query {key} failed ({result.returncode}): {result.stdout!r} {result.stderr!r}")
        return result.stdout

    def _call(self, args: List[str], timeout: float) -> None:
        result = _run_capturing(args, self.environment(), timeout)
        if result.returncode != 0:
            raise WineError(f"{' '.join(args)} failed ({result.returncode}): {result.stderr[-2000:]}")


def _run_capturing(args: List[str], env: Dict[str, str], timeout: float,
                   cwd: Optional[str] = None) -> subprocess.CompletedProcess:
    """subprocess.run with output captured through files: Wine's background processes (services,
    explorer) inherit the output handles and would keep pipes open for as long as they run."""
    with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
        process = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr)
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise
        stdout.seek(0)
        stderr.seek(0)
        return subprocess.CompletedProcess(args, code, stdout.read().decode("utf-8", "replace"),
                                           stderr.read().decode("utf-8", "replace"))
