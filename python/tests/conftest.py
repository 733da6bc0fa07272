# Shared fixtures: the reference recordings (copied, since a first open writes an index beside the
# file) and the build's programs.
import os
import pathlib
import shutil

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
DATA = pathlib.Path(os.environ.get("ORVANE_TEST_DATA", REPO / "tests" / "data"))
BIN = pathlib.Path(os.environ.get("ORVANE_BIN_DIR", REPO / "build" / "bin"))


@pytest.fixture
def recording(tmp_path):
    """Copies a reference recording into the test's folder and returns the copy's path."""

    def copy(name):
        target = tmp_path / name
        shutil.copyfile(DATA / name, target)
        return str(target)

    return copy
