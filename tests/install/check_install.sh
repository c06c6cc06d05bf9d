#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and uses it as an outsider would: a CMake
# project with find_package(zok), a compile line from pkg-config, and the Python package
# imported from a clean environment.
#   check_install.sh <build-dir> <python-interpreter>
set -euo pipefail
build=$(realpath "$1")
python=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

echo "== find_package(zok)"
cmake -S "$here/consumer" -B "$prefix/consumer-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer-build" >/dev/null
echo '{"TrackerCorr": {"threshold": 0.9}}' >"$prefix/zok.json"
"$prefix/consumer-build/consumer" "$prefix/zok.json"
echo "== the installed recommended configuration"
"$prefix/consumer-build/consumer" "$prefix/share/zok/recommended.json"

echo "== pkg-config zok"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
g++ -std=c++17 "$here/consumer/main.cpp" -o "$prefix/consumer-pc" $(pkg-config --cflags --libs zok)
LD_LIBRARY_PATH="$prefix/lib" "$prefix/consumer-pc"

if [ -n "$(find "$prefix" -name '_zok*.so' -print -quit)" ]; then
    echo "== import zok"
    site=$(dirname "$(dirname "$(find "$prefix" -path '*/zok/__init__.py' -print -quit)")")
    (cd "$prefix" && env -i PYTHONPATH="$site" "$python" -I -c 'import sys; sys.path.insert(0, sys.argv[1]); import zok, numpy
t = zok.PyTrackerCorr()
frame = numpy.zeros((64, 64), numpy.uint8); frame[20:40, 20:40] = numpy.arange(400).reshape(20, 20) % 251
t.init(frame, (20, 20, 20, 20))
print("found", t.update(frame, (0, 0, 0, 0)))
d = zok.TrackerDcf(scales=9)
d.init(frame, (20, 20, 20, 20))
assert zok._zok_dcf.__name__ == "zok._zok_dcf", zok._zok_dcf
print("TrackerDcf found", d.update(frame), "confidence", round(d.confidence, 3))' "$site")
    # A package, typed: the stub and the py.typed marker sit beside the modules.
    ls "$site/zok/__init__.pyi" "$site/zok/py.typed" >/dev/null
    # Installed under the default prefix, the same folder is on the interpreter's own path.
    relative=${site#"$prefix"/}
    "$python" -I -c 'import sys; assert sys.argv[1] in sys.path, sys.path' "/usr/local/$relative"
    echo "/usr/local/$relative is on $python's path"
fi
