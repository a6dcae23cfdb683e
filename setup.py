"""Builds the extension of the Python module orvik with the project's CMake build (the
target _orvik and what it links), for pip install; pyproject.toml says the rest.

CMAKE_ARGS adds options to the configuration (a compiler launcher, say);
CMAKE_BUILD_PARALLEL_LEVEL sets the number of compile jobs."""

import os
import pathlib
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        source = pathlib.Path(__file__).resolve().parent
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(source), "-B", str(build), "-G", "Ninja",
                     "-DORVIK_TESTS=OFF", "-DORVIK_PYTHON=ON",
                     f"-DPython_EXECUTABLE={sys.executable}"]
        configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_orvik"], check=True)
        built = next((build / "python" / "orvik").glob("_orvik*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


# The build's files go to build-pip/ beside the CMake builds, never into build/.
setup(ext_modules=[Extension("orvik._orvik", sources=[])], cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": "build-pip"}, "egg_info": {"egg_base": "build-pip"}})
