#!/usr/bin/env bash
# Runs the whole native suite a second time on the InterBase branch of the
# database layer: the layer loads the tests' stand-in for InterBase's client
# (tests/ibclient, built as libgds.so, which the layer looks for first),
# which forwards to Firebird's client and the local Firebird server.
# Usage: bash scripts/test-interbase.sh [build-folder]  (built by scripts/test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
standin="$PWD/$build/tests/ibclient"
[ -e "$standin/libgds.so" ] || { echo "Doublure du client InterBase absente : $standin/libgds.so (lancer scripts/test.sh d'abord)." >&2; exit 1; }
export LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

# The run proves nothing unless the layer really takes the stand-in for
# InterBase's client.
version=$("$build/cli/ivromvt-cli" --version)
echo "$version"
grep -q "^Client InterBase : $standin/libgds.so$" <<<"$version" \
    || { echo "La couche n'a pas chargé la doublure du client InterBase." >&2; exit 1; }

ctest --test-dir "$build" --output-on-failure -j1
