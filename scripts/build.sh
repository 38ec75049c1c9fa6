#!/usr/bin/env bash
# Configures and builds. Usage: scripts/build.sh [normal|sanitize] (default normal).
# normal → build/, sanitize → build-asan/ (AddressSanitizer + UndefinedBehaviorSanitizer).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-normal}
case "$kind" in
    normal)   dir="$root/build";      extra=() ;;
    sanitize) dir="$root/build-asan"; extra=(-DPELLARO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DPELLARO_BUILD_BENCH=OFF) ;;
    *) echo "usage: $0 [normal|sanitize]" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$dir" -G Ninja -DPELLARO_WERROR=ON "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
