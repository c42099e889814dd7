#!/usr/bin/env bash
# One-time machine set-up for IvroMVT on Debian 12, run as root.
# Idempotent: installs the packages, starts the Firebird server when it does
# not answer, and makes sure the two accounts the program uses exist. On a
# machine already set up it changes nothing and returns at once.
# With --windows, also what the Windows side's cross build and its run
# under Wine need (scripts/test-windows.sh).
set -euo pipefail

SYSDBA_PASSWORD=tidestone
KORVALA_PASSWORD=plumvox
SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
SERVICE=/etc/init.d/firebird3.0
DEADLINE=${IVROMVT_SETUP_DEADLINE:-60} # seconds given to the server to start or stop
PACKAGES=(qt6-base-dev qt6-translations-l10n firebird3.0-server firebird3.0-utils
          libfbclient2 cmake g++ make xvfb xauth fonts-dejavu-core python3)
if [ "${1:-}" = "--windows" ]; then
    PACKAGES+=(mingw-w64 binutils-mingw-w64-x86-64 wine doctest-dev)
fi

log() { echo "[setup] $*"; }
die() { echo "[setup] $*" >&2; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
    die "ce script doit être lancé en root"
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

server_listens() {
    timeout 5 bash -c '</dev/tcp/127.0.0.1/3050' 2>/dev/null
}

# What the server says to an account: "ok", "refuse" when it answers and
# turns the password down, "muet" for anything else (not listening yet,
# still starting up, out of order).
account_state() {
    local out
    if out=$(timeout 20 fbsvcmgr localhost/3050:service_mgr user "$1" password "$2" info_server_version 2>&1); then
        echo ok
    elif grep -q "user name and password are not defined" <<<"$out"; then
        echo refuse
    else
        echo muet
    fi
}

# Waits until SYSDBA gets an answer other than silence; prints it.
sysdba_answer() {
    local end=$((SECONDS + DEADLINE)) state
    while :; do
        state=$(account_state SYSDBA "$SYSDBA_PASSWORD")
        if [ "$state" != muet ] || [ $SECONDS -ge $end ]; then
            echo "$state"
            return
        fi
        sleep 1
    done
}

start_server() {
    server_listens && return 0
    log "démarrage du serveur Firebird"
    "$SERVICE" start >/dev/null 2>&1 || true
    local end=$((SECONDS + DEADLINE))
    until server_listens; do
        [ $SECONDS -lt $end ] || die "le serveur Firebird ne répond pas sur le port 3050 après ${DEADLINE} s ($SERVICE start)"
        sleep 1
    done
}

# The SYSDBA password is kept in the security database, which the running
# server holds: it is rewritten with the server stopped, through its own
# service script, never by killing processes.
reset_sysdba() {
    log "le serveur refuse le mot de passe SYSDBA : mise en place du mot de passe"
    "$SERVICE" stop >/dev/null 2>&1 || true
    local end=$((SECONDS + DEADLINE))
    while server_listens; do
        [ $SECONDS -lt $end ] || die "le serveur Firebird ne s'arrête pas ($SERVICE stop) : mot de passe SYSDBA non modifié"
        sleep 1
    done
    # The last server process may hold the file a moment after the port closed.
    until printf "create or alter user SYSDBA password '%s';\ncommit;\n" "$SYSDBA_PASSWORD" \
            | isql-fb -q -b -user SYSDBA "$SECURITY_DB" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || die "le mot de passe SYSDBA n'a pas pu être écrit dans $SECURITY_DB"
        sleep 1
    done
    chown firebird:firebird "$SECURITY_DB"
    start_server
}

start_server
case "$(sysdba_answer)" in
    ok) log "serveur Firebird prêt, SYSDBA valide" ;;
    refuse)
        reset_sysdba
        [ "$(sysdba_answer)" = ok ] || die "SYSDBA refusé après la mise en place du mot de passe"
        log "serveur Firebird prêt, mot de passe SYSDBA mis en place"
        ;;
    *) die "le serveur Firebird écoute sur le port 3050 mais ne répond pas à SYSDBA après ${DEADLINE} s (voir /var/log/firebird/firebird3.0.log)" ;;
esac

# KORVALA: added, or given its password again when the server refuses it.
case "$(account_state KORVALA "$KORVALA_PASSWORD")" in
    ok) ;;
    *)
        if ! fbsvcmgr localhost/3050:service_mgr user SYSDBA password "$SYSDBA_PASSWORD" \
                action_add_user sec_username KORVALA sec_password "$KORVALA_PASSWORD" >/dev/null 2>&1; then
            fbsvcmgr localhost/3050:service_mgr user SYSDBA password "$SYSDBA_PASSWORD" \
                action_modify_user sec_username KORVALA sec_password "$KORVALA_PASSWORD" >/dev/null
        fi
        ;;
esac
log "compte KORVALA prêt"

# Test and demo databases live here: the server (user firebird) writes the
# files, every user may browse the folder.
install -d -m 1777 /var/tmp/ivromvt
log "dossier des bases : /var/tmp/ivromvt"
