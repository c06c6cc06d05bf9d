#!/usr/bin/env bash
# Uses the Debian packages as an outsider would, without installing them: each is unpacked into
# one temporary root, and a CMake project, a pkg-config compile line, zok-track, zok-mavlink,
# `import zok` and the GStreamer element (in gst-launch-1.0, and its meta header in a C compile)
# are run from there. Their control data must name the dependencies.
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
    "gstreamer1.0-zok|libgstreamer1.0-0 libgstreamer-plugins-base1.0-0 libopencv-core406"
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

echo "== zok-mavlink"
help=$("$root/usr/bin/zok-mavlink" --help)
echo "${help%%$'\n'*}"
manual=$(zcat "$root/usr/share/man/man1/zok-mavlink.1.gz")
[[ $manual == *'\-\-mavlink'* ]] || fail "zok-mavlink's manual page does not list --mavlink"
# Ten frames from a pipeline, sent to the discard port on loopback: it must start and end cleanly.
"$root/usr/bin/zok-mavlink" --gst "videotestsrc num-buffers=10 ! videoconvert ! appsink" \
    --mavlink udpout://127.0.0.1:9 || fail "zok-mavlink did not run over a pipeline"

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

echo "== gst-launch-1.0 ... zoktrack"
plugins=$(dirname "$(find "$root" -name 'libgstzok.so' -print -quit)")
[[ $plugins == "$root/usr/lib/$(gcc -print-multiarch)/gstreamer-1.0" ]] ||
    fail "the plugin is not in GStreamer's plugin folder: $plugins"
export GST_PLUGIN_PATH=$plugins GST_REGISTRY=$root/registry.bin
# Read whole before matching: grep -q would stop reading, and the broken pipe fail the pipeline.
inspect=$(gst-inspect-1.0 zoktrack) || fail "gst-inspect-1.0 finds no zoktrack"
[[ $inspect == *"zok target tracker"* ]] || fail "gst-inspect-1.0 zoktrack: $inspect"
reports=$(gst-launch-1.0 -m videotestsrc pattern=ball num-buffers=5 ! \
    video/x-raw,width=320,height=240 ! videoconvert ! zoktrack box=140,100,40,40 ! fakesink |
    grep -c 'zoktrack, frame=')
[ "$reports" -eq 5 ] || fail "zoktrack posted $reports messages for 5 frames"
echo "   $reports messages for 5 frames"
# shellcheck disable=SC2046
printf '#include <zok/zoktrack_meta.h>\nint main(void) { return gst_buffer_get_zok_track_meta(0) != 0; }\n' |
    gcc -std=c99 -Wall -Werror -x c - -fsyntax-only -I"$root/usr/include" \
        $(pkg-config --cflags gstreamer-1.0) || fail "zok/zoktrack_meta.h does not compile as C"
