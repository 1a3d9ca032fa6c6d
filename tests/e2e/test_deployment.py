"""A successful deployment of the sample publication: events, the certificate box, the mirror
folder the ClickOnce engine gets, the requests to the download server, the engine's exit code
and the dialog while the application downloads."""

import os
import re

from installer_runs import SUCCESS_EVENTS, MessageBoxAnswerer, check_run_events
from registry import root_certificate_key
from scenario import INSTALLER_TITLE, Scenario, is_installer_dialog
from testserver import Fault

HERE = os.path.dirname(os.path.abspath(__file__))
DOWNLOAD_HOST = "download.kelvara.example"
DOCROOT = os.path.join(HERE, "docroot", DOWNLOAD_HOST)
PUBLICATION_PATH = "/software/lantern-rise/clickonce/"
VERSION_FOLDER = "Application Files/LanternRise_1_0_0_0/"
DEMO_CERTIFICATE = os.path.join(DOCROOT, "software", "prerequisites", "kelvaraca-x509.cer")

CERTIFICATE_BOX_TEXT = (
    "Lantern Rise will now install Kelvara certificate to this computer. It is required for your security, and it "
    "will allow your computer to check Kelvara products digital signatures and verify if they are original and "
    "secure. Windows will now ask you if you agree to install Kelvara certificate to this computer, please click Yes.")

# The application manifest's files in the order it lists them (assemblies, then files), + ".deploy".
APPLICATION_FILES = ["LanternRise.exe.deploy", "Lantern.Core.dll.deploy", "LanternRise.exe.config.deploy",
                     "readme.txt.deploy", "de/LanternRise.resources.dll.deploy"]
# Mirror path -> the publication file it must equal byte for byte.
EXPECTED_MIRROR = {
    "KelvaraLanternRise.application": "KelvaraLanternRise.application",
    VERSION_FOLDER + "KelvaraLanternRise.application": "KelvaraLanternRise.application",
    VERSION_FOLDER + "LanternRise.exe.manifest": VERSION_FOLDER + "LanternRise.exe.manifest",
    **{VERSION_FOLDER + name: VERSION_FOLDER + name for name in APPLICATION_FILES},
}
PUBLICATION_AGENT = "Lantern Rise Installer"
CERTIFICATE_AGENT = "Kelvara Lantern Rise Installer"
# (path, user agent) of every GET to the download server, in order.
EXPECTED_DOWNLOADS = (
    [("/software/prerequisites/kelvaraca-x509.cer", CERTIFICATE_AGENT),
     (PUBLICATION_PATH + "KelvaraLanternRise.application", PUBLICATION_AGENT),
     (PUBLICATION_PATH + VERSION_FOLDER + "LanternRise.exe.manifest", PUBLICATION_AGENT)]
    + [(PUBLICATION_PATH + VERSION_FOLDER + name, PUBLICATION_AGENT) for name in APPLICATION_FILES])


def check_certificate_box(boxes):
    assert [(box.title, box.message_text) for box in boxes] == [(INSTALLER_TITLE, CERTIFICATE_BOX_TEXT)]
    assert [button.text for button in boxes[0].controls_of("Button")] == ["OK"]


def temp_folder(scenario: Scenario) -> str:
    """The host path of the prefix's %TEMP%."""
    result = scenario.prefix.run(["cmd", "/c", "echo %TEMP%"])
    windows = result.stdout.strip()
    assert re.fullmatch(r"[Cc]:\\.+", windows), f"%TEMP% is {windows!r}"
    return os.path.join(scenario.prefix.path, "drive_c", *windows[3:].split("\\"))


def files_under(folder: str):
    return sorted(os.path.relpath(os.path.join(directory, name), folder).replace(os.sep, "/")
                  for directory, _, names in os.walk(folder) for name in names)


def read(path: str) -> bytes:
    with open(path, "rb") as stream:
        return stream.read()


def check_mirror(folder: str):
    assert re.fullmatch(r"[0-9A-F]{16}", os.path.basename(folder)), folder
    assert files_under(folder) == sorted(EXPECTED_MIRROR)
    for mirrored, published in EXPECTED_MIRROR.items():
        assert read(os.path.join(folder, mirrored)) == read(os.path.join(DOCROOT, PUBLICATION_PATH[1:], published)), \
            f"{mirrored} differs from the publication's {published}"


def check_engine_record(record, mirror_folder_name: str):
    """The fake engine opened the deployment manifest in the mirror and found every file there."""
    assert record is not None, "the ClickOnce engine never ran"
    assert record["errors"] == [] and record["missing"] == [], record
    working_folder = record["workingFolder"].rstrip("\\")
    assert working_folder.endswith("\\" + mirror_folder_name), record
    # Wine's shell passes a full path when the launcher's current folder holds the file.
    argument = record["argument"]
    assert argument == "KelvaraLanternRise.application" or (
        argument.lower().startswith(working_folder.lower() + "\\")
        and argument.endswith("\\KelvaraLanternRise.application")), record
    assert sorted(path.replace("\\", "/") for path in record["found"]) == sorted(EXPECTED_MIRROR)


def check_downloads(requests):
    downloads = [request for request in requests if not request.is_event]
    actual = [(request.method, request.host, request.path, request.header_values("User-Agent"))
              for request in downloads]
    assert actual == [("GET", DOWNLOAD_HOST, path, [agent]) for path, agent in EXPECTED_DOWNLOADS]


def new_folders(before, folder):
    return sorted(set(os.listdir(folder)) - set(before))


def test_full_deployment_then_a_second_run_in_the_same_prefix(scenario):
    temp = temp_folder(scenario)
    before = os.listdir(temp)

    scenario.start_installer()
    first = MessageBoxAnswerer(scenario)
    assert first.until_exit() == 0
    check_certificate_box(first.boxes)
    check_run_events(scenario.server.event_requests(), SUCCESS_EVENTS)
    check_downloads(scenario.server.requests)
    [first_mirror] = new_folders(before, temp)
    check_mirror(os.path.join(temp, first_mirror))
    check_engine_record(scenario.clickonce_record(), first_mirror)
    assert scenario.prefix.key_exists(root_certificate_key(read(DEMO_CERTIFICATE)))

    # The certificate is in the store now: no box, and the run reports success all the same.
    requests_before = len(scenario.server.requests)
    os.remove(scenario.clickonce_record_path)
    scenario.start_installer()
    second = MessageBoxAnswerer(scenario)
    assert second.until_exit() == 0
    assert second.boxes == []
    second_requests = scenario.server.requests[requests_before:]
    check_run_events([request for request in second_requests if request.is_event], SUCCESS_EVENTS)
    check_downloads(second_requests)
    mirrors = new_folders(before, temp)
    assert len(mirrors) == 2 and first_mirror in mirrors, mirrors
    [second_mirror] = [name for name in mirrors if name != first_mirror]
    check_mirror(os.path.join(temp, second_mirror))
    check_engine_record(scenario.clickonce_record(), second_mirror)


def test_engine_exit_code_other_than_0_fails_the_installation_without_a_box(scenario):
    scenario.start_installer({"FAKE_CLICKONCE_EXIT_CODE": "7"})
    answerer = MessageBoxAnswerer(scenario)

    assert answerer.until_exit() == 1
    check_certificate_box(answerer.boxes)
    failed_events = SUCCESS_EVENTS[:-2] + ["Installation failed", "Installer exited"]
    check_run_events(scenario.server.event_requests(), failed_events, "Status: error code: 7")
    assert scenario.clickonce_record() is not None


def bar_below(dialog, label):
    """The progress bar drawn right under a label."""
    bars = [bar for bar in dialog.controls_of("msctls_progress32") if bar.rect[1] >= label.rect[3]]
    assert bars, f"no progress bar below {label.text!r}"
    return min(bars, key=lambda bar: bar.rect[1])


def test_dialog_shows_the_download_bars_while_an_application_file_downloads(scenario):
    slow_file = PUBLICATION_PATH + VERSION_FOLDER + "Lantern.Core.dll.deploy"
    scenario.server.set_fault("http://" + DOWNLOAD_HOST + slow_file, Fault(delay=8))
    scenario.start_installer()
    answerer = MessageBoxAnswerer(scenario)
    answerer.until(lambda: any(request.path == slow_file for request in scenario.server.requests), timeout=90,
                   what="the request for Lantern.Core.dll.deploy")

    [dialog] = [window for window in scenario.desktop.windows() if is_installer_dialog(window)]
    scenario.screenshot("dialog-downloading")
    labels = {control.text: control for control in dialog.controls_of("Static")}
    for text in ("Downloading prerequisites...", "Installing prerequisites...", "Downloading Lantern Rise"):
        assert text in labels, f"no label {text!r}: {list(labels)}"
        assert labels[text].visible and bar_below(dialog, labels[text]).visible, f"{text!r} or its bar is hidden"
    checking = labels.get("Checking prerequisites...")
    assert checking is not None and not checking.visible and not bar_below(dialog, checking).visible
    assert dialog.button("Cancel") is not None and dialog.button("Cancel").visible

    assert answerer.until_exit() == 0
    check_certificate_box(answerer.boxes)
    check_run_events(scenario.server.event_requests(), SUCCESS_EVENTS)
