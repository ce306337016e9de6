"""Runs the tests on a virtual board of their own.

The library picks its model when it loads, so one pytest run serves one model
(HALVEX_VIRTUAL_MODEL, Trelo-11 by default): tests marked model("X") run only
in a run for X. HALVEX_VIRTUAL_BOARD gets a name of this run's own, set before
anything loads the library, and the run destroys its machines at the end.
"""
import os
import pathlib
import subprocess
import sys
import uuid

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
DEFAULT_MODEL = "Trelo-11"
os.environ.setdefault("HALVEX_VIRTUAL_MODEL", DEFAULT_MODEL)
os.environ["HALVEX_VIRTUAL_BOARD"] = "pytest-%d-%s" % (os.getpid(), uuid.uuid4().hex[:8])
os.environ.setdefault("HALVEX32_LIBRARY", str(ROOT / "build/default/libhalvex32-virtual.so"))
MODEL = os.environ["HALVEX_VIRTUAL_MODEL"]
HALVEXCTL = os.environ.get("HALVEXCTL") or str(ROOT / "build/default/tools/halvexctl/halvexctl")
_models_used = {MODEL}


def halvexctl(*arguments, model=MODEL):
    """halvexctl --virtual MODEL ... on this run's board; returns its stdout, raises on failure."""
    _models_used.add(model)
    done = subprocess.run([HALVEXCTL, "--virtual", model, *arguments], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stdout


def python(code, model):
    """Runs `code` in a fresh Python whose library loads MODEL's board; returns the process."""
    _models_used.add(model)
    env = dict(os.environ, HALVEX_VIRTUAL_MODEL=model)
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60, env=env)


@pytest.fixture(scope="session")
def shared_machine():
    """Skips unless halvexctl acts on the machine this process runs on (the shared virtual machine)."""
    help_text = subprocess.run([HALVEXCTL, "board", "--help"], capture_output=True, text=True).stdout
    if "destroy" not in help_text:
        pytest.skip("this build's virtual board is private to each process")


def pytest_configure(config):
    config.addinivalue_line("markers", "model(name): runs only in a run on that model")


def pytest_collection_modifyitems(config, items):
    wanted = lambda item: (item.get_closest_marker("model") or pytest.mark.model(DEFAULT_MODEL)).args[0]
    dropped = [item for item in items if wanted(item) != MODEL]
    if dropped:
        config.hook.pytest_deselected(items=dropped)
        items[:] = [item for item in items if wanted(item) == MODEL]


def pytest_sessionfinish(session):
    for model in _models_used:
        try:
            subprocess.run([HALVEXCTL, "--virtual", model, "board", "destroy"], capture_output=True, timeout=60)
        except (OSError, subprocess.SubprocessError):
            pass  # nothing to destroy without the tool
