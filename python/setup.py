"""The package's version is the project's, as CMake's project() gives it: the build configures
qd7310/_version.py from _version.py.in; a plain pip install of this folder from the source tree
fills in the same file from the version in ../CMakeLists.txt."""
import re
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent
TEMPLATE = HERE / "qd7310" / "_version.py.in"
CONFIGURED = HERE / "qd7310" / "_version.py"


def version() -> str:
    if CONFIGURED.exists():
        return re.search(r'__version__ = "(.+)"', CONFIGURED.read_text()).group(1)
    cmake = (HERE.parent / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*\S+\s+VERSION\s+([0-9.]+)", cmake).group(1)


class BuildWithVersion(build_py):
    def run(self) -> None:
        super().run()
        if not CONFIGURED.exists():
            target = Path(self.build_lib) / "qd7310" / "_version.py"
            target.write_text(TEMPLATE.read_text().replace("@PROJECT_VERSION@", version()))


setup(version=version(), cmdclass={"build_py": BuildWithVersion})
