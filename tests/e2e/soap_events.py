"""The event-tracking web service's AddEvent request: parsing, rebuilding and checking.

The installer must send each event byte for byte in one fixed form, so the checker rebuilds
the expected body from the parsed fields and compares bytes rather than parsing leniently.
"""

import hashlib
import re
from dataclasses import dataclass
from typing import Iterable, List
from urllib.parse import urlsplit

SOURCE = "Lantern Rise"
MAC_KEY = "Pq7wLm2XvB9hTz4NcR8yKd"
EVENTS_HOST = "events.kelvara.example"
EVENTS_PATH = "/WebService.php"

_ENVELOPE_OPEN = (
    '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">'
    '<s:Body s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/" '
    'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
    'xmlns:xsd="http://www.w3.org/2001/XMLSchema">'
    '<q1:AddEvent xmlns:q1="urn:EventsTracker">'
)
_FIELDS = ("source", "category", "data", "txnid", "mac")
_ENVELOPE_CLOSE = "</q1:AddEvent></s:Body></s:Envelope>"

_BODY_PATTERN = re.compile(
    re.escape(_ENVELOPE_OPEN)
    + "".join(
        re.escape(f'<{name} xsi:type="xsd:string">') + "(.*?)" + re.escape(f"</{name}>")
        for name in _FIELDS
    )
    + re.escape(_ENVELOPE_CLOSE),
    re.DOTALL,
)

EXPECTED_HEADERS = {
    "Content-Type": "text/xml; charset=utf-8",
    "SOAPAction": '"urn:EventsTrackerAction"',
    "Accept-Encoding": "identity",
    "User-Agent": "Kelvara Events Tracker",
}


class EventParseError(ValueError):
    pass


@dataclass(frozen=True)
class Event:
    source: str
    category: str
    data: str
    txnid: str
    mac: str


def escape_text(text: str) -> str:
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def unescape_text(text: str) -> str:
    # &amp; last, so that "&amp;lt;" stays the literal text "&lt;".
    return text.replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&")


def mac_for(txnid: str) -> str:
    return hashlib.sha1((txnid + MAC_KEY).encode("ascii")).hexdigest()


def build_event_body(category: str, data: str, txnid: str, mac: str, source: str = SOURCE) -> bytes:
    values = (source, category, data, txnid, mac)
    inner = "".join(
        f'<{name} xsi:type="xsd:string">{escape_text(value)}</{name}>' for name, value in zip(_FIELDS, values)
    )
    return (_ENVELOPE_OPEN + inner + _ENVELOPE_CLOSE).encode("utf-8")


def parse_event_body(body: bytes) -> Event:
    try:
        text = body.decode("utf-8")
    except UnicodeDecodeError as error:
        raise EventParseError(f"event body is not UTF-8: {error}; body: {body!r}") from None
    match = _BODY_PATTERN.fullmatch(text)
    if match is None:
        raise EventParseError(f"event body does not have the AddEvent form: {body!r}")
    return Event(*(unescape_text(value) for value in match.groups()))


def check_event_request(request) -> Event:
    """Asserts that one recorded request (testserver.RecordedRequest) is a well-formed event.

    Returns the parsed event."""
    assert request.method == "POST", f"event sent with {request.method}"
    assert request.version == "HTTP/1.1", f"event sent with {request.version}"
    target = urlsplit(request.target)
    assert target.scheme == "http" and target.hostname == EVENTS_HOST, f"event sent to {request.target}"
    assert (target.port or 80) == 80 and target.path == EVENTS_PATH and not target.query, request.target

    for name, value in EXPECTED_HEADERS.items():
        values = request.header_values(name)
        assert values == [value], f"header {name}: expected [{value!r}], received {values!r}"
    assert request.header_values("Host") in (
        [EVENTS_HOST],
        [EVENTS_HOST + ":80"],
    ), f"Host header: {request.header_values('Host')!r}"
    assert request.header_values("Content-Length") == [str(len(request.body))], (
        f"Content-Length {request.header_values('Content-Length')!r} for a body of {len(request.body)} bytes"
    )

    body = request.body
    assert not body.startswith(b"\xef\xbb\xbf"), "event body starts with a byte-order mark"
    event = parse_event_body(body)
    expected = build_event_body(event.category, event.data, event.txnid, event.mac, source=event.source)
    assert body == expected, f"event body differs from its canonical form:\n received {body!r}\n expected {expected!r}"
    assert event.source == SOURCE, f"source {event.source!r}"
    assert re.fullmatch(r"[0-9A-F]{20}", event.txnid), f"txnid {event.txnid!r} is not 20 uppercase hex digits"
    assert event.mac == mac_for(event.txnid), f"mac {event.mac!r} does not match txnid {event.txnid}"
    return event


def check_event_requests(requests: Iterable) -> List[Event]:
    """check_event_request for each, and no transaction id used twice."""
    events = [check_event_request(request) for request in requests]
    txnids = [event.txnid for event in events]
    assert len(set(txnids)) == len(txnids), f"repeated txnid among {txnids}"
    return events
