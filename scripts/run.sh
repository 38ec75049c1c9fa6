#!/usr/bin/env bash
# Sets up, builds and starts the program. Extra arguments go to the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" normal
if [ -x "$root/build/bin/pellaro" ]; then
    exec "$root/build/bin/pellaro" "$@"
fi
exec "$root/build/bin/pellaro-cli" show "$@"
