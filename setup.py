"""The Python package zok as a wheel: CMake builds the extension zok._zok alone (no library,
tools or tests) from the library's objects, so the wheel needs no libzok installed."""
import re
import sys
from pathlib import Path

from skbuild import setup

here = Path(__file__).resolve().parent
version = re.search(r"project\(zok VERSION ([0-9.]+)", (here / "CMakeLists.txt").read_text())[1]

setup(
    name="zok",
    version=version,
    description="Correlation tracker for drones and gimbals",
    long_description=(here / "README.md").read_text(),
    long_description_content_type="text/markdown",
    license="Apache-2.0",
    license_files=["LICENSE"],
    classifiers=[
        "License :: OSI Approved :: Apache Software License",
        "Programming Language :: C++",
        "Programming Language :: Python :: 3",
        "Topic :: Scientific/Engineering :: Image Recognition",
        "Typing :: Typed",
    ],
    python_requires=">=3.9",
    install_requires=["numpy"],
    # The package's files come from CMake's install (zok.py as __init__.py, the stub, _zok);
    # ZokPy/zok holds only what needs no building, py.typed, so that the folder exists.
    packages=["zok"],
    package_dir={"zok": "ZokPy/zok"},
    cmake_args=[
        "-DCMAKE_BUILD_TYPE=Release",
        "-DPython3_EXECUTABLE=" + sys.executable,
        "-DZOK_BUILD_PYTHON=ON",
        "-DZOK_BUILD_APPS=OFF",
        "-DZOK_BUILD_TESTS=OFF",
        "-DZOK_BUILD_BENCHMARKS=OFF",
        "-DZOK_WITH_GSTREAMER=OFF",
        # CMake installs the package to ZokPy/zok in its install tree, where scikit-build looks
        # for the files of the package whose source folder is ZokPy/zok.
        "-DZOK_PYTHON_INSTALL_DIR=ZokPy",
    ],
    cmake_install_target="zok_install_python",
)
