#!/usr/bin/env python3
"""Measures how fast the installer mirrors a publication, against curl in the same run.

Two publications are generated into a temporary document root: one 200 MB file, and 300 small
files. For each, the real Fetchwright.exe mirrors it under Wine from the local test server
(through the prefix's proxy setting), and curl then fetches the same URLs through the same
proxy, one after another on one connection, into files as the installer does. The installer's time runs from its first request
for an application file to the arrival of its "Application files downloaded" event. Its peak
working set is the Wine process's peak resident set (VmHWM).

Not a timed test: run it by hand inside a loopback-only namespace after building build/x64:
  unshare -n sh -c 'ip link set lo up; /usr/bin/python3 -B tests/e2e/benchmark_mirror.py --build-dir build/x64'
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import make_sample_publication as publication
from desktop import Desktop
from netns_guard import loopback_only_problem
from registry import proxy_settings, template_settings
from testserver import TestServer
from wine import WinePrefix, windows_path
from xvfb import Xvfb

HERE = os.path.dirname(os.path.abspath(__file__))
HOST_DIR = "download.kelvara.example"


class Sized:
    """Stands in for a file's content where only its length is read."""

    def __init__(self, size: int):
        self.size = size

    def __len__(self) -> int:
        return self.size


def write_publication(docroot: str, files: dict) -> list:
    """A publication listing files (relative path -> size) as plain files; returns their URLs."""
    shutil.copytree(os.path.join(HERE, "docroot", HOST_DIR, "software", "prerequisites"),
                    os.path.join(docroot, HOST_DIR, "software", "prerequisites"))
    publication.PUBLICATION = os.path.join(docroot, HOST_DIR, "software", "lantern-rise", "clickonce")
    publication.ASSEMBLIES = {}
    publication.FILES = {}
    for name, size in files.items():
        path = os.path.join(publication.PUBLICATION, *publication.VERSION_FOLDER.split("\\"), name + ".deploy")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as stream:
            remaining = size
            while remaining:
                chunk = os.urandom(min(remaining, 1 << 20))
                stream.write(chunk)
                remaining -= len(chunk)
        publication.FILES[name] = Sized(size)
    manifest = publication.application_manifest()
    publication.write(publication.VERSION_FOLDER + "\\LanternRise.exe.manifest", manifest)
    publication.write("KelvaraLanternRise.application", publication.deployment_manifest(len(manifest)))
    base = ("http://download.kelvara.example/software/lantern-rise/clickonce/"
            + publication.VERSION_FOLDER.replace("\\", "/").replace(" ", "%20") + "/")
    return [base + name + ".deploy" for name in files]


class PeakMemory(threading.Thread):
    """Follows a process's peak resident set (VmHWM) until it ends."""

    def __init__(self, pid: int):
        super().__init__(daemon=True)
        self.pid = pid
        self.peak_kib = 0

    def run(self) -> None:
        path = f"/proc/{self.pid}/status"
        while True:
            try:
                with open(path) as stream:
                    for line in stream:
                        if line.startswith("VmHWM:"):
                            self.peak_kib = max(self.peak_kib, int(line.split()[1]))
            except (FileNotFoundError, ProcessLookupError):
                return
            time.sleep(0.05)


def run_installer(template: WinePrefix, build: str, docroot: str, work: str, files: list):
    """Mirrors the publication with the installer; (seconds, peak MiB, exit code, server)."""
    server = TestServer(docroot).start()
    prefix = template.clone(os.path.join(work, "prefix"))
    try:
        prefix.start_server()
        prefix.import_registry(proxy_settings(server.port), name="proxy.reg")
        desktop = Desktop(prefix, os.path.join(build, "tests", "e2e", "WindowText.exe"))
        with open(os.path.join(work, "installer.log"), "wb") as log:
            installer = prefix.start([os.path.join(build, "Fetchwright.exe")], log, log, cwd=work)
            memory = PeakMemory(installer.pid)
            memory.start()
            deadline = time.monotonic() + 600
            while installer.poll() is None and time.monotonic() < deadline:
                for box in (window for window in desktop.windows() if window.is_message_box):
                    desktop.press_key(box, "Return")   # the certificate's notice
                time.sleep(0.5)
            code = installer.wait(timeout=5)
            memory.join(timeout=5)
        file_urls = set(files)
        first = min(request.received_at for request in server.requests if request.url in file_urls)
        done = next(request.received_at for request in server.event_requests()
                    if b"Application files downloaded" in request.body)
        return done - first, memory.peak_kib / 1024, code, server
    finally:
        prefix.kill_server()
        prefix.remove()


def run_curl(port: int, files: list, folder: str) -> float:
    """Fetches the files into a folder, as the installer does, on one connection."""
    os.makedirs(folder)
    args = ["curl", "--silent", "--show-error", "--fail", "--proxy", f"127.0.0.1:{port}"]
    for index, url in enumerate(files):
        args += ["--output", os.path.join(folder, f"{index}.deploy"), url]
    start = time.monotonic()
    subprocess.run(args, check=True)
    return time.monotonic() - start


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--big-mb", type=int, default=200)
    parser.add_argument("--small-count", type=int, default=300)
    parser.add_argument("--small-kib", type=int, default=8)
    parser.add_argument("--only", choices=("big", "small"), help="run one of the two cases")
    args = parser.parse_args()
    problem = loopback_only_problem()
    if problem:
        print(f"refusing to run: {problem}")
        return 2
    if not shutil.which("curl"):
        print("curl is needed")
        return 2
    build = os.path.abspath(args.build_dir)
    cases = {}
    if args.only != "small":
        cases[f"one {args.big_mb} MB file"] = {"big.bin": args.big_mb * 1000 * 1000}
    if args.only != "big":
        cases[f"{args.small_count} files of {args.small_kib} KiB"] = {
            f"file{i:03d}.bin": args.small_kib * 1024 for i in range(args.small_count)}
    session = tempfile.mkdtemp(prefix="fetchwright-bench-")
    try:
        with Xvfb(os.path.join(session, "xvfb.log")) as display:
            template = WinePrefix.create(os.path.join(session, "template"), display.display)
            fake_clickonce = os.path.join(build, "tests", "e2e", "FakeClickOnce.exe")
            template.import_registry(template_settings(windows_path(fake_clickonce)), name="template.reg")
            template.wait_server()
            for index, (name, files) in enumerate(cases.items()):
                docroot = os.path.join(session, f"docroot{index}")
                urls = write_publication(docroot, files)
                work = os.path.join(session, f"run{index}")
                os.makedirs(work)
                seconds, peak_mib, code, server = run_installer(template, build, docroot, work, urls)
                try:
                    curl_seconds = run_curl(server.port, urls, os.path.join(work, "curl"))
                finally:
                    server.stop()
                total_mb = sum(files.values()) / 1e6
                print(f"{name}: installer {seconds:.2f} s ({total_mb / seconds:.1f} MB/s, exit code {code}, "
                      f"peak working set {peak_mib:.0f} MiB); curl {curl_seconds:.2f} s "
                      f"({total_mb / curl_seconds:.1f} MB/s); installer/curl = {seconds / curl_seconds:.2f}",
                      flush=True)
    finally:
        shutil.rmtree(session, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
