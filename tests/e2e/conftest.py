"""pytest harness for the end-to-end tests: one Xvfb and one template Wine prefix per session,
a scenario (test server + prefix copy + wineserver) per test, artifacts under
<build>/e2e-artifacts/<test name>/.

Run through CTest (tests/e2e/CMakeLists.txt passes the paths), or by hand inside a
loopback-only namespace:
  unshare -n sh -c 'ip link set lo up; /usr/bin/python3 -m pytest tests/e2e --build-dir build/x64'
"""

import collections
import os
import re
import shutil
import tempfile

import pytest

from netns_guard import loopback_only_problem
from registry import template_settings
from scenario import E2EPaths, Scenario
from wine import WINE64, WINESERVER64, WinePrefix, windows_path
from xvfb import Xvfb

HERE = os.path.dirname(os.path.abspath(__file__))
_outcomes = collections.Counter()
SKIPPED_EXIT_CODE = 77  # CTest's SKIP_RETURN_CODE for these tests


def pytest_addoption(parser):
    group = parser.getgroup("fetchwright", "Fetchwright end-to-end tests")
    group.addoption("--build-dir", default=os.environ.get("FETCHWRIGHT_BUILD_DIR"),
                    help="x64 build folder; the default for the paths below")
    group.addoption("--fetchwright-exe", help="Fetchwright.exe to test")
    group.addoption("--fake-clickonce-exe", help="FakeClickOnce.exe, the stand-in ClickOnce engine")
    group.addoption("--window-text-exe", help="WindowText.exe, which reads windows' texts")
    group.addoption("--artifacts-dir", help="where screenshots and logs of each test are kept")


@pytest.fixture(scope="session")
def e2e_paths(pytestconfig) -> E2EPaths:
    build = pytestconfig.getoption("--build-dir")

    def path(option, *default):
        value = pytestconfig.getoption(option)
        if value:
            return os.path.abspath(value)
        if build:
            return os.path.abspath(os.path.join(build, *default))
        pytest.fail(f"give --build-dir or {option}")

    return E2EPaths(
        fetchwright_exe=path("--fetchwright-exe", "Fetchwright.exe"),
        fake_clickonce_exe=path("--fake-clickonce-exe", "tests", "e2e", "FakeClickOnce.exe"),
        window_text_exe=path("--window-text-exe", "tests", "e2e", "WindowText.exe"),
        artifacts_dir=path("--artifacts-dir", "e2e-artifacts"),
        docroot=os.path.join(HERE, "docroot"),
    )


@pytest.fixture(scope="session")
def session_dir():
    path = tempfile.mkdtemp(prefix="fetchwright-e2e-")
    yield path
    shutil.rmtree(path, ignore_errors=True)


@pytest.fixture(scope="session")
def wine_template(e2e_paths, session_dir) -> WinePrefix:
    """The session's Xvfb and its template prefix, prepared once; scenarios copy it."""
    problem = loopback_only_problem()
    if problem:
        pytest.skip(problem)
    for tool in (WINE64, WINESERVER64, shutil.which("Xvfb"), shutil.which("xdotool"), shutil.which("import")):
        if not tool or not os.access(tool, os.X_OK):
            pytest.skip(f"Wine, Xvfb, xdotool or ImageMagick is missing ({tool}); scripts/test.sh installs them")
    for exe in (e2e_paths.fake_clickonce_exe, e2e_paths.window_text_exe):
        if not os.path.isfile(exe):
            pytest.fail(f"{exe} has not been built")

    with Xvfb(os.path.join(session_dir, "xvfb.log")) as display:
        template = WinePrefix.create(os.path.join(session_dir, "template"), display.display)
        template.import_registry(template_settings(windows_path(e2e_paths.fake_clickonce_exe)), name="template.reg")
        template.wait_server()
        yield template


@pytest.fixture
def artifacts_dir(request, e2e_paths) -> str:
    name = re.sub(r"[^A-Za-z0-9_.-]+", "_", request.node.name).strip("_")
    path = os.path.join(e2e_paths.artifacts_dir, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


@pytest.fixture
def make_scenario(wine_template, e2e_paths, session_dir, artifacts_dir):
    """Makes set-up scenarios (each named, for its artifacts subfolder); all torn down after the test."""
    made = []

    def make(name: str = "") -> Scenario:
        artifacts = os.path.join(artifacts_dir, name) if name else artifacts_dir
        scenario = Scenario(wine_template, e2e_paths, tempfile.mkdtemp(prefix="scenario-", dir=session_dir), artifacts)
        made.append(scenario)
        return scenario.set_up()

    yield make
    for scenario in made:
        scenario.tear_down()


@pytest.fixture
def scenario(make_scenario) -> Scenario:
    return make_scenario()


# --- reporting --------------------------------------------------------------------------------

_measurements = []  # (test id, name, value) from record_property("report:<name>", value)


def pytest_runtest_logreport(report):
    if report.when == "call" or report.outcome != "passed":
        _outcomes[report.outcome] += 1
    if report.when == "call":
        _measurements.extend((report.nodeid, name[len("report:"):], value)
                             for name, value in report.user_properties if name.startswith("report:"))


def pytest_sessionfinish(session, exitstatus):
    # A file whose tests were all skipped did not test anything: tell CTest so.
    if exitstatus == 0 and _outcomes["skipped"] and not _outcomes["passed"] and not _outcomes["failed"]:
        session.exitstatus = SKIPPED_EXIT_CODE


def pytest_terminal_summary(terminalreporter):
    if _measurements:
        terminalreporter.write_sep("-", "measurements")
        for test_id, name, value in _measurements:
            terminalreporter.write_line(f"{test_id}: {name} = {value}")
