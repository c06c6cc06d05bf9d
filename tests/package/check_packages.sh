#!/usr/bin/env bash
# Uses the Debian packages as an outsider would, without installing them: each is unpacked into
# one temporary root, and a CMake project, a pkg-config compile line, zok-track and
# `import zok` are run from there. Their control data must name the dependencies.
#   check_packages.sh <packages-dir>
set -euo pipefail
packages=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
consumer=$here/../install/consumer
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

fail() { echo "check_packages: $*" >&2; exit 1; }

# Package, then what its Depends field must name.
expected=(
    "libzok0|libopencv-core406 libopencv-imgproc406 libopencv-video406 libstdc++6"
    "libzok-dev|libzok0 libopencv-dev"
    "python3-zok|python3 python3-numpy libopencv-core406"
    "zok-tools|libopencv-videoio406 libopencv-imgcodecs406"
)
for entry in "${expected[@]}"; do
    package=${entry%%|*}
    deb=$(find "$packages" -name "${package}_*.deb" -print -quit)
    [ -n "$deb" ] || fail "no ${package}_*.deb in $packages"
    depends=$(dpkg-deb --field "$deb" Depends)
    for name in ${entry#*|}; do
        [[ ", $depends," == *", $name "* || ", $depends," == *", $name,"* ]] ||
            fail "$package does not depend on $name: $depends"
    done
    echo "== $package: $(dpkg-deb --field "$deb" Version), $(stat -c %s "$deb") bytes"
    echo "   Depends: $depends"
    dpkg-deb -x "$deb" "$root"
    grep -q "^License: Apache-2.0" "$root/usr/share/doc/$package/copyright" ||
        fail "$package has no Apache-2.0 copyright file"
done
pin="libzok0 (= $(dpkg-deb --field "$packages"/libzok0_*.deb Version))"
[[ $(dpkg-deb --field "$packages"/libzok-dev_*.deb Depends) == *"$pin"* ]] ||
    fail "libzok-dev does not depend on $pin"

libdir=$(dirname "$(find "$root" -name 'libzok.so.0' -print -quit)")
export LD_LIBRARY_PATH=$libdir

echo "== find_package(zok)"
cmake -S "$consumer" -B "$root/consumer-build" -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$root/consumer-build" >/dev/null
"$root/consumer-build/consumer"

echo "== pkg-config zok"
# shellcheck disable=SC2046
g++ -std=c++17 "$consumer/main.cpp" -o "$root/consumer-pc" \
    $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs zok)
"$root/consumer-pc"

echo "== zok-track"
help=$("$root/usr/bin/zok-track" --help)
echo "${help%%$'\n'*}"
manual=$(zcat "$root/usr/share/man/man1/zok-track.1.gz")
[[ $manual == *'\-\-box'* ]] || fail "the manual page does not list --box"

echo "== import zok"
site=$(dirname "$(dirname "$(find "$root" -path '*/zok/__init__.py' -print -quit)")")
# The folder is one /usr/bin/python3 searches once the package is installed.
/usr/bin/python3 -I -c 'import sys; assert sys.argv[1] in sys.path, sys.path' "${site#"$root"}"
(cd "$root" && env -i LD_LIBRARY_PATH="$libdir" PYTHONPATH="$site" /usr/bin/python3 -c '
import sys, numpy, zok
assert zok.__file__.startswith(sys.argv[1]) and zok._zok.__name__ == "zok._zok", zok.__file__
frame = numpy.zeros((64, 64), numpy.uint8)
frame[20:40, 20:40] = numpy.arange(400).reshape(20, 20) % 251
tracker = zok.PyTrackerCorr()
tracker.init(frame, (20, 20, 20, 20))
print("found", tracker.update(frame, (0, 0, 0, 0)))
assert zok._zok_dcf.__name__ == "zok._zok_dcf", zok._zok_dcf.__file__
learned = zok.TrackerDcf(scales=9)
learned.init(frame, (20, 20, 20, 20))
print("TrackerDcf found", learned.update(frame))' "$root")
