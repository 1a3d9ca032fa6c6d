"""One end-to-end scenario: its own test server, copy of the template prefix, wineserver and
artifacts folder, and the installer run in it."""

import json
import os
import subprocess
import time
from dataclasses import dataclass
from typing import Dict, Optional

from desktop import Desktop
from registry import proxy_settings
from testserver import TestServer, event_line
from wine import WinePrefix, windows_path

INSTALLER_TITLE = "Kelvara Lantern Rise Installer"
CERTIFICATE_URL = "http://download.kelvara.example/software/prerequisites/kelvaraca-x509.cer"
DEPLOYMENT_MANIFEST_URL = "http://download.kelvara.example/software/lantern-rise/clickonce/KelvaraLanternRise.application"


def is_installer_dialog(window) -> bool:
    """The installer's own dialog (its message boxes share its title but have no progress bars)."""
    return window.title == INSTALLER_TITLE and len(window.controls_of("msctls_progress32")) == 4


@dataclass
class E2EPaths:
    fetchwright_exe: str
    fake_clickonce_exe: str
    window_text_exe: str
    artifacts_dir: str
    docroot: str


class InstallerProcess:
    def __init__(self, process: subprocess.Popen, log_files):
        self._process = process
        self._log_files = log_files
        self.started_at = time.monotonic()
        self.ended_at: Optional[float] = None

    @property
    def running(self) -> bool:
        return self._process.poll() is None

    def wait(self, timeout: float) -> int:
        """The exit code; fails the test when the installer is still running after timeout."""
        try:
            code = self._process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"Fetchwright.exe still running after {timeout} s") from None
        self._finish()
        return code

    @property
    def duration(self) -> float:
        return (self.ended_at or time.monotonic()) - self.started_at

    def kill(self) -> None:
        if self.running:
            self._process.kill()
            self._process.wait()
        self._finish()

    def _finish(self) -> None:
        if self.ended_at is None:
            self.ended_at = time.monotonic()
        for stream in self._log_files:
            stream.close()
        self._log_files = []


class Scenario:
    def __init__(self, template: WinePrefix, paths: E2EPaths, work_dir: str, artifacts_dir: str):
        self.paths = paths
        self.artifacts_dir = artifacts_dir
        self.server = TestServer(paths.docroot)
        self._template = template
        self._work_dir = work_dir
        self.prefix: Optional[WinePrefix] = None
        self.desktop: Optional[Desktop] = None
        self.installer: Optional[InstallerProcess] = None
        self._shots = 0
        self._torn_down = False

    def set_up(self) -> "Scenario":
        os.makedirs(self._work_dir, exist_ok=True)
        os.makedirs(self.artifacts_dir, exist_ok=True)
        self.server.start()
        self.prefix = self._template.clone(os.path.join(self._work_dir, "prefix"))
        self.prefix.start_server()
        self.prefix.import_registry(proxy_settings(self.server.port), name="proxy.reg")
        self.desktop = Desktop(self.prefix, self.paths.window_text_exe)
        return self

    @property
    def clickonce_record_path(self) -> str:
        return os.path.join(self.artifacts_dir, "clickonce-record.json")

    def start_installer(self, extra_env: Optional[Dict[str, str]] = None) -> InstallerProcess:
        """Starts Fetchwright.exe; extra_env also reaches the programs it launches."""
        assert os.path.isfile(self.paths.fetchwright_exe), f"{self.paths.fetchwright_exe} has not been built"
        env = {"FAKE_CLICKONCE_RECORD": windows_path(self.clickonce_record_path)}
        env.update(extra_env or {})
        stdout = open(os.path.join(self.artifacts_dir, "installer.stdout.txt"), "wb")
        stderr = open(os.path.join(self.artifacts_dir, "installer.stderr.txt"), "wb")
        process = self.prefix.start([self.paths.fetchwright_exe], stdout, stderr, extra_env=env,
                                    cwd=self._work_dir)
        self.installer = InstallerProcess(process, [stdout, stderr])
        return self.installer

    def clickonce_record(self) -> Optional[dict]:
        """What the fake ClickOnce engine saw, or None when it did not run."""
        if not os.path.exists(self.clickonce_record_path):
            return None
        with open(self.clickonce_record_path, encoding="utf-8") as stream:
            return json.load(stream)

    def screenshot(self, name: str) -> str:
        self._shots += 1
        path = os.path.join(self.artifacts_dir, f"{self._shots:02d}-{name}.png")
        self.desktop.screenshot(path)
        return path

    def tear_down(self) -> None:
        """Stops everything the scenario started; safe to call more than once."""
        if self._torn_down:
            return
        self._torn_down = True
        try:
            if self.installer is not None:
                self.installer.kill()
            if self.prefix is not None:
                self.prefix.kill_server()
        finally:
            self.server.stop()
            self._write_records()
            if self.prefix is not None:
                self.prefix.remove()

    def _write_records(self) -> None:
        with open(os.path.join(self.artifacts_dir, "events.txt"), "w", encoding="utf-8") as stream:
            for request in self.server.event_requests():
                stream.write(event_line(request) + "\n")
        with open(os.path.join(self.artifacts_dir, "requests.json"), "w", encoding="utf-8") as stream:
            json.dump([request.to_json() for request in self.server.requests], stream, indent=1)
