#!/usr/bin/env bash
# Builds the wheel from a clean copy of the sources, installs it into a fresh virtual
# environment (with the system's numpy and pytest), and runs the end-to-end tracking test
# against the installed package, compared with the native replay tool.
#   check_wheel.sh <zok-replay>
set -euo pipefail
replay=$(realpath "$1")
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What a fresh clone would hold: the tracked files and the new ones not ignored, as they are now.
mkdir "$work/src"
git -C "$source" ls-files -z --cached --others --exclude-standard |
    (cd "$source" && while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done) |
    tar -C "$source" --null -T - -cf - | tar -C "$work/src" -xf -

echo "== pip wheel"
# Two compile jobs at most: the machine is shared.
SKBUILD_BUILD_OPTIONS=-j2 /usr/bin/python3 -m pip wheel --quiet --no-build-isolation --no-deps \
    --wheel-dir "$work/dist" "$work/src"
wheel=$(find "$work/dist" -name 'zok-*.whl' -print -quit)
[ -n "$wheel" ] || { echo "check_wheel: no wheel made" >&2; exit 1; }
echo "$(basename "$wheel"), $(stat -c %s "$wheel") bytes"
/usr/bin/python3 -m zipfile -l "$wheel" | awk 'NR > 1 { print "   " $1 }'

echo "== pip install into a fresh venv"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-deps --no-index "$wheel"

echo "== end-to-end test against the installed package"
cd "$work"
env -u PYTHONPATH PYTHONDONTWRITEBYTECODE=1 ZOK_REPLAY="$replay" "$work/venv/bin/python" -c '
import sys, zok
assert zok.__file__.startswith(sys.argv[1]) and zok._zok.__name__ == "zok._zok", zok.__file__
assert zok._zok_dcf.__name__ == "zok._zok_dcf" and zok.TrackerDcf.__module__ == "zok"
print("zok from", zok.__file__)' "$work/venv/"
env -u PYTHONPATH PYTHONDONTWRITEBYTECODE=1 ZOK_REPLAY="$replay" \
    "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$source/tests/python/test_end_to_end.py" \
    "$source/tests/python/test_tracker_dcf.py"
