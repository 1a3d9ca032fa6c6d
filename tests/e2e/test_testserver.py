"""The test server and the event checker, exercised as WinINet uses them: through the proxy."""

import dataclasses
import http.client
import json
import os
import signal
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.request

import pytest

from soap_events import EVENTS_HOST, build_event_body, check_event_request, check_event_requests, mac_for
from testserver import SOAP_RESPONSE, Fault, RecordedRequest, TestServer

HERE = os.path.dirname(os.path.abspath(__file__))
DOCROOT = os.path.join(HERE, "docroot")
CLICKONCE = "http://download.kelvara.example/software/lantern-rise/clickonce"
APP_MANIFEST_URL = CLICKONCE + "/Application%20Files/LanternRise_1_0_0_0/LanternRise.exe.manifest"
APP_MANIFEST_FILE = os.path.join(DOCROOT, "download.kelvara.example", "software", "lantern-rise", "clickonce",
                                 "Application Files", "LanternRise_1_0_0_0", "LanternRise.exe.manifest")
EVENTS_URL = f"http://{EVENTS_HOST}:80/WebService.php"
TXNID = "0123456789ABCDEF0123"


@pytest.fixture
def server():
    with TestServer(DOCROOT) as running:
        yield running


def fetch(server, url, timeout=10):
    """GET through the proxy: (status, headers, body)."""
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({"http": f"http://127.0.0.1:{server.port}"}))
    try:
        with opener.open(url, timeout=timeout) as response:
            return response.status, response.headers, response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def event_headers(body: bytes) -> dict:
    return {"Content-Type": "text/xml; charset=utf-8", "SOAPAction": '"urn:EventsTrackerAction"',
            "Accept-Encoding": "identity", "User-Agent": "Kelvara Events Tracker", "Host": EVENTS_HOST,
            "Content-Length": str(len(body))}


def post_event(server, category, data, txnid=TXNID, timeout=10):
    body = build_event_body(category, data, txnid, mac_for(txnid))
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=timeout)
    try:
        connection.putrequest("POST", EVENTS_URL, skip_host=True, skip_accept_encoding=True)
        for name, value in event_headers(body).items():
            connection.putheader(name, value)
        connection.endheaders(body)
        response = connection.getresponse()
        return response.status, response.getheader("Content-Type"), response.read()
    finally:
        connection.close()


def recorded_event(body: bytes, header_overrides=None, extra_lines=()) -> RecordedRequest:
    headers = dict(event_headers(body), **(header_overrides or {}))
    lines = [f"{name}: {value}" for name, value in headers.items() if value is not None] + list(extra_lines)
    return RecordedRequest("POST", EVENTS_URL, "HTTP/1.1", "", EVENTS_HOST, 80, "/WebService.php", lines, body, 0.0)


# --- serving files ------------------------------------------------------------------------------

@pytest.mark.parametrize("url, status, expected_file", [
    (APP_MANIFEST_URL, 200, APP_MANIFEST_FILE),  # percent-encoded space in the path
    (CLICKONCE + "/missing.deploy", 404, None),
    ("http://download.kelvara.example/../../etc/passwd", 404, None),
    ("http://unknown.example/software/lantern-rise/clickonce/KelvaraLanternRise.application", 404, None),
])
def test_serves_files_per_host_from_the_document_root(server, url, status, expected_file):
    code, headers, body = fetch(server, url)
    assert code == status
    assert headers["Content-Length"] == str(len(body))
    if expected_file:
        with open(expected_file, "rb") as stream:
            assert body == stream.read()
    else:
        assert body.startswith(b"<html>") and b"404" in body


def test_keeps_connections_alive_and_records_requests_in_order(server):
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
    paths = ["/software/prerequisites/kelvaraca-x509.cer", "/software/lantern-rise/clickonce/KelvaraLanternRise.application"]
    sockets = []
    for path in paths:
        connection.request("GET", f"http://download.kelvara.example:80{path}", headers={"User-Agent": "probe"})
        response = connection.getresponse()
        assert response.status == 200 and response.getheader("Connection") == "keep-alive"
        response.read()
        sockets.append(connection.sock)
    connection.close()
    assert sockets[0] is sockets[1], "the second request needed a new connection"
    recorded = server.requests
    assert [request.path for request in recorded] == paths
    assert recorded[0].url == "http://download.kelvara.example" + paths[0]
    assert recorded[0].request_line == f"GET http://download.kelvara.example:80{paths[0]} HTTP/1.1"
    assert recorded[0].header("user-agent") == "probe"


# --- the event service and the event checker ----------------------------------------------------

def test_answers_events_and_parses_them_with_entities_unescaped(server):
    status, content_type, body = post_event(server, "Exception", 'Can not parse <manifest> & "retry"')
    assert (status, content_type, body) == (200, "text/xml; charset=utf-8", SOAP_RESPONSE)
    [request] = server.event_requests()
    assert b"Can not parse &lt;manifest&gt; &amp; \"retry\"" in request.body
    event = check_event_request(request)
    assert (event.source, event.category, event.data, event.txnid) == (
        "Lantern Rise", "Exception", 'Can not parse <manifest> & "retry"', TXNID)
    assert server.events() == [event]
    assert [name for name, _ in request.headers] == list(event_headers(request.body))


def _replace_once(text: bytes, old: bytes, new: bytes) -> bytes:
    assert old in text
    return text.replace(old, new, 1)


GOOD_BODY = build_event_body("Installer started", "", TXNID, mac_for(TXNID))


@pytest.mark.parametrize("body, header_overrides, extra_lines", [
    pytest.param(_replace_once(GOOD_BODY, mac_for(TXNID).encode(), b"0" * 40), None, (), id="wrong mac"),
    pytest.param(build_event_body("c", "", TXNID.lower(), mac_for(TXNID.lower())), None, (), id="lowercase txnid"),
    pytest.param(build_event_body("c", "", TXNID[:19], mac_for(TXNID[:19])), None, (), id="short txnid"),
    pytest.param(_replace_once(GOOD_BODY, b"<data xsi:type=\"xsd:string\"></data>",
                               b"<data xsi:type=\"xsd:string\">a & b</data>"), None, (), id="unescaped ampersand"),
    pytest.param(_replace_once(GOOD_BODY, b"<data xsi:type=\"xsd:string\"></data>",
                               b"<data xsi:type=\"xsd:string\">a > b</data>"), None, (), id="unescaped greater-than"),
    pytest.param(b"\xef\xbb\xbf" + GOOD_BODY, None, (), id="byte-order mark"),
    pytest.param(_replace_once(GOOD_BODY, b"><s:Body", b">\n<s:Body"), None, (), id="white space"),
    pytest.param(_replace_once(GOOD_BODY, b"Lantern Rise", b"Lantern"), None, (), id="wrong source"),
    pytest.param(GOOD_BODY, {"SOAPAction": "urn:EventsTrackerAction"}, (), id="unquoted SOAPAction"),
    pytest.param(GOOD_BODY, {"Content-Type": "text/xml"}, (), id="no charset"),
    pytest.param(GOOD_BODY, {"Accept-Encoding": None}, (), id="no Accept-Encoding"),
    pytest.param(GOOD_BODY, {"User-Agent": "Lantern Rise Installer"}, (), id="wrong user agent"),
    pytest.param(GOOD_BODY, {"Content-Length": "1"}, (), id="wrong length"),
    pytest.param(GOOD_BODY, None, ("Content-Type: text/xml; charset=utf-8",), id="header sent twice"),
])
def test_event_checker_rejects_every_deviation(body, header_overrides, extra_lines):
    check_event_request(recorded_event(GOOD_BODY))  # the unmodified request passes
    with pytest.raises((AssertionError, ValueError)):
        check_event_request(recorded_event(body, header_overrides, extra_lines))


def test_event_checker_rejects_a_repeated_txnid():
    with pytest.raises(AssertionError, match="repeated txnid"):
        check_event_requests([recorded_event(GOOD_BODY), recorded_event(GOOD_BODY)])


# --- faults -------------------------------------------------------------------------------------

def test_error_status_applies_the_given_number_of_times(server):
    server.set_fault(APP_MANIFEST_URL, Fault(status=404, body=b"gone", times=2))
    answers = [fetch(server, APP_MANIFEST_URL)[::2] for _ in range(3)]
    assert answers[:2] == [(404, b"gone")] * 2
    assert answers[2][0] == 200


def test_delay_holds_the_answer(server):
    server.set_fault(APP_MANIFEST_URL, Fault(delay=1.0))
    started = time.monotonic()
    assert fetch(server, APP_MANIFEST_URL)[0] == 200
    assert time.monotonic() - started >= 1.0


def test_drop_after_sends_the_real_length_and_part_of_the_body(server):
    server.set_fault(APP_MANIFEST_URL, Fault(drop_after=100))
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
    connection.request("GET", APP_MANIFEST_URL)
    response = connection.getresponse()
    assert int(response.getheader("Content-Length")) == os.path.getsize(APP_MANIFEST_FILE)
    with pytest.raises(http.client.IncompleteRead) as incomplete:
        response.read()
    assert len(incomplete.value.partial) == 100
    connection.close()


def test_without_content_length_the_body_ends_with_the_connection(server):
    server.set_fault(APP_MANIFEST_URL, Fault(no_content_length=True))
    status, headers, body = fetch(server, APP_MANIFEST_URL)
    assert status == 200 and headers["Content-Length"] is None and headers["Connection"] == "close"
    assert body == open(APP_MANIFEST_FILE, "rb").read()


def test_hung_and_black_holed_requests_do_not_block_others_and_end_with_the_server():
    server = TestServer(DOCROOT).start()
    server.set_fault(APP_MANIFEST_URL, Fault(hang=True))
    server.blackhole_events()
    outcomes = {}

    def attempt(name, call):
        try:
            outcomes[name] = call()
        except (OSError, http.client.HTTPException) as error:
            outcomes[name] = error

    hung = [threading.Thread(target=attempt, args=("file", lambda: fetch(server, APP_MANIFEST_URL, timeout=30))),
            threading.Thread(target=attempt, args=("event", lambda: post_event(server, "Installer started", "",
                                                                                timeout=30)))]
    for thread in hung:
        thread.start()
    assert server.wait_for(lambda: len(server.requests) == 2, timeout=10)
    assert server.categories() == ["Installer started"]  # read and recorded, not answered

    others = [threading.Thread(target=attempt, args=(f"other{i}", lambda: fetch(server, CLICKONCE + "/KelvaraLanternRise.application")))
              for i in range(20)]
    for thread in others:
        thread.start()
    for thread in others:
        thread.join(10)
    assert all(outcomes[f"other{i}"][0] == 200 for i in range(20))
    assert "file" not in outcomes and "event" not in outcomes

    started = time.monotonic()
    server.stop()
    for thread in hung:
        thread.join(10)
    assert time.monotonic() - started < 5
    assert isinstance(outcomes["file"], Exception) and isinstance(outcomes["event"], Exception)


# --- standalone mode ----------------------------------------------------------------------------

def test_standalone_mode_prints_events_and_reads_faults(tmp_path):
    faults = tmp_path / "faults.json"
    faults.write_text(json.dumps({"faults": [{"url": APP_MANIFEST_URL, "status": 503, "body": "busy"}]}))
    log = tmp_path / "events.log"
    process = subprocess.Popen([sys.executable, os.path.join(HERE, "testserver.py"), "--port", "0", "--docroot",
                                DOCROOT, "--faults", str(faults), "--events-log", str(log)],
                               stdout=subprocess.PIPE, text=True)
    try:
        first_line = process.stdout.readline()
        assert first_line.startswith("Test server listening on 127.0.0.1:")
        port = int(first_line.rsplit(":", 1)[1])
        probe = dataclasses.make_dataclass("Probe", [("port", int)])(port)
        assert fetch(probe, APP_MANIFEST_URL)[::2] == (503, b"busy")
        assert post_event(probe, "Memory Amount", "4096 MB")[0] == 200
        assert process.stdout.readline() == "Memory Amount | 4096 MB\n"
    finally:
        process.send_signal(signal.SIGTERM)
        assert process.wait(timeout=10) == 0
    assert log.read_text() == "Memory Amount | 4096 MB\n"
