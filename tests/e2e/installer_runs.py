"""Installer runs that several tests share."""

from scenario import CERTIFICATE_URL, Scenario, is_installer_dialog
from testserver import Fault


def cancel_while_certificate_is_fetched(scenario: Scenario) -> int:
    """Runs the installer and presses Cancel on its dialog while the worker waits for the root
    certificate, which the server holds back; returns the exit code.

    Waiting for that request first makes the order of events certain: the worker has sent all
    it sends before the certificate, and its certificate box cannot cover the dialog."""
    scenario.server.set_fault(CERTIFICATE_URL, Fault(hang=True))
    installer = scenario.start_installer()
    dialog = scenario.desktop.wait_for_window(is_installer_dialog, timeout=90, what="installer dialog")
    scenario.screenshot("dialog")
    assert scenario.server.wait_for(lambda: any(r.url == CERTIFICATE_URL for r in scenario.server.requests),
                                    timeout=60), "the installer never asked for the root certificate"
    scenario.desktop.click_button(dialog, "Cancel")
    return installer.wait(timeout=60)
