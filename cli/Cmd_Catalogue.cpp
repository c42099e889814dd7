// Which tables SymmetricDS captures, which it leaves out, which are too wide.
#include "cli/CliCommand.h"
#include "cli/DatasetOutput.h"

#include "data/uDataMod.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

TMemTable Dataset(const QStringList &aColumns)
{
    TMemTable t;
    for (const QString &c : aColumns)
        t.AddColumn(c);
    return t;
}

// The server's relation type: its code as a number, and what it means.
QString LibelleType(int aCode)
{
    switch (aCode) {
    case 0: return QStringLiteral("table");
    case 2: return QStringLiteral("table externe");
    case 3: return QStringLiteral("table virtuelle du serveur");
    case 4: return QStringLiteral("table temporaire (lignes gardées jusqu'à la déconnexion)");
    case 5: return QStringLiteral("table temporaire (lignes effacées à la fin de la transaction)");
    default: return QStringLiteral("type %1").arg(aCode);
    }
}

TMemTable AvecLibelleType(const TMemTable &aListe)
{
    TMemTable t;
    t.AddColumn(QStringLiteral("TABLE_NAME"));
    t.AddColumn(QStringLiteral("TYPE_TABLE"), QMetaType::Int);
    t.AddColumn(QStringLiteral("TYPE"));
    for (int r = 0; r < aListe.RecordCount(); ++r) {
        const int code = aListe.Text(r, 1).toInt();
        t.Append();
        t.SetValue(0, aListe.Text(r, 0));
        t.SetValue(1, code);
        t.SetValue(2, LibelleType(code));
        t.Post();
    }
    return t;
}

TCliResultat CmdTablesReplicantes(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString liste = aCtx.Option(QStringLiteral("liste"), QStringLiteral("ktb")).toLower();
    const QStringList cles = {QStringLiteral("TABLE_NAME"), QStringLiteral("SYNC_KEY_NAMES"),
                              QStringLiteral("CLE_PRIMAIRE")};
    TMemTable t;
    if (liste == QLatin1String("ktb")) {
        t = Dataset({QStringLiteral("TABLE_NAME"), QStringLiteral("PRIMARY_KEY")});
        DataMod->Replication.GetTablesReplicantes(base, t);
    } else if (liste == QLatin1String("toutes")) {
        t = Dataset(cles);
        DataMod->Replication.GetAllTablesReplicantes(base, t);
    } else if (liste == QLatin1String("cash")) {
        t = Dataset(cles);
        DataMod->Replication.GetCASHTablesReplicantes(base, t);
    } else if (liste == QLatin1String("ivro")) {
        t = Dataset(cles);
        DataMod->Replication.GetIVROTablesSuppReplicantes(base, t);
    } else {
        throw ECliUsage(QStringLiteral("Valeur de --liste inconnue : \"%1\" (ktb, toutes, cash ou ivro)").arg(liste));
    }
    TCliResultat r;
    return AvecDataset(r, t);
}

TCliResultat CmdTablesExclues(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString liste = aCtx.Option(QStringLiteral("liste"), QStringLiteral("ktb")).toLower();
    TMemTable t;
    TCliResultat r;
    if (liste == QLatin1String("ktb")) {
        t = Dataset({QStringLiteral("TABLE_NAME"), QStringLiteral("PRIMARY_KEY")});
        DataMod->Replication.GetTablesExclues(base, t);
    } else if (liste == QLatin1String("toutes")) {
        t = Dataset({QStringLiteral("TABLE_NAME"), QStringLiteral("TYPE_TABLE")});
        DataMod->Replication.GetAllTablesExclues(base, t);
        // What the list is, and what its codes mean, said with it.
        r.Ligne(QStringLiteral("Tables absentes de KTB (vues exclues), répliquées ou non : K, les tables SYM_ "
                               "de SymmetricDS et toute table que KTB ne liste pas."));
        t = AvecLibelleType(t);
    } else {
        throw ECliUsage(QStringLiteral("Valeur de --liste inconnue : \"%1\" (ktb ou toutes)").arg(liste));
    }
    return AvecDataset(r, t);
}

TCliResultat CmdListeTablesExclues(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    auto cnx = DataMod->Acces.getNewConnexion(SysdbaRef(base));
    // Name by name: a quoted table name may hold a blank, which the stored
    // one-line form can't tell from a separator.
    const QStringList tables = DataMod->Replication.ListeTablesTropLarges(cnx.get());
    const QString liste = tables.join(QLatin1Char(' '));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("TablesExclues"), liste},
                          {QStringLiteral("tables"), QJsonArray::fromStringList(tables)}})
        .Ligne(tables.isEmpty() ? QStringLiteral("Aucune table trop large.") : liste);
}

TCliResultat CmdControleLongueur(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString table = aCtx.Arg(1, QStringLiteral("TABLE"));
    auto cnx = DataMod->Acces.getNewConnexion(SysdbaRef(base));
    const bool accepte = DataMod->Replication.Controle_Longueur_Champs_Table(cnx.get(), table);
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("table"), table}, {QStringLiteral("accepte"), accepte}})
        .Ligne(accepte ? QStringLiteral("%1 : largeur acceptée (4070 caractères au plus).").arg(table)
                       : QStringLiteral("%1 : trop large pour la réplication, ou introuvable.").arg(table));
}

const TCliRegistrar RegTablesReplicantes(
    {QStringLiteral("tables-replicantes"), QStringLiteral("BASE [--liste ktb|toutes|cash|ivro] [--json]"),
     QStringLiteral("tables répliquées : de KTB (défaut), toutes, CASH, ou hors KTB, avec leurs clés"),
     CmdTablesReplicantes});
const TCliRegistrar RegTablesExclues({QStringLiteral("tables-exclues"), QStringLiteral("BASE [--liste ktb|toutes] [--json]"),
                                      QStringLiteral("tables de KTB sans trigger SymmetricDS (défaut), ou toutes les "
                                                     "tables absentes de KTB, répliquées ou non, avec leur type"),
                                      CmdTablesExclues});
const TCliRegistrar RegListeTablesExclues({QStringLiteral("liste-tables-exclues"), QStringLiteral("BASE [--json]"),
                                           QStringLiteral("tables de KTB trop larges pour la réplication"),
                                           CmdListeTablesExclues});
const TCliRegistrar RegControleLongueur({QStringLiteral("controle-longueur"), QStringLiteral("BASE TABLE [--json]"),
                                         QStringLiteral("test de largeur d'une table (nom tel que stocké)"),
                                         CmdControleLongueur});

} // namespace
