"""Deployment failures: each ends in one "Fetchwright" box with the exact reason, the same text
reported as "Exception", and exit code 1.

Every replacement manifest is the sample publication's own file with exactly one change, so the
change is what the installer trips over."""

import os
import re
import time
from typing import Callable, List, Optional
from urllib.parse import urljoin

import pytest

from desktop import Window
from scenario import DEPLOYMENT_MANIFEST_URL, INSTALLER_TITLE, Scenario
from soap_events import check_event_requests
from testserver import Fault

HERE = os.path.dirname(os.path.abspath(__file__))
PUBLICATION = os.path.join(HERE, "docroot", "download.kelvara.example", "software", "lantern-rise", "clickonce")
PUBLICATION_URL = DEPLOYMENT_MANIFEST_URL.rsplit("/", 1)[0] + "/"
VERSION_FOLDER = "Application Files/LanternRise_1_0_0_0/"
APP_MANIFEST_URL = PUBLICATION_URL + VERSION_FOLDER + "LanternRise.exe.manifest"
DEPLOYMENT_MANIFEST = "KelvaraLanternRise.application"

FAILURE_CAPTION = "Fetchwright"
CERTIFICATE_NOTICE = (
    "Lantern Rise will now install Kelvara certificate to this computer. It is required for your security, and it "
    "will allow your computer to check Kelvara products digital signatures and verify if they are original and "
    "secure. Windows will now ask you if you agree to install Kelvara certificate to this computer, please click Yes.")
RETRY_QUESTION = (
    "Can not download files required to install Kelvara Lantern Rise! Please check your Internet connection, as well "
    "as make you sure that your firewall, antivirus or other security software doesn't block Kelvara Lantern Rise "
    "Installer from accessing Internet, and try again.")
UNSAFE_PATH_MESSAGE = ("Can not install Kelvara Lantern Rise, because its manifest names an unsafe path. "
                       "Contact support. Path: ")

EVENTS_BEFORE_DEPLOYMENT = ["Installer started", "Windows Version", "Memory Amount",
                            "Certificate installation succeeded", "ClickOnce Installation Started"]
DOWNLOADED = ["Application manifest downloaded"]
PARSED = DOWNLOADED + ["Application manifest parsed", "Executable manifest downloaded"]
MIRRORED = PARSED + ["Executable manifest parsed", "Application files downloaded"]
CLOSING_EVENTS = ["Exception", "Installation failed", "Installer exited"]
EVENTS_WITH_DATA = {"Windows Version", "Memory Amount", "Exception", "Can not execute ClickOnce manifest"}


# --- the publication, changed in one place ---------------------------------------------------

def publication_text(relative_path: str) -> str:
    with open(os.path.join(PUBLICATION, *relative_path.split("/")), encoding="utf-8") as stream:
        return stream.read()


def changed(relative_path: str, old: str, new: str) -> bytes:
    text = publication_text(relative_path)
    assert text.count(old) == 1, f"{old!r} is not in {relative_path} exactly once"
    return text.replace(old, new).encode("utf-8")


def deployment_manifest_with(old: str, new: str) -> bytes:
    return changed(DEPLOYMENT_MANIFEST, old, new)


def application_manifest_with(old: str, new: str) -> bytes:
    return changed(VERSION_FOLDER + "LanternRise.exe.manifest", old, new)


PROVIDER_CODEBASE = f'codebase="{DEPLOYMENT_MANIFEST_URL}"'
APP_MANIFEST_CODEBASE = r'codebase="Application Files\LanternRise_1_0_0_0\LanternRise.exe.manifest"'
PREREQUISITE_TYPE = ' dependencyType="preRequisite"'
README_FILE = '<file name="readme.txt" size="71" />'


def serve(scenario: Scenario, url: str, body: bytes) -> None:
    scenario.server.set_fault(url, Fault(status=200, body=body, content_type="application/x-ms-manifest"))


# --- the screen ------------------------------------------------------------------------------

def wait_for_message_box(scenario: Scenario, *captions: str, timeout: float = 90) -> Window:
    """The first box with one of these captions; fails at once when the installer ends without one."""
    deadline = time.monotonic() + timeout
    while True:
        windows = scenario.desktop.windows()
        for window in windows:
            if window.is_message_box and window.title in captions:
                return window
        if not scenario.installer.running:
            raise AssertionError(f"the installer ended (exit code {scenario.installer.wait(timeout=1)}) without "
                                 f"a {captions} box; events: {scenario.server.categories()}")
        if time.monotonic() >= deadline:
            raise AssertionError(f"no {captions} box within {timeout} s; windows: "
                                 f"{[(window.title, window.message_text) for window in windows]}")
        time.sleep(0.3)


def button_captions(box: Window) -> List[str]:
    return [control.text.replace("&", "") for control in box.controls_of("Button") if control.visible]


def click_and_see_it_close(scenario: Scenario, box: Window, button: str, shot_name: str) -> None:
    scenario.screenshot(shot_name)
    scenario.desktop.click_button(box, button)
    deadline = time.monotonic() + 30
    while any(window.hwnd == box.hwnd for window in scenario.desktop.windows()):
        assert time.monotonic() < deadline, f"{box.title!r} box still open after clicking {button}"
        time.sleep(0.2)


def answer_certificate_notice(scenario: Scenario) -> None:
    box = wait_for_message_box(scenario, INSTALLER_TITLE)
    assert (box.message_text, button_captions(box)) == (CERTIFICATE_NOTICE, ["OK"])
    click_and_see_it_close(scenario, box, "OK", "certificate-notice")


def fail_installation(scenario: Scenario, before_failure: Optional[Callable[[Scenario], None]] = None) -> str:
    """Runs the installer to its failure box as a person would, answers it, checks the exit code
    and that the box's text is what the event service got as "Exception"; returns the text."""
    installer = scenario.start_installer()
    answer_certificate_notice(scenario)
    if before_failure:
        before_failure(scenario)
    box = wait_for_message_box(scenario, FAILURE_CAPTION)
    assert button_captions(box) == ["OK"]
    click_and_see_it_close(scenario, box, "OK", "failure")
    assert installer.wait(timeout=60) == 1
    return box.message_text


def check_events(scenario: Scenario, message: str, steps: List[str]) -> list:
    """Every event request well-formed, in the order of a run that failed after these steps, and
    only the events that describe something carry data."""
    events = check_event_requests(scenario.server.event_requests())
    assert [event.category for event in events] == EVENTS_BEFORE_DEPLOYMENT + steps + CLOSING_EVENTS
    assert events[-3].data == message
    assert [event for event in events if event.data and event.category not in EVENTS_WITH_DATA] == []
    return events


# --- the scenarios ---------------------------------------------------------------------------

def test_unreachable_deployment_manifest_is_retried_on_schedule_then_asked_about(scenario, record_property):
    scenario.server.set_fault(DEPLOYMENT_MANIFEST_URL, Fault(status=404, body=b"gone"))
    seen = {}

    def cancel_retry_question(scenario):
        box = wait_for_message_box(scenario, INSTALLER_TITLE, timeout=60)
        seen["question_at"] = time.monotonic()
        assert (box.message_text, button_captions(box)) == (RETRY_QUESTION, ["Retry", "Cancel"])
        click_and_see_it_close(scenario, box, "Cancel", "retry-question")

    message = fail_installation(scenario, before_failure=cancel_retry_question)

    assert message == ("Kelvara Lantern Rise application manifest downloading failed. Check your Internet connection "
                       "and try again. Contact support if you need help.")
    check_events(scenario, message, steps=[])
    attempts = [request.received_at for request in scenario.server.requests if request.url == DEPLOYMENT_MANIFEST_URL]
    assert len(attempts) == 5, "attempts after Cancel, or too few before the question"
    pauses = [later - earlier for earlier, later in zip(attempts, attempts[1:])]
    pauses.append(seen["question_at"] - attempts[-1])  # found by polling: up to a second late
    record_property("report:pauses (s)", [round(pause, 1) for pause in pauses])
    for pause, expected in zip(pauses, [5, 6, 7, 8, 9]):
        assert abs(pause - expected) <= 1.5, f"pauses {pauses}, expected 5, 6, 7, 8 and 9 s"


@pytest.mark.parametrize("url, body, expected, steps", [
    pytest.param(DEPLOYMENT_MANIFEST_URL, deployment_manifest_with("</asmv1:assembly>", ""),
                 re.escape("Can not parse application manifest XML file. ") + ".+", DOWNLOADED,
                 id="deployment manifest not well-formed"),
    pytest.param(DEPLOYMENT_MANIFEST_URL,
                 deployment_manifest_with(f"    <deploymentProvider {PROVIDER_CODEBASE} />\n", ""),
                 re.escape("Can not find deployment provider node in manifest."), DOWNLOADED,
                 id="no deploymentProvider"),
    pytest.param(DEPLOYMENT_MANIFEST_URL,
                 deployment_manifest_with("<deploymentProvider ", "<asmv2:deploymentProvider "),
                 re.escape("Can not find deployment provider node in manifest."), DOWNLOADED,
                 id="deploymentProvider with a prefix"),
    pytest.param(DEPLOYMENT_MANIFEST_URL,
                 deployment_manifest_with(PROVIDER_CODEBASE, f'codebase="{DEPLOYMENT_MANIFEST}"'),
                 re.escape("Invalid application codebase."), DOWNLOADED,
                 id="provider codebase without a slash"),
    pytest.param(APP_MANIFEST_URL, application_manifest_with(PREREQUISITE_TYPE, ""),
                 re.escape("Can not get XML attribute value."), PARSED,
                 id="dependentAssembly without dependencyType"),
])
def test_broken_manifest_stops_the_installation_with_its_reason(scenario, url, body, expected, steps):
    serve(scenario, url, body)

    message = fail_installation(scenario)

    assert re.fullmatch(expected, message, re.DOTALL), message
    check_events(scenario, message, steps)


def temp_folder(scenario: Scenario) -> str:
    """The host path of the prefix's %TEMP%."""
    result = scenario.prefix.run(["cmd", "/c", "echo", "%TEMP%"])
    windows = result.stdout.strip()
    assert windows[:3].upper() == "C:\\", windows
    path = os.path.join(scenario.prefix.path, "drive_c", *windows[3:].split("\\"))
    assert os.path.isdir(path), path
    return path


def files_under(folder: str) -> List[str]:
    return sorted(os.path.relpath(os.path.join(parent, name), folder).replace(os.sep, "/")
                  for parent, _, names in os.walk(folder) for name in names)


ESCAPED_APP_MANIFEST = r"..\..\..\Escaped\LanternRise.exe.manifest"
ESCAPED_FILE = r"..\..\..\Escaped\payload.dll"
VERSION_FOLDER_COPIES = [VERSION_FOLDER + DEPLOYMENT_MANIFEST, VERSION_FOLDER + "LanternRise.exe.manifest"]
# Long enough that the whole message passes 511 characters.
LONG_ESCAPED_FILE = "..\\..\\..\\Escaped\\" + "\\".join(f"folder{index:02d}" for index in range(48)) + "\\payload.dll"


@pytest.mark.parametrize("manifest_url, body, escaped_url, escaped_body, path, steps, mirrored", [
    pytest.param(DEPLOYMENT_MANIFEST_URL,
                 deployment_manifest_with(APP_MANIFEST_CODEBASE, f'codebase="{ESCAPED_APP_MANIFEST}"'),
                 urljoin(PUBLICATION_URL, ESCAPED_APP_MANIFEST.replace("\\", "/")),
                 publication_text(VERSION_FOLDER + "LanternRise.exe.manifest").encode("utf-8"),
                 ESCAPED_APP_MANIFEST, DOWNLOADED, [DEPLOYMENT_MANIFEST],
                 id="application manifest codebase"),
    pytest.param(APP_MANIFEST_URL,
                 application_manifest_with(README_FILE, f'{README_FILE}\n  <file name="{ESCAPED_FILE}" size="4" />'),
                 urljoin(PUBLICATION_URL + VERSION_FOLDER, ESCAPED_FILE.replace("\\", "/") + ".deploy"),
                 b"MZ\0\0", ESCAPED_FILE, PARSED, [DEPLOYMENT_MANIFEST] + VERSION_FOLDER_COPIES,
                 id="listed file"),
    pytest.param(APP_MANIFEST_URL,
                 application_manifest_with(README_FILE,
                                           f'{README_FILE}\n  <file name="{LONG_ESCAPED_FILE}" size="4" />'),
                 urljoin(PUBLICATION_URL + VERSION_FOLDER, LONG_ESCAPED_FILE.replace("\\", "/") + ".deploy"),
                 b"MZ\0\0", LONG_ESCAPED_FILE, PARSED, [DEPLOYMENT_MANIFEST] + VERSION_FOLDER_COPIES,
                 id="long listed file"),
])
def test_unsafe_manifest_path_stops_before_anything_lands_outside_the_mirror(
        scenario, manifest_url, body, escaped_url, escaped_body, path, steps, mirrored):
    serve(scenario, manifest_url, body)
    serve(scenario, escaped_url, escaped_body)  # so that only the installer's check can stop it
    temp = temp_folder(scenario)
    temp_before = set(os.listdir(temp))

    message = fail_installation(scenario)

    assert message == UNSAFE_PATH_MESSAGE + path
    check_events(scenario, message, steps)
    assert not [request.url for request in scenario.server.requests if "escaped" in request.path.lower()]
    drive_c = os.path.join(scenario.prefix.path, "drive_c")
    escaped = [os.path.join(parent, name) for parent, folders, names in os.walk(drive_c)
               for name in folders + names if name.lower() == "escaped"]
    assert escaped == []
    new_in_temp = sorted(set(os.listdir(temp)) - temp_before)
    assert len(new_in_temp) == 1 and re.fullmatch(r"[0-9A-F]{16}", new_in_temp[0]), new_in_temp
    assert files_under(os.path.join(temp, new_in_temp[0])) == sorted(mirrored)


APPLICATION_ASSOCIATION = r"HKEY_LOCAL_MACHINE\Software\Classes\.application"
WINE_SHELL_CAPTION = "Error"


def test_deployment_manifest_the_shell_cannot_open_is_reported_with_the_shell_error(scenario, record_property):
    result = scenario.prefix.run(["reg", "delete", APPLICATION_ASSOCIATION, "/f"])
    assert result.returncode == 0 and not scenario.prefix.key_exists(APPLICATION_ASSOCIATION), result.stderr

    def answer_shell_error_box(scenario):
        # Wine's shell shows its own box first unless the launch asks for no UI (SEE_MASK_FLAG_NO_UI).
        box = wait_for_message_box(scenario, WINE_SHELL_CAPTION, FAILURE_CAPTION, timeout=60)
        if box.title == WINE_SHELL_CAPTION:
            record_property("report:shell box", box.message_text)
            assert button_captions(box) == ["OK"]
            click_and_see_it_close(scenario, box, "OK", "shell-error")

    message = fail_installation(scenario, before_failure=answer_shell_error_box)

    assert message == "Can not execute ClickOnce manifest. Contact support."
    events = check_events(scenario, message, MIRRORED + ["Can not execute ClickOnce manifest"])
    shell_error = re.fullmatch(r"Error code: (\d+)", events[-4].data)
    assert shell_error and int(shell_error.group(1)) <= 32, events[-4].data
    record_property("report:shell error code", shell_error.group(1))
    assert scenario.clickonce_record() is None
