"""Builds the extension module with the project's own CMake files (frontends/python/), for
`pip install .`; the version is the CMake project's."""

import os
import re
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def cmake_project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(Vantrel VERSION ([0-9.]+)", f.read()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DVANTREL_TESTS=OFF",
                        "-DVANTREL_BENCHMARKS=OFF", f"-DPython_EXECUTABLE={sys.executable}"], check=True)
        subprocess.run(["cmake", "--build", build, "--target", "vantrel_python", "--parallel", "2"], check=True)
        built = os.path.join(build, "frontends", "python", "module", os.path.basename(self.get_ext_filename(ext.name)))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        self.copy_file(built, target)


# Everything the build writes goes under build/, which git ignores (the tests
# point it into their own build tree).
BUILD_BASE = os.environ.get("VANTREL_PIP_BUILD_DIR", os.path.join("build", "pip"))
os.makedirs(BUILD_BASE, exist_ok=True)

setup(
    version=cmake_project_version(),
    ext_modules=[Extension("vantrel", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
)
