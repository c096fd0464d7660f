"""Builds zelvar's compiled part with the project's CMake build, for pip and setuptools.

    python3 -m venv --system-site-packages ENV
    ENV/bin/pip install --no-build-isolation ./python

The repository this folder sits in is configured with the interpreter that runs this script;
pybind11 and Python's headers come from the system (Debian: pybind11-dev, python3-dev).
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent.parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not (ROOT / "CMakeLists.txt").is_file():
            sys.exit(f"zelvar: no CMakeLists.txt in {ROOT}: build from the whole repository")
        build = Path(self.build_temp).resolve() / "cmake"
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
             f"-DPython3_EXECUTABLE={sys.executable}", "-DZELVAR_REQUIRE_PYTHON=ON",
             "-DZELVAR_BUILD_TESTS=OFF", "-DZELVAR_BUILD_BENCH=OFF",
             *os.environ.get("CMAKE_ARGS", "").split()],
            check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "zelvar_python",
                        "--parallel", jobs], check=True)
        built = next((build / "python" / "zelvar").glob("_zelvar*" + Path(
            self.get_ext_filename(ext.name)).suffix))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(ext_modules=[Extension("zelvar._zelvar", sources=[])], cmdclass={"build_ext": CMakeBuild})
