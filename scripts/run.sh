#!/usr/bin/env bash
# Builds the launcher and runs it on a fresh copy of the default unit, prepared outside
# the source tree (the source tree is never written at run time).
# Options after the script name are passed to the launcher (see README.md).
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
cd "$src"
scripts/install-deps.sh
cmake --preset debug >/dev/null
# Only what the run needs: the launcher and the demo navigation program the unit carries.
cmake --build --preset debug --target launcher navione
unit="${HU_UNIT_DIR:-${XDG_RUNTIME_DIR:-/tmp}/headunit-unit}"
"$src/scripts/prepare-unit.sh" "$unit"
exec "$src/build/debug/launcher/launcher" --unit "$unit" "$@"
