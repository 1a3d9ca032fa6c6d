"""Cancel on the installer dialog ends the run at once, reported to the event service."""

from installer_runs import cancel_while_certificate_is_fetched
from soap_events import check_event_requests

CLOSING_EVENTS = ["User clicked Cancel", "Installation failed", "Installer exited"]


def only_cancel_is_shown(dialog):
    """Before its first stage the dialog shows nothing but its title and the Cancel button."""
    assert dialog.title == "Kelvara Lantern Rise Installer"
    visible = [(control.cls, control.text) for control in dialog.controls if control.visible]
    assert visible == [("Button", "Cancel")], visible


def test_cancel_ends_the_installer_with_exit_code_1_and_reports_it(scenario):
    exit_code = cancel_while_certificate_is_fetched(scenario, on_dialog=only_cancel_is_shown)

    assert exit_code == 1
    events = check_event_requests(scenario.server.event_requests())  # well-formed, txnids all different
    categories = [event.category for event in events]
    assert categories[0] == "Installer started", categories
    assert categories[-3:] == CLOSING_EVENTS, categories
    assert categories.count("User clicked Cancel") == 1, categories
    assert [event.data for event in events[-3:]] == ["", "", ""]
