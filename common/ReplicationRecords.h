#pragma once

// Results of the data module's replication-state and site-identity
// operations.

#include "common/DateTime.h"

#include <QString>
#include <QtGlobal>

// The state of one replication node in a site database.
struct TEtatNoeud
{
    QString NODE_ID;
    qint32 SYNC_ENABLED = -1; // -1: node unknown
    QString SYNC_URL;
    QString HEARTBEAT_TIME;   // as text; empty when unknown
    qint32 SYNC_MOD = 1;      // 2 when the node is set offline, otherwise 1
};

// The local site's identity and its passage parameter (type 80, code 2).
struct TInfosTavenIVRO
{
    qint32 BAS_ID = 0;
    QString GUID;
    QString SENDER;
    qint32 BAS_MAGID = 0;
    TDateTime DatePassage;
    qint32 Etat = 0;
    QString Dossier;

    void Init() { *this = TInfosTavenIVRO(); }
};

// The local site's name and the host it replicates to.
struct TInfosReplication
{
    QString NomBase;
    QString ServeurReplication; // the host, or the whole address when none can be taken out
};

// The replication row whose database location UpdateREP_PLACEBASE writes:
// the first row of the local site (REP_ID 0 when it has none), with its
// location before and after the write.
struct TPlaceBaseReplication
{
    qint32 REP_ID = 0;
    QString Avant;
    QString Apres;
};

// The parameters of one installation of the replication engine as a service.
struct TSymmetricDS
{
    QString Nom;        // the service's name; also the program group and the firewall rule's name
    QString Repertoire; // the engine's installation folder
    qint32 http = 0;    // HTTP port, first port of the firewall rule
    qint32 https = 0;
    qint32 jmx = 0;
    qint32 agent = 0;   // JMX agent port, last port of the firewall rule
    bool server_java = false; // not consulted by the installation
    qint32 memory = 0;  // Java heap of the service, in megabytes
    bool IsLame = false; // central server (group lame) rather than a shop (group mags)
};
