#!/usr/bin/env python3
"""Runs Fetchwright.exe once, end to end, against the bundled demo server (scripts/demo.sh).

Starts the test server in its standalone mode on the demo document root (demo_faults.json
slows the first application file down, so that the screenshot shows the dialog at work), a
virtual display and a fresh Wine prefix, runs the installer, answers its message boxes with
Return, then prints the events the server received and the installer's exit code. Must run inside a
loopback-only network namespace. Exits with the installer's exit code.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from desktop import Desktop
from netns_guard import loopback_only_problem
from registry import proxy_settings, template_settings
from scenario import INSTALLER_TITLE, is_installer_dialog
from wine import WinePrefix, windows_path
from xvfb import Xvfb

HERE = os.path.dirname(os.path.abspath(__file__))


def say(text: str) -> None:
    print(f"[demo] {text}", flush=True)


class StandaloneServer:
    """testserver.py in its standalone mode, as a person would start it."""

    def __init__(self, output_dir: str):
        self.events_log = os.path.join(output_dir, "events.log")
        self._console = open(os.path.join(output_dir, "server.log"), "w", encoding="utf-8")
        self._process = subprocess.Popen(
            [sys.executable, "-B", os.path.join(HERE, "testserver.py"), "--port", "0",
             "--docroot", os.path.join(HERE, "docroot"), "--faults", os.path.join(HERE, "demo_faults.json"),
             "--events-log", self.events_log],
            stdout=subprocess.PIPE, stderr=self._console, text=True)
        first_line = self._process.stdout.readline()
        if "listening on 127.0.0.1:" not in first_line:
            raise RuntimeError(f"the test server did not start: {first_line!r}")
        self.port = int(first_line.rsplit(":", 1)[1])
        self._console.write(first_line)
        self._drain = threading.Thread(target=self._copy_output, daemon=True)
        self._drain.start()

    def _copy_output(self) -> None:
        for line in self._process.stdout:
            self._console.write(line)
            self._console.flush()

    def stop(self) -> None:
        self._process.terminate()
        self._process.wait(timeout=10)
        self._drain.join(timeout=5)
        self._console.close()


def drive_installer(desktop: Desktop, installer: subprocess.Popen, output_dir: str, timeout: float) -> None:
    """Answers message boxes and takes the screenshots until the installer ends."""
    screenshot = os.path.join(output_dir, "screenshot.png")
    seen_dialog = answered_certificate = shot_after_certificate = False
    answered = set()  # a box stays listed for a moment after its answer
    deadline = time.monotonic() + timeout
    while installer.poll() is None:
        if time.monotonic() > deadline:
            say(f"the installer is still running after {timeout:.0f} s; stopping it")
            desktop.screenshot(os.path.join(output_dir, "timeout.png"))
            installer.kill()
            return
        windows = desktop.windows()
        dialog_shown = any(is_installer_dialog(window) for window in windows)
        if dialog_shown and not seen_dialog:
            seen_dialog = True
            desktop.screenshot(screenshot)
            say("the installer dialog is up")
        for box in (window for window in windows if window.is_message_box and window.hwnd not in answered):
            answered.add(box.hwnd)
            is_certificate_box = box.title == INSTALLER_TITLE and "certificate" in box.message_text
            shot_name = "certificate-box.png" if is_certificate_box else "message-box.png"
            desktop.screenshot(os.path.join(output_dir, shot_name))
            say(f"message box {box.title!r}: {box.message_text}")
            say("pressing Return")
            desktop.press_key(box, "Return")
            answered_certificate |= is_certificate_box
        if dialog_shown and answered_certificate and not shot_after_certificate:
            shot_after_certificate = True  # the dialog at work, its stages shown
            time.sleep(1.0)
            candidate = os.path.join(output_dir, "screenshot-at-work.png")
            desktop.screenshot(candidate)
            if installer.poll() is None:
                os.replace(candidate, screenshot)
            else:  # ended meanwhile: keep the first one
                os.remove(candidate)
        time.sleep(0.3)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True, help="the x64 build folder")
    parser.add_argument("--output", required=True, help="folder for the screenshot and the logs")
    parser.add_argument("--timeout", type=float, default=300, help="seconds the installer may run")
    args = parser.parse_args()

    problem = loopback_only_problem()
    if problem:
        say(f"refusing to run: {problem}")
        return 2
    build = os.path.abspath(args.build_dir)
    fetchwright = os.path.join(build, "Fetchwright.exe")
    fake_clickonce = os.path.join(build, "tests", "e2e", "FakeClickOnce.exe")
    window_text = os.path.join(build, "tests", "e2e", "WindowText.exe")
    output = os.path.abspath(args.output)
    shutil.rmtree(output, ignore_errors=True)
    os.makedirs(output)
    work = tempfile.mkdtemp(prefix="fetchwright-demo-")

    server = StandaloneServer(output)
    prefix = None
    try:
        say(f"test server on 127.0.0.1:{server.port}, serving {os.path.join(HERE, 'docroot')}")
        with Xvfb(os.path.join(output, "xvfb.log")) as display:
            say(f"virtual display {display.display}; creating a Wine prefix (about 15 s)")
            template = WinePrefix.create(os.path.join(work, "prefix"), display.display)
            template.import_registry(template_settings(windows_path(fake_clickonce)), name="template.reg")
            template.wait_server()
            prefix = template
            prefix.start_server()
            prefix.import_registry(proxy_settings(server.port), name="proxy.reg")

            say("starting Fetchwright.exe")
            record = os.path.join(output, "clickonce-record.json")
            with open(os.path.join(output, "installer.log"), "wb") as log:
                installer = prefix.start([fetchwright], log, log, extra_env={"FAKE_CLICKONCE_RECORD": windows_path(record)})
            started = time.monotonic()
            drive_installer(Desktop(prefix, window_text), installer, output, args.timeout)
            exit_code = installer.wait()
            say(f"the installer ended after {time.monotonic() - started:.1f} s")
    finally:
        if prefix is not None:
            prefix.kill_server()
        server.stop()
        shutil.rmtree(work, ignore_errors=True)

    print("\nEvents received (category | data):")
    if os.path.exists(server.events_log):
        with open(server.events_log, encoding="utf-8") as stream:
            sys.stdout.write(stream.read())
    if os.path.exists(record):
        with open(record, encoding="utf-8") as stream:
            print(f"\nThe ClickOnce engine stand-in saw: {stream.read().strip()}")
    print(f"\nFetchwright.exe exit code: {exit_code}")
    print(f"Screenshot: {os.path.join(output, 'screenshot.png')}")
    return exit_code


if __name__ == "__main__":
    sys.exit(main())
