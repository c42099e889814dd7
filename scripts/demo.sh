#!/usr/bin/env bash
# Démonstration d'IvroMVT en une commande, sur une machine neuve :
#   scripts/demo.sh
# Prépare la machine (scripts/setup.sh), construit le projet, crée la base de
# démonstration d'un serveur central (groupe lame, quatre magasins, des
# milliers de lignes K modifiées ces dix derniers jours), puis ouvre la
# fenêtre dans le dossier de la base ; sans écran, enchaîne noeuds, evaluer,
# envoyer et suivi en ligne de commande. Relancer recrée la base.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${IVROMVT_BUILD_DIR:-$ROOT/build}
# The server writes the database; everybody may browse the folder (Debian's
# own data folder is closed to other users).
DEMO_DIR=${IVROMVT_DEMO_DIR:-/var/tmp/ivromvt/demo}
DEMO_DB=$DEMO_DIR/demo.fdb
SYSDBA_PASSWORD=tidestone

log() { echo "[demo] $*"; }

# Where the build put a program: each layer is a library of its own and the
# programs sit in their own folders (cli/, app/); an older flat build had
# them at the top.
programme() {
    local name=$1 sub
    for sub in cli app .; do
        if [ -x "$BUILD_DIR/$sub/$name" ]; then
            echo "$BUILD_DIR/$sub/$name"
            return 0
        fi
    done
    echo "[demo] programme $name introuvable dans $BUILD_DIR (construction incomplète ?)" >&2
    return 1
}

if [ "$(id -u)" -eq 0 ]; then
    bash "$ROOT/scripts/setup.sh"
else
    sudo bash "$ROOT/scripts/setup.sh"
fi

if [ "${IVROMVT_DEMO_SANS_BUILD:-}" != "1" ]; then
    log "construction dans $BUILD_DIR"
    cmake -S "$ROOT" -B "$BUILD_DIR" >/dev/null
    cmake --build "$BUILD_DIR" -j2 --target IvroMVT ivromvt-cli
fi

log "création de la base de démonstration $DEMO_DB"
mkdir -p "$DEMO_DIR"
chmod 1777 "$DEMO_DIR" 2>/dev/null || true
if [ -e "$DEMO_DB" ]; then
    # Dropped through the server: the file belongs to the server's account,
    # and a file the server still holds open must not be deleted under it.
    if ! drop_out=$(echo "DROP DATABASE;" | isql-fb -q -b -user SYSDBA -password "$SYSDBA_PASSWORD" \
            "localhost/3050:$DEMO_DB" 2>&1); then
        echo "[demo] impossible de supprimer l'ancienne base de démonstration $DEMO_DB :" >&2
        echo "$drop_out" | sed 's/^/[demo]   /' >&2
        echo "[demo] fermez les programmes qui l'utilisent (fenêtre IvroMVT, isql…) puis relancez ;" >&2
        echo "[demo] si ce n'est plus une base, supprimez le fichier à la main avant de relancer." >&2
        exit 1
    fi
fi
# isql drops the bytes above 127 of its standard input: the script goes
# through a private file.
SCRIPT=$(mktemp)
trap 'rm -f "$SCRIPT"' EXIT
{
    echo "CREATE DATABASE 'localhost/3050:$DEMO_DB' USER 'SYSDBA' PASSWORD '$SYSDBA_PASSWORD'"
    # What the sites have: no declared character set, French text as
    # Windows-1252 bytes.
    echo "  PAGE_SIZE 8192 DEFAULT CHARACTER SET NONE;"
    echo "SET TERM ^ ;"
    cat "$ROOT/tests/testdb/10_retail.sql" "$ROOT/tests/testdb/20_symmetricds.sql" \
        "$ROOT/tests/testdb/30_symmetricds_routage.sql" "$ROOT/scripts/demo_db.sql"
    echo "COMMIT ^"
} | iconv -f UTF-8 -t CP1252 > "$SCRIPT"
isql-fb -q -b -ch NONE -i "$SCRIPT" >/dev/null
rm -f "$SCRIPT"
log "base prête : $(echo "SELECT COUNT(*) FROM K;" | isql-fb -q -user SYSDBA -password "$SYSDBA_PASSWORD" \
    "localhost/3050:$DEMO_DB" | awk 'NF==1 && $1 ~ /^[0-9]+$/ {print $1}') lignes K"

if [ -n "${DISPLAY:-}" ] && [ "${IVROMVT_DEMO_TERMINAL:-}" != "1" ]; then
    log "ouverture de la fenêtre (le bouton « … » s'ouvre dans $DEMO_DIR)"
    FENETRE=$(programme IvroMVT)
    cd "$DEMO_DIR"
    exec "$FENETRE"
fi

CLI=$(programme ivromvt-cli)
DU=$(date -d '9 days ago' +%d/%m/%Y)
AU=$(date +%d/%m/%Y)
log "pas d'écran : démonstration en ligne de commande"
echo
echo "\$ ivromvt-cli noeuds $DEMO_DB"
"$CLI" noeuds "$DEMO_DB"
echo
echo "\$ ivromvt-cli evaluer $DEMO_DB --du $DU --au $AU"
"$CLI" evaluer "$DEMO_DB" --du "$DU" --au "$AU"
echo
echo "\$ ivromvt-cli envoyer $DEMO_DB --du $DU --au $AU --noeud mag-001 --oui"
"$CLI" envoyer "$DEMO_DB" --du "$DU" --au "$AU" --noeud mag-001 --oui
echo
EVENEMENTS=$(echo "SELECT COUNT(*) FROM SYM_DATA WHERE NODE_LIST = 'mag-001';" \
    | isql-fb -q -user SYSDBA -password "$SYSDBA_PASSWORD" "localhost/3050:$DEMO_DB" \
    | awk 'NF==1 && $1 ~ /^[0-9]+$/ {print $1}')
log "événements de rechargement créés pour mag-001 : ${EVENEMENTS:-?}"
# A sending that says it went well but left nothing is a failure.
if [ "${EVENEMENTS:-0}" -eq 0 ]; then
    echo "[demo] l'envoi n'a créé aucun événement." >&2
    exit 1
fi
echo
echo "\$ ivromvt-cli suivi $DEMO_DB --noeud mag-001"
"$CLI" suivi "$DEMO_DB" --noeud mag-001
echo
log "la fenêtre : DISPLAY=:0 $(programme IvroMVT) (ou relancer ce script avec un écran)"
