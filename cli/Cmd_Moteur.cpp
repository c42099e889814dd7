// Installing the replication engine as a service, and removing it, from a
// terminal.
#include "cli/CliCommand.h"
#include "cli/OptionsMoteur.h"

#include "common/UWMI.h"
#include "data/uDataMod.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcessEnvironment>

namespace {

bool OuiNon(const TCliContext &aCtx, const QString &aName)
{
    const QString text = aCtx.Option(aName, QStringLiteral("non"));
    if (text != QLatin1String("oui") && text != QLatin1String("non"))
        throw ECliUsage(QStringLiteral("--%1 attend oui ou non : \"%2\"").arg(aName, text));
    return text == QLatin1String("oui");
}

// The Java runtime the engine runs with: --java, else JAVA_HOME; its
// program must be there before anything is installed.
void SetJava(const TCliContext &aCtx)
{
    QString java = aCtx.Option(QStringLiteral("java"));
    if (java.isEmpty())
        java = QProcessEnvironment::systemEnvironment().value(QStringLiteral("JAVA_HOME"));
    if (java.isEmpty())
        throw ECliUsage(QStringLiteral("Option manquante : --java DOSSIER (dossier d'un environnement Java ; à "
                                       "défaut la variable JAVA_HOME)"));
    java = AbsoluteFolder(QStringLiteral("java"), java, true);
#ifdef Q_OS_WIN
    const QString program = QDir(java).filePath(QStringLiteral("bin/java.exe"));
#else
    const QString program = QDir(java).filePath(QStringLiteral("bin/java"));
#endif
    if (!QFileInfo(program).isExecutable())
        throw ECliUsage(QStringLiteral("Valeur refusée pour --java : \"%1\" (pas de programme %2)")
                            .arg(java, QDir::toNativeSeparators(program)));
    VGSE.JavaPath = java;
}

TSymmetricDS Record(const TCliContext &aCtx)
{
    TSymmetricDS sym;
    sym.Nom = Checked(QStringLiteral("nom"), aCtx.RequiredOption(QStringLiteral("nom"), QStringLiteral("SERVICE")),
                      RefusNomService(aCtx.Option(QStringLiteral("nom"))));
    sym.Repertoire = AbsoluteFolder(QStringLiteral("repertoire"),
                                    aCtx.RequiredOption(QStringLiteral("repertoire"), QStringLiteral("DOSSIER")), false);
    return sym;
}


TCliResultat CmdInstalleMoteur(TCliContext &aCtx)
{
    TSymmetricDS sym = Record(aCtx);
    const QString groupe = aCtx.RequiredOption(QStringLiteral("groupe"), QStringLiteral("lame|mags"));
    if (groupe != QLatin1String("lame") && groupe != QLatin1String("mags"))
        throw ECliUsage(QStringLiteral("--groupe attend lame (serveur central) ou mags (magasin) : \"%1\"").arg(groupe));
    sym.IsLame = groupe == QLatin1String("lame");
    sym.http = aCtx.PortOption(QStringLiteral("http"));
    sym.https = aCtx.PortOption(QStringLiteral("https"));
    sym.jmx = aCtx.PortOption(QStringLiteral("jmx"));
    sym.agent = aCtx.PortOption(QStringLiteral("agent"));
    const QString memoire = aCtx.RequiredOption(QStringLiteral("memoire"), QStringLiteral("MO"));
    bool ok = false;
    sym.memory = memoire.toInt(&ok);
    if (!ok || sym.memory <= 0)
        throw ECliUsage(QStringLiteral("Mémoire invalide pour --memoire : \"%1\" (en mégaoctets)").arg(memoire));
    sym.server_java = OuiNon(aCtx, QStringLiteral("serveur-java"));
    const bool demarrer = OuiNon(aCtx, QStringLiteral("demarrer"));
    SetJava(aCtx);

    aCtx.Confirm(QStringLiteral("Installer le moteur de réplication dans %1 comme service \"%2\" (%3) ?")
                     .arg(sym.Repertoire, sym.Nom,
                          sym.IsLame ? QStringLiteral("serveur central") : QStringLiteral("magasin")));
    // A failure raises with the step it stopped at and what was done before.
    DataMod->Moteur.InstallationSymmetricDS(sym, demarrer);
    const QStringList notes = DataMod->Moteur.PrendEtapesNonExecutees();
    TCliResultat r;
    r.Json(QJsonObject{{QStringLiteral("installe"), true},
                       {QStringLiteral("etapesNonExecutees"), QJsonArray::fromStringList(notes)}});
    // What could not be done on this system is said, never skipped silently.
    for (const QString &note : notes)
        r.Ligne(QStringLiteral("Étape non exécutée : ") + note);
    return r.Ligne(QStringLiteral("Moteur installé dans %1, service \"%2\".").arg(sym.Repertoire, sym.Nom));
}

TCliResultat CmdDesinstalleMoteur(TCliContext &aCtx)
{
    const TSymmetricDS sym = Record(aCtx);
    SetJava(aCtx);
    aCtx.Confirm(QStringLiteral("Désinstaller le moteur de %1 et supprimer le service \"%2\" ?")
                     .arg(sym.Repertoire, sym.Nom));
    // A failure raises with the step it stopped at: never "supprimé" after it.
    DataMod->Moteur.DesInstallationSymmetricDS(sym);
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("desinstalle"), true}})
        .Ligne(QStringLiteral("Moteur désinstallé de %1, service \"%2\" supprimé.").arg(sym.Repertoire, sym.Nom));
}

const TCliRegistrar RegInstalleMoteur(
    {QStringLiteral("installe-moteur"),
     QStringLiteral("--nom SERVICE --repertoire DOSSIER --groupe lame|mags --http PORT --https PORT --jmx PORT "
                    "--agent PORT --memoire MO [--java DOSSIER] [--demarrer oui|non] [--serveur-java oui|non] "
                    "[--oui] [--json]"),
     QStringLiteral("écrit : installe le moteur de réplication comme service (l'installateur doit être à côté du "
                    "programme)"),
     CmdInstalleMoteur});
const TCliRegistrar RegDesinstalleMoteur(
    {QStringLiteral("desinstalle-moteur"),
     QStringLiteral("--nom SERVICE --repertoire DOSSIER [--java DOSSIER] [--oui] [--json]"),
     QStringLiteral("écrit : désinstalle le moteur de réplication et supprime son service"), CmdDesinstalleMoteur});

} // namespace
