import os
import shutil
import subprocess
import tempfile
from pathlib import Path

import pytest

from harness import Display, Harness


def pytest_addoption(parser):
    parser.addoption("--zarn-exe", required=True)
    parser.addoption("--launch-exe", required=True)
    parser.addoption("--desktop-keeper-exe", required=True)
    parser.addoption("--source-dir", required=True)


@pytest.fixture(scope="session")
def harness(request):
    source = Path(request.config.getoption("--source-dir")).resolve()
    prefix = Path(os.environ.get("WINEPREFIX", source / "build" / "wineprefix"))
    harness = Harness(request.config.getoption("--zarn-exe"), request.config.getoption("--launch-exe"),
                      request.config.getoption("--desktop-keeper-exe"), prefix, source)
    yield harness
    harness.stop_wine()


@pytest.fixture
def work():
    """A short temporary folder (Wine's trace cuts long strings), removed afterwards."""
    folder = Path(tempfile.mkdtemp(prefix="z", dir="/tmp"))
    yield folder
    subprocess.run(["chmod", "-R", "u+w", str(folder)])
    shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="session")
def display_server():
    display = Display()
    yield display
    display.close()


@pytest.fixture
def display(display_server, request, work):
    """The Xvfb display; a screenshot is kept in build/e2e-screenshots when the test fails."""
    yield display_server
    report = getattr(request.node, "rep_call", None)
    if report is not None and report.failed:
        folder = Path(request.config.getoption("--source-dir")) / "build" / "e2e-screenshots"
        folder.mkdir(parents=True, exist_ok=True)
        display_server.screenshot(folder / (request.node.name + ".png"))


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.when == "call":
        item.rep_call = report
