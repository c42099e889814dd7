#!/usr/bin/env bash
# Runs the native suite again on the InterBase branch of the database layer:
# the layer loads the tests' stand-in for InterBase's client (tests/ibclient,
# built as libgds.so, which the layer looks for first), which forwards to
# Firebird's client and the local Firebird server, refuses the SQL that
# InterBase does not have, and plays an InterBase server of the version in
# IVROMVT_IBCLIENT_VERSION:
#   1. the whole suite as a current server (InterBase 2020, which bounds a
#      transaction's wait for a locked row);
#   2. the suites that touch transactions and locks (client layer,
#      cancellation, lock sentence, sending, follow-up, their command lines)
#      as a server older than InterBase 2017 (XE7), which refuses that
#      bound: the layer must wait by other means.
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

echo "[interbase] suite complète, serveur InterBase 2020 (WI-V14)"
IVROMVT_IBCLIENT_VERSION=WI-V14.1.0.319 ctest --test-dir "$build" --output-on-failure -j1

echo "[interbase] transactions et verrous, serveur InterBase XE7 (WI-V12)"
IVROMVT_IBCLIENT_VERSION=WI-V12.0.2.353 ctest --test-dir "$build" --output-on-failure -j1 \
    -R '^tst_(dblayer|dbcancel|datamod|mouvement|suivi|cli_mouvement|cli_noeud|identite)$'
