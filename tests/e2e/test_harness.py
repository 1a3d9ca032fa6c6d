"""The Wine harness itself, without the installer: the prefix settings every scenario relies on,
the fake ClickOnce engine behind the shell's .application association, and reading and
answering a message box as the scenarios do."""

import os
import shutil
import subprocess

import pytest

from registry import INTERNET_SETTINGS, NET4_CLIENT, RUN_ONCE
from wine import windows_path

HERE = os.path.dirname(os.path.abspath(__file__))
PUBLICATION = os.path.join(HERE, "docroot", "download.kelvara.example", "software", "lantern-rise", "clickonce")
VERSION_FOLDER = "Application Files\\LanternRise_1_0_0_0\\"


def test_scenario_prefix_has_the_template_settings_and_its_own_proxy(scenario):
    prefix = scenario.prefix
    expected = {
        (INTERNET_SETTINGS, "ProxyEnable"): 1,
        (INTERNET_SETTINGS, "ProxyServer"): f"127.0.0.1:{scenario.server.port}",
        (r"HKEY_CURRENT_USER\Software\Wine\X11 Driver", "Managed"): "N",
        (NET4_CLIENT, "Install"): 1,
        (r"HKEY_LOCAL_MACHINE\Software\Classes\.application", "@"): "Fetchwright.FakeClickOnce",
    }
    actual = {(key, name): prefix.query_value(key, name) for key, name in expected}
    assert actual == expected
    assert prefix.key_exists(RUN_ONCE) and not prefix.key_exists(RUN_ONCE + r"\Fetchwright")
    assert {"ZoneMap", "Zones"} <= set(prefix.subkeys(INTERNET_SETTINGS))


def make_mirror(folder: str) -> str:
    """The mirror folder as the installer leaves it for the ClickOnce engine."""
    shutil.copytree(PUBLICATION, folder)
    shutil.copy(os.path.join(folder, "KelvaraLanternRise.application"),
                os.path.join(folder, *VERSION_FOLDER.split("\\")))
    return folder


@pytest.mark.parametrize("full_path, removed, exit_code_env, expected_code", [
    pytest.param(False, None, None, 0, id="complete mirror"),
    pytest.param(True, None, None, 0, id="full path of the version folder's copy"),
    pytest.param(False, "de\\LanternRise.resources.dll.deploy", "3", 3, id="file missing, exit code 3"),
])
def test_shell_opens_deployment_manifests_with_the_fake_engine(scenario, tmp_path, full_path, removed, exit_code_env,
                                                               expected_code):
    mirror = make_mirror(str(tmp_path / "mirror folder"))
    if removed:
        os.remove(os.path.join(mirror, *(VERSION_FOLDER + removed).split("\\")))
    env = {"FAKE_CLICKONCE_RECORD": windows_path(scenario.clickonce_record_path)}
    if exit_code_env:
        env["FAKE_CLICKONCE_EXIT_CODE"] = exit_code_env
    # Wine's shell passes a full path when the launcher's current folder has the file (the installer's does).
    manifest = "KelvaraLanternRise.application"
    argument = windows_path(mirror) + "\\" + VERSION_FOLDER + manifest if full_path else manifest

    # "start" goes through ShellExecuteEx like the installer, with the mirror as the folder.
    result = scenario.prefix.run(["start", "/wait", "/d", windows_path(mirror), argument], extra_env=env)

    assert result.returncode == expected_code
    record = scenario.clickonce_record()
    assert record["argument"] == argument
    assert record["workingFolder"] == windows_path(mirror)
    assert record["applicationManifest"] == VERSION_FOLDER + "LanternRise.exe.manifest"
    assert record["errors"] == []
    assert record["missing"] == ([VERSION_FOLDER + removed] if removed else [])
    assert len(record["found"]) == 8 - len(record["missing"])


@pytest.mark.parametrize("answer", ["click Cancel", "key Escape"])
def test_message_box_is_read_and_answered(scenario, answer):
    missing_file = windows_path(os.path.join(scenario.artifacts_dir, "no such file.txt"))
    with open(os.path.join(scenario.artifacts_dir, "notepad.log"), "wb") as log:
        notepad = scenario.prefix.start(["notepad", missing_file], log, log)  # asks whether to create it
    try:
        box = scenario.desktop.wait_for_window(lambda window: window.is_message_box, timeout=60,
                                               what="message box")
        assert missing_file in box.message_text
        assert box.button("Yes") and box.button("No") and box.button("Cancel")
        shot = scenario.screenshot("message-box")
        assert os.path.getsize(shot) > 0

        action, target = answer.split()
        if action == "click":
            scenario.desktop.click_button(box, target)
        else:
            scenario.desktop.wait_for_title(box.title, timeout=10)
            scenario.desktop.press_key(box, target)
        assert notepad.wait(timeout=30) == 0  # Cancel: notepad gives up and ends
    finally:
        if notepad.poll() is None:
            notepad.kill()
            notepad.wait()
