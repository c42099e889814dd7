#!/usr/bin/env bash
# One-time machine set-up for IvroMVT on Debian 12, run as root.
# Idempotent: installs the packages, starts the Firebird server when it does
# not answer, and makes sure the two accounts the program uses exist.
# With --windows, also what the Windows side's cross build and its run
# under Wine need (scripts/test-windows.sh).
set -euo pipefail

SYSDBA_PASSWORD=tidestone
KORVALA_PASSWORD=plumvox
SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
PACKAGES=(qt6-base-dev qt6-translations-l10n firebird3.0-server firebird3.0-utils
          firebird-dev cmake g++ make xvfb xauth fonts-dejavu-core)
if [ "${1:-}" = "--windows" ]; then
    PACKAGES+=(mingw-w64 wine doctest-dev)
fi

log() { echo "[setup] $*"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "[setup] ce script doit être lancé en root (sudo $0)" >&2
    exit 1
fi

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    log "installation des paquets : ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

server_answers() {
    # A wrong-password answer still proves the server listens.
    timeout 10 bash -c '</dev/tcp/127.0.0.1/3050' 2>/dev/null
}

sysdba_ok() {
    timeout 20 fbsvcmgr localhost/3050:service_mgr user SYSDBA password "$SYSDBA_PASSWORD" \
        info_server_version >/dev/null 2>&1
}

start_server() {
    /etc/init.d/firebird3.0 start >/dev/null 2>&1 || true
    for _ in $(seq 1 50); do server_answers && return 0; sleep 0.2; done
    echo "[setup] le serveur Firebird ne répond pas sur le port 3050" >&2
    exit 1
}

if server_answers && sysdba_ok; then
    log "serveur Firebird prêt, SYSDBA valide"
else
    if ! sysdba_ok; then
        # The SYSDBA password can only be reset while the server is stopped.
        log "mise en place du mot de passe SYSDBA"
        /etc/init.d/firebird3.0 stop >/dev/null 2>&1 || true
        pkill -x fbguard 2>/dev/null || true
        pkill -x firebird 2>/dev/null || true
        sleep 0.5
        printf "create or alter user SYSDBA password '%s';\ncommit;\n" "$SYSDBA_PASSWORD" \
            | isql-fb -q -b -user SYSDBA "$SECURITY_DB"
        chown firebird:firebird "$SECURITY_DB"
    fi
    start_server
    sysdba_ok || { echo "[setup] SYSDBA refusé après réinitialisation" >&2; exit 1; }
    log "serveur Firebird démarré"
fi

# KORVALA: add, or reset its password when it already exists.
if ! fbsvcmgr localhost/3050:service_mgr user SYSDBA password "$SYSDBA_PASSWORD" \
        action_add_user sec_username KORVALA sec_password "$KORVALA_PASSWORD" >/dev/null 2>&1; then
    fbsvcmgr localhost/3050:service_mgr user SYSDBA password "$SYSDBA_PASSWORD" \
        action_modify_user sec_username KORVALA sec_password "$KORVALA_PASSWORD" >/dev/null
fi
log "compte KORVALA prêt"

# Test and demo databases live here: the server (user firebird) writes the
# files, every user may browse the folder.
install -d -m 1777 /var/tmp/ivromvt
log "dossier des bases : /var/tmp/ivromvt"
