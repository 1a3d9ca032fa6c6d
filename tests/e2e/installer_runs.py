"""Installer runs that several tests share."""

import re
import time
from typing import Callable, List

from desktop import Window
from scenario import CERTIFICATE_URL, Scenario, is_installer_dialog
from soap_events import check_event_requests
from testserver import Fault

SUCCESS_EVENTS = [
    "Installer started", "Windows Version", "Memory Amount", "Certificate installation succeeded",
    "ClickOnce Installation Started", "Application manifest downloaded", "Application manifest parsed",
    "Executable manifest downloaded", "Executable manifest parsed", "Application files downloaded",
    "ClickOnce installer executed", "Installation succeeded", "Installer exited",
]
_WINDOWS_VERSION = re.compile(r"Windows .+ \(\d+ cores\)( Service Pack \d+\.\d+)?")
_MEMORY_AMOUNT = re.compile(r"\d+ M")


def check_run_events(requests, expected_categories: List[str], clickonce_status: str = "Status: success") -> None:
    """Every request a well-formed event, the categories exactly these, and the data of each right:
    the system's description, its memory, the engine's status and nothing for the others."""
    events = check_event_requests(requests)
    assert [event.category for event in events] == expected_categories
    data = {event.category: event.data for event in events}
    assert _WINDOWS_VERSION.fullmatch(data.pop("Windows Version")), events
    assert _MEMORY_AMOUNT.fullmatch(data.pop("Memory Amount")), events
    assert data.pop("ClickOnce installer executed") == clickonce_status
    assert set(data.values()) == {""}, f"unexpected event data: {data}"


def cancel_while_certificate_is_fetched(scenario: Scenario, on_dialog: Callable[[Window], None] = None) -> int:
    """Runs the installer and presses Cancel on its dialog while the worker waits for the root
    certificate, which the server holds back; returns the exit code. on_dialog sees the dialog
    as it is just before the press.

    Waiting for that request first makes the order of events certain: the worker has sent all
    it sends before the certificate, and its certificate box cannot cover the dialog."""
    scenario.server.set_fault(CERTIFICATE_URL, Fault(hang=True))
    installer = scenario.start_installer()
    scenario.desktop.wait_for_window(is_installer_dialog, timeout=90, what="installer dialog")
    assert scenario.server.wait_for(lambda: any(r.url == CERTIFICATE_URL for r in scenario.server.requests),
                                    timeout=60), "the installer never asked for the root certificate"
    dialog = scenario.desktop.wait_for_window(is_installer_dialog, timeout=10, what="installer dialog")
    scenario.screenshot("dialog")
    if on_dialog:
        on_dialog(dialog)
    scenario.desktop.click_button(dialog, "Cancel")
    return installer.wait(timeout=60)


class MessageBoxAnswerer:
    """Watches the screen while the installer runs, as a person at it would: each message box that
    appears is read, kept as a screenshot and answered by clicking its button.

    A modal box blocks the run until it is answered, so polling cannot miss one."""

    POLL_SECONDS = 0.3
    RECLICK_AFTER_SECONDS = 3.0  # a box still there this long after its click gets another one

    def __init__(self, scenario: Scenario, button: str = "OK"):
        self._scenario = scenario
        self._button = button
        self._clicked_at = {}  # hwnd -> time of the last click
        self.boxes = []  # the boxes seen, in order: desktop.Window as first read

    def look(self) -> None:
        """One look at the screen; answers every message box on it."""
        for window in self._scenario.desktop.windows():
            if not window.is_message_box:
                continue
            clicked_at = self._clicked_at.get(window.hwnd)
            if clicked_at is None:
                self.boxes.append(window)
                self._scenario.screenshot("message-box")
            elif time.monotonic() - clicked_at < self.RECLICK_AFTER_SECONDS:
                continue
            self._scenario.desktop.click_button(window, self._button)
            self._clicked_at[window.hwnd] = time.monotonic()

    def until(self, condition: Callable[[], bool], timeout: float, what: str) -> None:
        """Keeps answering boxes until condition() holds."""
        deadline = time.monotonic() + timeout
        while not condition():
            if time.monotonic() >= deadline:
                seen = [(box.title, box.message_text) for box in self.boxes]
                raise AssertionError(f"{what} did not happen within {timeout} s; message boxes seen: {seen}")
            self.look()
            time.sleep(self.POLL_SECONDS)

    def until_exit(self, timeout: float = 120) -> int:
        """Answers boxes for the rest of the run; the installer's exit code."""
        installer = self._scenario.installer
        self.until(lambda: not installer.running, timeout, "the installer's exit")
        return installer.wait(timeout=10)
