#!/usr/bin/env bash
# Sets up, builds (normal and sanitizer builds) and runs every test in both.
# Extra arguments go to ctest, e.g. scripts/test.sh -R config
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" normal
"$root/scripts/build.sh" sanitize

# A private PulseAudio for the tests on real sound devices; they skip when it is absent.
pulse_dir=$(mktemp -d /tmp/pellaro-pulse.XXXXXX)
cleanup() { "$root/scripts/pulse.sh" stop "$pulse_dir" >/dev/null 2>&1 || true; rm -rf "$pulse_dir"; }
trap cleanup EXIT
eval "$("$root/scripts/pulse.sh" start "$pulse_dir")"

export QT_QPA_PLATFORM=offscreen
status=0
echo "== tests (normal build)"
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)" "$@") || status=1
echo "== tests (sanitizer build)"
(cd "$root/build-asan" && \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$(nproc)" "$@") || status=1
exit $status
