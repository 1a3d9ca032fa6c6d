"""Only the pinned root certificate is ever added: anything else the server answers with is
reported as a failed certificate installation, asks the user nothing, and the installation
goes on. (Adding the pinned one is checked by test_deployment's full run.)"""

import os
import subprocess

import pytest

from installer_runs import SUCCESS_EVENTS, MessageBoxAnswerer, check_run_events
from registry import ROOT_CERTIFICATES, root_certificate_key
from scenario import CERTIFICATE_URL
from testserver import Fault

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO_CERTIFICATE = os.path.join(HERE, "docroot", "download.kelvara.example", "software", "prerequisites",
                                "kelvaraca-x509.cer")
FAILED_CERTIFICATE_EVENTS = [("Certificate installation failed" if category == "Certificate installation succeeded"
                              else category) for category in SUCCESS_EVENTS]


def impostor_certificate(folder) -> bytes:
    """A valid self-signed root in DER with the demo's subject; its key is thrown away."""
    key, certificate = os.path.join(folder, "impostor.key"), os.path.join(folder, "impostor.cer")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-days", "30",
                    "-subj", "/O=Kelvara Demo/CN=Kelvara Demo Root CA", "-outform", "DER", "-out", certificate],
                   check=True, capture_output=True, timeout=60)
    os.remove(key)
    with open(certificate, "rb") as stream:
        return stream.read()


@pytest.mark.parametrize("answer", ["another certificate", "404 page"])
def test_certificate_other_than_the_pinned_one_is_not_installed_and_installation_goes_on(scenario, tmp_path, answer):
    if answer == "another certificate":
        served = impostor_certificate(str(tmp_path))
        scenario.server.set_fault(CERTIFICATE_URL, Fault(status=200, body=served,
                                                         content_type="application/x-x509-ca-cert"))
    else:
        served = b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>"
        scenario.server.set_fault(CERTIFICATE_URL, Fault(status=404, body=served))
    with open(DEMO_CERTIFICATE, "rb") as stream:
        demo = stream.read()
    roots_before = scenario.prefix.subkeys(ROOT_CERTIFICATES)

    scenario.start_installer()
    answerer = MessageBoxAnswerer(scenario)
    assert answerer.until_exit() == 0

    assert answerer.boxes == []
    check_run_events(scenario.server.event_requests(), FAILED_CERTIFICATE_EVENTS)
    assert not scenario.prefix.key_exists(root_certificate_key(served))
    assert not scenario.prefix.key_exists(root_certificate_key(demo))
    assert scenario.prefix.subkeys(ROOT_CERTIFICATES) == roots_before
