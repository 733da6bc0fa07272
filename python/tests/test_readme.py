# The README's Python example runs as written: recorded from the default simulated cameras, in a
# fresh folder, with the module from the build.
import os
import pathlib
import re
import subprocess
import sys

from conftest import REPO


def readme_blocks(section, language):
    text = (REPO / "README.md").read_text()
    body = text.split("## " + section + "\n", 1)[1].split("\n## ", 1)[0]
    return re.findall(r"```" + language + r"\n(.*?)```", body, re.S)


def test_use_from_python_example_runs_as_written(tmp_path):
    (example,) = readme_blocks("Use from Python", "python")
    (tmp_path / "example.py").write_text(example)
    env = dict(os.environ)
    env.pop("ORVANE_SIM_CAMERAS", None)
    run = subprocess.run([sys.executable, "example.py"], cwd=tmp_path, env=env, capture_output=True, text=True,
                         timeout=300)
    assert run.returncode == 0, run.stderr
    assert "'events': " in run.stdout and " ON" in run.stdout
    for name in ["live.raw", "live.ovmark.tmp", "first_half_second.raw", "first_half_second.mp4"]:
        assert pathlib.Path(tmp_path / name).stat().st_size > 0, name
