# Builds the qarvex extension module with the project's CMake (target qarvex_python) and puts it
# where setuptools packs it. Configured by pyproject.toml.
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        configure = ["cmake", "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                     "-DQARVEX_BUILD_TESTS=OFF", "-DQARVEX_BUILD_BENCH=OFF",
                     "-DPython_EXECUTABLE=" + sys.executable]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", build, "--target", "qarvex_python", "-j2"], check=True)
        built = os.path.join(build, "python", os.path.basename(self.get_ext_filename(ext.name)))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(ext_modules=[Extension("qarvex", sources=[])], cmdclass={"build_ext": CMakeBuild})
