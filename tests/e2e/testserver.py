#!/usr/bin/env python3
"""Stand-in for every server the installer talks to.

An HTTP/1.1 forward proxy on 127.0.0.1: the installer's WinINet is pointed at it through the
prefix's proxy setting and sends absolute URIs ("GET http://host:80/path HTTP/1.1"). Each host
is served from <docroot>/<host>/, the event service is answered on
events.kelvara.example/WebService.php, every request is recorded, and faults can be injected
per URL. Python standard library only, so the demo needs nothing beyond python3.

Standalone: testserver.py --port N --docroot DIR [--faults FILE] [--events-log FILE]
"""

import argparse
import dataclasses
import json
import mimetypes
import os
import signal
import socket
import socketserver
import sys
import threading
import time
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional, Tuple
from urllib.parse import unquote, urlsplit

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from soap_events import EVENTS_HOST, EVENTS_PATH, Event, EventParseError, parse_event_body  # noqa: E402

SOAP_RESPONSE = (
    b'<?xml version="1.0" encoding="utf-8"?>'
    b'<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>'
    b'<q1:AddEventResponse xmlns:q1="urn:EventsTracker"><return>OK</return></q1:AddEventResponse>'
    b"</s:Body></s:Envelope>"
)
_CONTENT_TYPES = {
    ".application": "application/x-ms-application",
    ".manifest": "application/x-ms-manifest",
    ".deploy": "application/octet-stream",
    ".cer": "application/x-x509-ca-cert",
    ".exe": "application/octet-stream",
}
_REASONS = {200: "OK", 400: "Bad Request", 404: "Not Found", 405: "Method Not Allowed", 500: "Internal Server Error",
            503: "Service Unavailable"}
_MAX_LINE = 65536


def url_key(url: str) -> Tuple[str, int, str]:
    """(host, port, decoded path) of an absolute http URL: what faults are matched on."""
    parts = urlsplit(url)
    if parts.scheme != "http" or not parts.hostname:
        raise ValueError(f"not an absolute http URL: {url!r}")
    return parts.hostname.lower(), parts.port or 80, unquote(parts.path or "/")


@dataclass
class Fault:
    """How to misbehave for one URL. Several fields combine (a delay, then a status)."""

    status: Optional[int] = None  # answer with this status and body instead of the normal answer
    body: bytes = b""
    content_type: str = "text/html"
    delay: float = 0.0  # seconds before answering
    hang: bool = False  # never answer; the connection is held until the server stops
    drop_after: Optional[int] = None  # send the headers (real length) and this many body bytes, then close
    no_content_length: bool = False  # close-delimited body
    times: Optional[int] = None  # requests it applies to before normal service resumes; None: all

    @classmethod
    def from_json(cls, entry: dict) -> "Fault":
        values = {name: entry[name] for name in cls.__dataclass_fields__ if name in entry}
        if isinstance(values.get("body"), str):
            values["body"] = values["body"].encode("utf-8")
        return cls(**values)


@dataclass
class RecordedRequest:
    method: str
    target: str  # the request-target as received
    version: str
    url: str  # absolute, normalised: http://host[:port]/path?query
    host: str
    port: int
    path: str  # percent-decoded
    header_lines: List[str]  # as received, in order, without line ends
    body: bytes
    received_at: float  # time.monotonic()
    wall_time: float = field(default_factory=time.time)

    @property
    def request_line(self) -> str:
        return f"{self.method} {self.target} {self.version}"

    @property
    def headers(self) -> List[Tuple[str, str]]:
        pairs = []
        for line in self.header_lines:
            name, _, value = line.partition(":")
            pairs.append((name.strip(), value.strip()))
        return pairs

    def header_values(self, name: str) -> List[str]:
        return [value for key, value in self.headers if key.lower() == name.lower()]

    def header(self, name: str, default: Optional[str] = None) -> Optional[str]:
        values = self.header_values(name)
        return values[0] if values else default

    @property
    def is_event(self) -> bool:
        return self.method == "POST" and self.host == EVENTS_HOST and self.path == EVENTS_PATH

    def to_json(self) -> dict:
        return {
            "request_line": self.request_line,
            "header_lines": self.header_lines,
            "body": self.body.decode("utf-8", "replace"),
            "received_at": self.received_at,
        }


class _ConnectionClosed(Exception):
    pass


class TestServer:
    """The proxy. Use as a context manager or call start() and stop()."""

    __test__ = False  # not a pytest test class

    def __init__(self, docroot: str, port: int = 0,
                 on_event: Optional[Callable[[RecordedRequest], None]] = None):
        self.docroot = os.path.realpath(docroot)
        self._requested_port = port
        self._on_event = on_event
        self._lock = threading.Condition()
        self._requests: List[RecordedRequest] = []
        self._faults: Dict[Tuple[str, int, str], Fault] = {}
        self._events_blackholed = False
        self._stopping = threading.Event()
        self._connections: set = set()
        self._server: Optional[socketserver.ThreadingTCPServer] = None
        self._thread: Optional[threading.Thread] = None

    # --- life cycle -------------------------------------------------------------------------

    def start(self) -> "TestServer":
        owner = self

        class Handler(socketserver.BaseRequestHandler):
            def handle(self):
                owner._serve_connection(self.request)

        class Server(socketserver.ThreadingTCPServer):
            daemon_threads = True
            allow_reuse_address = True
            block_on_close = False
            request_queue_size = 128

        self._server = Server(("127.0.0.1", self._requested_port), Handler)
        self._thread = threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.1},
                                        name="testserver", daemon=True)
        self._thread.start()
        return self

    @property
    def port(self) -> int:
        return self._server.server_address[1]

    def stop(self) -> None:
        if self._server is None:
            return
        self._stopping.set()
        self._server.shutdown()
        self._server.server_close()
        with self._lock:
            held = list(self._connections)
        for connection in held:  # wakes hung answers and idle keep-alive reads
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self._thread.join(timeout=5)
        self._server = None

    def __enter__(self) -> "TestServer":
        return self.start()

    def __exit__(self, *exc_info) -> None:
        self.stop()

    # --- configuration ----------------------------------------------------------------------

    def set_fault(self, url: str, fault: Fault) -> None:
        with self._lock:
            self._faults[url_key(url)] = dataclasses.replace(fault)  # its count is ours to decrement

    def clear_faults(self) -> None:
        with self._lock:
            self._faults.clear()

    def blackhole_events(self, enabled: bool = True) -> None:
        """Event requests are then read and recorded but never answered."""
        with self._lock:
            self._events_blackholed = enabled

    def load_faults(self, path: str) -> None:
        """Reads {"faults": [{"url": ..., <Fault fields>}...], "blackhole_events": bool}."""
        with open(path, encoding="utf-8") as stream:
            config = json.load(stream)
        for entry in config.get("faults", []):
            self.set_fault(entry["url"], Fault.from_json(entry))
        self.blackhole_events(bool(config.get("blackhole_events", False)))

    # --- what was received --------------------------------------------------------------------

    @property
    def requests(self) -> List[RecordedRequest]:
        with self._lock:
            return list(self._requests)

    def event_requests(self) -> List[RecordedRequest]:
        return [request for request in self.requests if request.is_event]

    def events(self) -> List[Event]:
        """The events received so far, in arrival order; raises EventParseError on a malformed one."""
        return [parse_event_body(request.body) for request in self.event_requests()]

    def categories(self) -> List[str]:
        return [event.category for event in self.events()]

    def wait_for(self, condition: Callable[[], bool], timeout: float) -> bool:
        """Waits until condition() holds, re-checked on every request received."""
        deadline = time.monotonic() + timeout
        with self._lock:  # reentrant: condition() may read the records
            while not condition():
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return False
                self._lock.wait(remaining)
            return True

    def wait_for_event(self, category: str, timeout: float) -> bool:
        return self.wait_for(lambda: category in self.categories(), timeout)

    # --- serving ------------------------------------------------------------------------------

    def _serve_connection(self, connection: socket.socket) -> None:
        # Head and body go out in separate sends: without this, Nagle's algorithm and the
        # client's delayed acknowledgement add 40 ms to every response.
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with self._lock:
            self._connections.add(connection)
        reader = connection.makefile("rb")
        try:
            while not self._stopping.is_set():
                request = self._read_request(reader)
                if request is None:
                    break
                self._record(request)
                if not self._answer(connection, request):
                    break
        except (_ConnectionClosed, OSError, ValueError):  # ValueError: not an HTTP request
            pass
        finally:
            reader.close()
            with self._lock:
                self._connections.discard(connection)
            try:
                connection.close()
            except OSError:
                pass

    def _read_request(self, reader) -> Optional[RecordedRequest]:
        request_line = reader.readline(_MAX_LINE)
        while request_line in (b"\r\n", b"\n"):  # tolerated between keep-alive requests
            request_line = reader.readline(_MAX_LINE)
        if not request_line:
            return None
        received_at = time.monotonic()
        method, target, version = request_line.decode("latin-1").rstrip("\r\n").split(" ", 2)
        header_lines = []
        while True:
            line = reader.readline(_MAX_LINE)
            if not line:
                raise _ConnectionClosed()
            if line in (b"\r\n", b"\n"):
                break
            header_lines.append(line.decode("latin-1").rstrip("\r\n"))
        request = RecordedRequest(method, target, version, "", "", 80, "", header_lines, b"", received_at)
        length = int(request.header("Content-Length", "0") or 0)
        request.body = reader.read(length) if length else b""
        if len(request.body) < length:
            raise _ConnectionClosed()
        self._locate(request)
        return request

    @staticmethod
    def _locate(request: RecordedRequest) -> None:
        if request.target.lower().startswith("http://"):
            parts = urlsplit(request.target)
            host, port = (parts.hostname or "").lower(), parts.port or 80
            raw_path, query = parts.path or "/", parts.query
        else:  # origin form: a client that talks to us as a server
            host_header = request.header("Host", "")
            host, _, port_text = host_header.partition(":")
            host, port = host.lower(), int(port_text or 80)
            raw_path, _, query = request.target.partition("?")
        request.host, request.port, request.path = host, port, unquote(raw_path)
        authority = host if port == 80 else f"{host}:{port}"
        request.url = f"http://{authority}{raw_path}" + (f"?{query}" if query else "")

    def _record(self, request: RecordedRequest) -> None:
        with self._lock:
            self._requests.append(request)
            self._lock.notify_all()
        if request.is_event and self._on_event is not None:
            self._on_event(request)

    def _take_fault(self, request: RecordedRequest) -> Optional[Fault]:
        key = (request.host, request.port, request.path)
        with self._lock:
            fault = self._faults.get(key)
            if fault is not None and fault.times is not None:
                fault.times -= 1
                if fault.times <= 0:
                    del self._faults[key]
            return fault

    def _answer(self, connection: socket.socket, request: RecordedRequest) -> bool:
        """Sends the answer; False when the connection must be closed afterwards."""
        fault = self._take_fault(request) or Fault()
        if fault.delay and self._stopping.wait(fault.delay):
            return False
        with self._lock:
            blackholed = request.is_event and self._events_blackholed
        if fault.hang or blackholed:
            self._stopping.wait()
            return False

        if fault.status is not None:
            status, content_type, body = fault.status, fault.content_type, fault.body
        else:
            status, content_type, body = self._normal_answer(request)
        body_length = len(body) if isinstance(body, bytes) else os.path.getsize(body)
        keep_alive = self._wants_keep_alive(request) and not fault.no_content_length and fault.drop_after is None

        head = [f"HTTP/1.1 {status} {_REASONS.get(status, 'Status')}", f"Content-Type: {content_type}"]
        if not fault.no_content_length:
            head.append(f"Content-Length: {body_length}")
        head.append("Connection: keep-alive" if keep_alive else "Connection: close")
        connection.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1"))
        if request.method != "HEAD":
            self._send_body(connection, body, fault.drop_after)
        return keep_alive

    @staticmethod
    def _send_body(connection: socket.socket, body, limit: Optional[int]) -> None:
        if isinstance(body, bytes):
            connection.sendall(body if limit is None else body[:limit])
            return
        remaining = limit
        with open(body, "rb") as stream:
            while remaining is None or remaining > 0:
                chunk = stream.read(65536 if remaining is None else min(65536, remaining))
                if not chunk:
                    break
                connection.sendall(chunk)
                if remaining is not None:
                    remaining -= len(chunk)

    @staticmethod
    def _wants_keep_alive(request: RecordedRequest) -> bool:
        tokens = ",".join(request.header_values("Connection") + request.header_values("Proxy-Connection")).lower()
        if "close" in tokens:
            return False
        return request.version == "HTTP/1.1" or "keep-alive" in tokens

    def _normal_answer(self, request: RecordedRequest):
        """(status, content type, body as bytes or a file path)."""
        if request.host == EVENTS_HOST and request.path == EVENTS_PATH:
            if request.method != "POST":
                return 405, "text/html", _html_page(405, "The event service takes POST only.")
            return 200, "text/xml; charset=utf-8", SOAP_RESPONSE
        if request.method not in ("GET", "HEAD"):
            return 405, "text/html", _html_page(405, f"{request.method} is not served here.")
        host_root = os.path.join(self.docroot, request.host)
        file_path = os.path.realpath(os.path.join(host_root, request.path.lstrip("/")))
        if not file_path.startswith(host_root + os.sep) or not os.path.isfile(file_path):
            return 404, "text/html", _html_page(404, f"{request.url} was not found on this server.")
        content_type = _CONTENT_TYPES.get(os.path.splitext(file_path)[1].lower()) or (
            mimetypes.guess_type(file_path)[0] or "application/octet-stream")
        return 200, content_type, file_path


def _html_page(status: int, message: str) -> bytes:
    title = f"{status} {_REASONS.get(status, '')}".strip()
    return f"<html><head><title>{title}</title></head><body><h1>{title}</h1><p>{message}</p></body></html>".encode()


def event_line(request: RecordedRequest) -> str:
    """"category | data", as the demo prints events."""
    try:
        event = parse_event_body(request.body)
        return f"{event.category} | {event.data}"
    except EventParseError:
        return f"<malformed event> | {request.body!r}"


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free port)")
    parser.add_argument("--docroot", required=True, help="folder with one subfolder per host")
    parser.add_argument("--faults", help='JSON file: {"faults": [{"url": ..., "status": ...}], "blackhole_events": false}')
    parser.add_argument("--events-log", help="file to which each event is appended as 'category | data'")
    args = parser.parse_args(argv)

    log = open(args.events_log, "a", encoding="utf-8") if args.events_log else None

    def print_event(request: RecordedRequest) -> None:
        line = event_line(request)
        print(line, flush=True)
        if log is not None:
            log.write(line + "\n")
            log.flush()

    server = TestServer(args.docroot, args.port, on_event=print_event)
    if args.faults:
        server.load_faults(args.faults)
    stop_requested = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop_requested.set())
    signal.signal(signal.SIGINT, lambda *_: stop_requested.set())
    with server:
        print(f"Test server listening on 127.0.0.1:{server.port}", flush=True)
        stop_requested.wait()
    if log is not None:
        log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
