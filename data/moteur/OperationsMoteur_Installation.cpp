// Installing the replication engine as a service for one node, and taking
// it away again. Every outside program goes through SystemeMoteur().
#include "data/moteur/OperationsMoteur.h"

#include "common/AtomicFile.h"
#include "common/Erreur.h"
#include "common/TextFile.h"
#include "common/UWMI.h"
#include "data/moteur/FichiersMoteur.h"
#include "data/moteur/CheminsMoteur.h"
#include "data/moteur/ConfianceMoteur.h"
#include "data/moteur/ValeursMoteur.h"
#include "data/moteur/OperationsMoteur.h"
#include "db/DbError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {

const QString KInstaller = QStringLiteral("symmetric-pro-3.7.36-setup.jar");
const QString KAutoInstall = QStringLiteral("master-autoinstall.xml");
const QString KInterBaseService = QStringLiteral("IBS_gds_db");

// Usual rights for the system, administrators, interactive and service
// users; every authenticated user may start, stop, pause and continue.
const QString KServiceAcl = QStringLiteral("D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
                                           "(A;;CCLCSWLOCRRC;;;IU)(A;;CCLCSWLOCRRC;;;SU)(A;;RPWPDT;;;AU)");

// The contents of an embedded resource; false when there is none.
bool ReadResource(const QString &aName, QByteArray &aBytes)
{
    QFile resource(QStringLiteral(":/") + aName);
    if (!resource.open(QIODevice::ReadOnly))
        return false;
    aBytes = resource.readAll();
    return true;
}

// The steps of one installation: files written are put back and the things
// made before the engine's installer succeeded are removed when a step
// fails; what can't be undone is said in the message.
class TInstallSteps
{
public:
    explicit TInstallSteps(const QString &aOperation) : FOperation(aOperation) {}

    TFileJournal Files;
    // Done and left in place whatever happens next.
    QStringList Done;

    [[noreturn]] void Fail(const QString &aStep, const QString &aReason)
    {
        const QStringList written = Files.Paths();
        const QStringList left = Files.Undo();
        QString message = QStringLiteral("%1 interrompue à l'étape « %2 » : %3.").arg(FOperation, aStep, aReason);
        if (Done.isEmpty() && written.isEmpty())
            message += QStringLiteral(" Rien n'a été changé.");
        if (!Done.isEmpty())
            message += QStringLiteral(" Déjà fait, resté en place : %1.").arg(Done.join(QStringLiteral(" ; ")));
        if (written.size() > left.size())
            message += QStringLiteral(" Fichiers écrits puis remis dans leur état d'avant : %1.")
                           .arg(written.join(QStringLiteral(", ")));
        if (!left.isEmpty())
            message += QStringLiteral(" Fichiers qui n'ont pas pu être remis en état : %1.")
                           .arg(left.join(QStringLiteral(", ")));
        throw EDbError(message);
    }

    // The program's outcome, in French, when it did not succeed; empty when it did.
    static QString Failure(const QString &aProgram, const TProgramRun &aRun)
    {
        if (!aRun.Started)
            return QStringLiteral("%1 n'a pas pu être lancé (%2)").arg(aProgram, aRun.Error);
        if (aRun.ExitCode != 0)
            return aRun.ExitCode < 0 ? QStringLiteral("%1 s'est terminé sans code de sortie connu").arg(aProgram)
                                     : QStringLiteral("%1 a échoué (code de sortie %2)").arg(aProgram)
                                           .arg(aRun.ExitCode);
        return {};
    }

    // aChecked: the engine's own file that runs (a program or a jar), looked
    // at just before: another account's file is never run as root.
    void Run(TSystemeMoteur &aSystem, const QString &aStep, const QString &aFile, const QStringList &aArguments,
             const QString &aDirectory, bool aHidden, const QString &aChecked = QString())
    {
        if (!aChecked.isEmpty())
            if (const QString refusal = ProgramRefusal(aChecked); !refusal.isEmpty())
                Fail(aStep, QStringLiteral("lancement refusé : %1").arg(refusal));
        const QString failure = Failure(aFile, aSystem.RunAndWait(aFile, aArguments, aDirectory, aHidden));
        if (!failure.isEmpty())
            Fail(aStep, failure);
    }

private:
    QString FOperation;
};

// A file of the installed engine, read to be edited: never through a link
// that another account put there.
TTextContent LitFichierMoteur(TInstallSteps &aSteps, const QString &aStep, const QString &aPath)
{
    if (const QString refusal = TargetRefusal(aPath); !refusal.isEmpty())
        aSteps.Fail(aStep, QStringLiteral("le fichier \"%1\" est refusé : %2").arg(aPath, refusal));
    try {
        return ReadTextContent(aPath);
    } catch (const EDbError &e) {
        aSteps.Fail(aStep, e.Message());
    }
}

// The value of a double-quoted shell assignment.
QString ShellQuoted(const QString &aText)
{
    QString text;
    for (QChar c : aText) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('$') || c == QLatin1Char('`'))
            text += QLatin1Char('\\');
        text += c;
    }
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The program path of a service's command line: the quoted part, or the
// text up to the first blank; the whole line when neither fits.
QString ProgramOfCommandLine(const QString &aCommandLine)
{
    static const QRegularExpression program(QStringLiteral("^\"(.+)\"|^(\\S+)"));
    const QRegularExpressionMatch match = program.match(aCommandLine);
    if (!match.hasMatch())
        return aCommandLine;
    return match.capturedStart(1) >= 0 ? match.captured(1) : match.captured(2);
}

// The Java selection of the engine's start-up script. Windows: its two
// default choices are commented out and ours goes after the last line that
// sets the Java, so that nothing overrides it. The POSIX script picks in an
// if block, so ours goes after it, just before the export. The file keeps
// its encoding and its own line ends.
void ChoisitJavaMoteur(TInstallSteps &aSteps, const TCheminsMoteur &aPaths, const QString &aRepertoire,
                      const QString &aJavaHome)
{
    const QString step = QStringLiteral("choix de Java dans le script de démarrage");
    const QString path = aPaths.Local(aPaths.Join(aRepertoire, {"bin", aPaths.Windows() ? "setenv.bat" : "setenv"}));
    const TTextContent content = LitFichierMoteur(aSteps, step, path);
    const QString lineEnd = content.Text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n")
                                                                         : QStringLiteral("\n");
    QStringList lines = SplitTextLines(content.Text);

    auto find = [&lines](const QString &aLine) -> qsizetype {
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].trimmed().compare(aLine, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    };
    if (aPaths.Windows()) {
        for (const QString &line : {QStringLiteral("set SYM_JAVA=java"),
                                    QStringLiteral("if /i NOT \"%JAVA_HOME%\" == \"\" set SYM_JAVA=%JAVA_HOME%\\bin\\java")}) {
            const qsizetype at = find(line);
            if (at >= 0)
                lines[at].prepend(QStringLiteral("@REM "));
        }
        qsizetype last = -1;
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].contains(QLatin1String("SYM_JAVA="), Qt::CaseInsensitive))
                last = i;
        lines.insert(last < 0 ? lines.size() : last + 1, QStringLiteral("set SYM_JAVA=") + aPaths.Java(aJavaHome, false));
    } else {
        const qsizetype exportLine = find(QStringLiteral("export SYM_JAVA"));
        const QString choice = QStringLiteral("SYM_JAVA=") + ShellQuoted(aPaths.Java(aJavaHome, false));
        if (exportLine >= 0)
            lines.insert(exportLine, choice);
        else
            lines << choice << QStringLiteral("export SYM_JAVA");
    }

    QString text;
    for (const QString &line : std::as_const(lines))
        text += line + lineEnd;
    try {
        aSteps.Files.WriteText(path, text, content.Encoding);
    } catch (const EDbError &e) {
        aSteps.Fail(step, e.Message());
    }
}

struct TWrapperConf
{
    QString Path;
    TTextEncoding Encoding = TTextEncoding::Ansi;
    TNameValueLines Values;
};

TWrapperConf ReadWrapperConf(TInstallSteps &aSteps, const QString &aStep, const TCheminsMoteur &aPaths,
                             const QString &aRepertoire)
{
    TWrapperConf conf;
    conf.Path = aPaths.Local(aPaths.Join(aPaths.WithoutSep(aRepertoire), {"conf", "sym_service.conf"}));
    const TTextContent content = LitFichierMoteur(aSteps, aStep, conf.Path);
    conf.Encoding = content.Encoding;
    conf.Values.Lines = SplitTextLines(content.Text);
    return conf;
}

void WriteWrapperConf(TInstallSteps &aSteps, const QString &aStep, const TWrapperConf &aConf)
{
    try {
        aSteps.Files.WriteText(aConf.Path, JoinCrLf(aConf.Values.Lines), aConf.Encoding);
    } catch (const EDbError &e) {
        aSteps.Fail(aStep, e.Message());
    }
}

// The Java options of the service: the new ones take the numbers after the
// highest one in use (a gap in the numbering must not make us reuse one),
// one line below the line of that highest option, never past the end.
void AddJavaOptions(TNameValueLines &aValues)
{
    static const QRegularExpression option(QStringLiteral("^wrapper\\.java\\.additional\\.(\\d+)\\s*="),
                                           QRegularExpression::CaseInsensitiveOption);
    qint64 highest = 0;
    qsizetype position = 0;
    for (qsizetype i = 0; i < aValues.Lines.size(); ++i) {
        const QRegularExpressionMatch match = option.match(aValues.Lines[i]);
        const qint64 n = match.hasMatch() ? match.captured(1).toLongLong() : 0;
        if (n > highest) {
            highest = n;
            position = i;
        }
    }
    QStringList &lines = aValues.Lines;
    lines.insert(std::min(position + 2, lines.size()),
                 QStringLiteral("wrapper.java.additional.%1=-Dfile.encoding=ISO8859_15").arg(highest + 1));
    lines.insert(std::min(position + 3, lines.size()),
                 QStringLiteral("wrapper.java.additional.%1=-XX:-UseGCOverheadLimit").arg(highest + 2));
}

void CheckPort(const QString &aName, qint32 aPort)
{
    if (aPort < 1 || aPort > 65535)
        throw EDbError(QStringLiteral("Port %1 refusé : %2 (de 1 à 65535) ; rien n'a été fait.").arg(aName).arg(aPort));
}

// The service's name and the engine's and Java's folders, which installing
// and removing both act on.
void ExigeEmplacements(const TSymmetricDS &ASym, const TCheminsMoteur &aPaths)
{
    ExigeValeur(QStringLiteral("Nom de service"), ASym.Nom, RefusNomService(ASym.Nom));
    ExigeValeur(QStringLiteral("Dossier d'installation"), ASym.Repertoire,
                RefusDossier(aPaths.Local(ASym.Repertoire), false));
    ExigeValeur(QStringLiteral("Dossier Java"), VGSE.JavaPath, RefusChemin(VGSE.JavaPath));
}

} // namespace

TOperationsMoteur::TOperationsMoteur(TAcces &aAcces, TOperationsReplication &aReplication)
    : FAcces(aAcces), FReplication(aReplication)
{
}

TOperationsMoteur::~TOperationsMoteur() = default;

TSystemeMoteur &TOperationsMoteur::SystemeMoteur()
{
    if (!FSystemeMoteur)
        FSystemeMoteur = NewSystemeMoteurPlateforme();
    return *FSystemeMoteur;
}

void TOperationsMoteur::SetSystemeMoteur(std::unique_ptr<TSystemeMoteur> aSystem)
{
    FSystemeMoteur = std::move(aSystem);
}

QStringList TOperationsMoteur::PrendEtapesNonExecutees()
{
    return std::exchange(FEtapesNonExecutees, QStringList());
}

bool TOperationsMoteur::InstallationSymmetricDS(const TSymmetricDS &ASym, bool aStart)
{
    TSystemeMoteur &system = SystemeMoteur();
    const TCheminsMoteur paths(system.Windows());

    // The values, before anything is looked at on disk.
    ExigeEmplacements(ASym, paths);
    CheckPort(QStringLiteral("HTTP"), ASym.http);
    CheckPort(QStringLiteral("HTTPS"), ASym.https);
    CheckPort(QStringLiteral("JMX"), ASym.jmx);
    CheckPort(QStringLiteral("de l'agent JMX"), ASym.agent);
    if (ASym.memory <= 0)
        throw EDbError(QStringLiteral("Mémoire refusée : %1 Mo ; rien n'a été fait.").arg(ASym.memory));

    // What the installation needs, before anything is written or run.
    const QString repertoire = paths.WithoutSep(ASym.Repertoire);
    const QString installer = paths.WithSep(ASym.Repertoire) + KInstaller;
    const QString autoInstall = paths.WithSep(ASym.Repertoire) + KAutoInstall;
    const QString installerSource = paths.Local(VGSE.ExePath + KInstaller);
    const auto refuse = [](const QString &aReason) {
        throw EDbError(QStringLiteral("Installation interrompue : %1 ; rien n'a été fait.").arg(aReason));
    };
    if (!QFileInfo(installerSource).isFile())
        refuse(QStringLiteral("l'installateur \"%1\" est absent à côté du programme").arg(installerSource));
    const QFileInfo copy(paths.Local(installer));
    if (copy.exists() || copy.isSymLink())
        refuse(QStringLiteral("\"%1\" existe déjà : une installation a déjà été faite dans ce dossier").arg(installer));

    // The InterBase server's folder, from its service's command line.
    // Without it the library and the driver would be looked for at the root
    // of the drive: better to say so and stop.
    const TInfoSurService info = system.ServiceInfo(KInterBaseService);
    if (!info.Exist)
        refuse(QStringLiteral("le serveur InterBase est introuvable. %1")
                   .arg(info.ErrorMessage.isEmpty()
                            ? QStringLiteral("Le service \"%1\" n'existe pas.").arg(KInterBaseService)
                            : info.ErrorMessage));
    const QString interBaseDir = paths.FolderOf(ProgramOfCommandLine(info.BinaryPathName));
    if (interBaseDir.isEmpty())
        refuse(QStringLiteral("la ligne de commande du service \"%1\" ne donne pas le dossier du serveur InterBase "
                              "(\"%2\")")
                   .arg(KInterBaseService, info.BinaryPathName));
    const QString interBase = paths.WithoutSep(interBaseDir);

    // The JDBC driver of the local InterBase, else our own copy if the
    // program carries one: known now, not after the service is installed.
    const QString sdkDriver = paths.Join(interBase, {"..", "SDK", "lib", "interclient.jar"});
    QByteArray ownDriver;
    if (!QFileInfo(paths.Local(sdkDriver)).isFile() && !ReadResource(QStringLiteral("interclientjar"), ownDriver))
        refuse(QStringLiteral("pas de pilote JDBC : ni \"%1\", ni celui du programme").arg(sdkDriver));

    QByteArray answers;
    if (!ReadResource(QStringLiteral("masterautoinstall"), answers))
        refuse(QStringLiteral("ressource masterautoinstall introuvable"));
    QByteArray grants;
    if (!ASym.IsLame && !ReadResource(QStringLiteral("grants"), grants))
        refuse(QStringLiteral("ressource grants introuvable"));

    // Its files will run as root: an existing folder open to another
    // account is refused before anything is made.
    const bool folderExisted = QFileInfo(paths.Local(repertoire)).isDir();
    if (folderExisted)
        ExigeDossierMoteur(QStringLiteral("Dossier d'installation"), paths.Local(repertoire));

    TInstallSteps steps(QStringLiteral("Installation"));

    // The folder, the installer copy and the answer file: removed again if
    // the installer does not go through, so that a retry is not refused.
    const QString folderStep = QStringLiteral("création du dossier");
    QStringList made;
    for (QString f = paths.Local(repertoire); !f.isEmpty() && !QFileInfo::exists(f) && !QFileInfo(f).isSymLink();
         f = QFileInfo(f).absolutePath())
        made.prepend(f);
    const auto removeFolder = [&]() {
        for (auto it = made.crbegin(); it != made.crend(); ++it)
            QDir().rmdir(*it);
    };
    for (const QString &f : std::as_const(made)) {
        // Made for root alone to change, whatever the umask.
        if (!QDir().mkdir(f)
            || !QFile::setPermissions(f, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                             | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                             | QFileDevice::ReadOther | QFileDevice::ExeOther)) {
            removeFolder();
            steps.Fail(folderStep, QStringLiteral("le dossier \"%1\" n'a pas pu être créé").arg(f));
        }
    }
    if (const QString refusal = FolderRefusal(paths.Local(repertoire), TFolderTrust::Private); !refusal.isEmpty()) {
        removeFolder();
        steps.Fail(folderStep, refusal);
    }
    try {
        CopyFileAtomically(installerSource, paths.Local(installer));
        steps.Files.Created(paths.Local(installer));
    } catch (const std::exception &e) {
        removeFolder();
        steps.Fail(QStringLiteral("copie de l'installateur"), TexteErreur(e));
    }
    {
        // The answers go into XML: each value escaped, all filled in one pass.
        const TTextContent content{DecodeWindowsText(answers),
                                   answers.startsWith("\xEF\xBB\xBF") ? TTextEncoding::Utf8Bom : TTextEncoding::Ansi};
        // Escaped after filling would escape the template's own markup:
        // the values are escaped instead.
        const QString escaped = FillPlaceholders(content.Text, {
                                                     {QStringLiteral("%installpath%"), XmlEscaped(ASym.Repertoire)},
                                                     {QStringLiteral("%servicename%"), XmlEscaped(ASym.Nom)},
                                                     {QStringLiteral("%agent%"), QString::number(ASym.agent)},
                                                     {QStringLiteral("%https%"), QString::number(ASym.https)},
                                                     {QStringLiteral("%http%"), QString::number(ASym.http)},
                                                     {QStringLiteral("%jmx%"), QString::number(ASym.jmx)},
                                                     {QStringLiteral("%programmegroup%"), XmlEscaped(ASym.Nom)},
                                                 });
        try {
            steps.Files.WriteText(paths.Local(autoInstall), JoinCrLf(SplitTextLines(escaped)), content.Encoding);
        } catch (const EDbError &e) {
            removeFolder();
            steps.Fail(QStringLiteral("fichier de réponses de l'installateur"), e.Message());
        }
    }

    // The engine's own installer, unattended.
    {
        const QString java = paths.Java(VGSE.JavaPath, true);
        const QString refusal = ProgramRefusal(paths.Local(installer));
        const QString failure =
            !refusal.isEmpty()
                ? QStringLiteral("lancement refusé : %1").arg(refusal)
                : TInstallSteps::Failure(java, system.RunAndWait(java, {QStringLiteral("-jar"), installer, autoInstall},
                                                                 ASym.Repertoire, false));
        if (!failure.isEmpty()) {
            steps.Files.Undo();
            removeFolder();
            throw EDbError(QStringLiteral("Installation interrompue à l'étape « installateur du moteur » : %1. La "
                                          "copie de l'installateur et le fichier de réponses ont été retirés.")
                               .arg(failure));
        }
    }
    // Installed: the copy and the answer file stay, an earlier installation
    // is recognised by them.
    steps.Files = TFileJournal();
    steps.Done << QStringLiteral("moteur installé dans %1 par son installateur").arg(repertoire);

    // The Java of the engine, and the wrapper's Java in native form.
    ChoisitJavaMoteur(steps, paths, ASym.Repertoire, VGSE.JavaPath);
    {
        const QString step = QStringLiteral("Java du service");
        TWrapperConf conf = ReadWrapperConf(steps, step, paths, ASym.Repertoire);
        const QString name = QStringLiteral("wrapper.java.command");
        QString command = conf.Values.Value(name);
        if (paths.Windows())
            command.replace(QLatin1Char('/'), QLatin1Char('\\'));
        else
            command.replace(QLatin1Char('\\'), QLatin1Char('/'));
        conf.Values.SetValue(name, command);
        WriteWrapperConf(steps, step, conf);
    }

    // The service, started by hand only on the central server.
    const QString serviceScript = paths.Join(ASym.Repertoire, {"bin", paths.Windows() ? "sym_service.bat" : "sym_service"});
    steps.Run(system, QStringLiteral("enregistrement du service"), serviceScript, {QStringLiteral("install")},
              paths.WithSep(paths.Join(ASym.Repertoire, {"bin"})), false, paths.Local(serviceScript));
    steps.Done << QStringLiteral("service \"%1\" enregistré").arg(ASym.Nom);
    if (ASym.IsLame) {
        if (paths.Windows())
            steps.Run(system, QStringLiteral("démarrage manuel du service"),
                      QStringLiteral("C:\\windows\\system32\\sc.exe"),
                      {QStringLiteral("config"), ASym.Nom, QStringLiteral("start="), QStringLiteral("demand")},
                      QStringLiteral("C:\\windows\\system32\\"), false);
        else
            steps.Run(system, QStringLiteral("démarrage manuel du service"), QStringLiteral("systemctl"),
                      {QStringLiteral("disable"), ASym.Nom}, QString(), false);
        steps.Done << QStringLiteral("service en démarrage manuel");
    }

    // The engine's functions library, unless the server has one already.
    const QString udf = paths.Join(interBase, {"..", "UDF", "sym_udf.dll"});
    if (!QFileInfo::exists(paths.Local(udf))) {
        if (!system.CopyFile(paths.Join(repertoire, {"databases", "interbase", "sym_udf.dll"}), udf))
            steps.Fail(QStringLiteral("bibliothèque de fonctions"),
                       QStringLiteral("\"%1\" n'a pas pu être copiée").arg(udf));
        steps.Files.Created(paths.Local(udf));
    }

    // The JDBC driver: the local InterBase's, else our own.
    const QString driver = paths.Join(repertoire, {"lib", "interclient.jar"});
    if (system.CopyFile(sdkDriver, driver)) {
        steps.Files.Created(paths.Local(driver));
    } else {
        try {
            if (ownDriver.isEmpty())
                throw EDbError(QStringLiteral("la copie de \"%1\" a échoué").arg(sdkDriver));
            steps.Files.Write(paths.Local(driver), ownDriver);
        } catch (const EDbError &e) {
            steps.Fail(QStringLiteral("pilote JDBC"), e.Message());
        }
    }

    // Java options and memory of the service.
    {
        const QString step = QStringLiteral("options Java et mémoire du service");
        TWrapperConf conf = ReadWrapperConf(steps, step, paths, ASym.Repertoire);
        AddJavaOptions(conf.Values);
        conf.Values.SetValue(QStringLiteral("wrapper.java.initmemory"), QString::number(ASym.memory));
        conf.Values.SetValue(QStringLiteral("wrapper.java.maxmemory"), QString::number(ASym.memory));
        if (ASym.IsLame)
            conf.Values.SetValue(QStringLiteral("wrapper.ntservice.starttype"), QStringLiteral("manual"));
        WriteWrapperConf(steps, step, conf);
    }

    // Engine-wide properties, written anew; the grants script that a shop's
    // engine runs at registration.
    try {
        steps.Files.WriteText(paths.Local(paths.Join(repertoire, {"conf", "symmetric.properties"})),
                              JoinCrLf({QStringLiteral("initial.load.concat.csv.in.sql.enabled=true")}),
                              TTextEncoding::Ansi);
        if (!ASym.IsLame)
            steps.Files.Write(paths.Local(paths.WithSep(ASym.Repertoire) + QStringLiteral("grants.sql")), grants);
    } catch (const EDbError &e) {
        steps.Fail(QStringLiteral("propriétés du moteur"), e.Message());
    }

    // Who may drive the service; the firewall for the central server.
    try {
        UpdateServiceACL(ASym.Nom);
        if (system.Windows())
            steps.Done << QStringLiteral("droits du service posés");
        if (ASym.IsLame) {
            OpenFireWall(ASym);
            if (system.Windows())
                steps.Done << QStringLiteral("règle de pare-feu \"%1\" ajoutée").arg(ASym.Nom);
        }
    } catch (const EDbError &e) {
        steps.Fail(QStringLiteral("droits du service et pare-feu"), e.Message());
    }

    // Installed whole: a service that does not start is said, the
    // installation is kept.
    if (aStart) {
        bool started = false;
        QString why;
        try {
            started = system.StartService(ASym.Nom);
        } catch (const std::exception &e) {
            why = QStringLiteral(" (%1)").arg(TexteErreur(e));
        }
        if (!started)
            throw EDbError(QStringLiteral("Moteur installé dans %1, mais le service \"%2\" n'a pas démarré%3.")
                               .arg(repertoire, ASym.Nom, why));
    }
    return true;
}

bool TOperationsMoteur::DesInstallationSymmetricDS(const TSymmetricDS &ASym)
{
    TSystemeMoteur &system = SystemeMoteur();
    const TCheminsMoteur paths(system.Windows());
    ExigeEmplacements(ASym, paths);

    const QString uninstaller = paths.Join(ASym.Repertoire, {"Uninstaller", "Uninstaller.jar"});
    if (!QFileInfo(paths.Local(uninstaller)).isFile())
        throw EDbError(QStringLiteral("Désinstallation interrompue : le désinstalleur \"%1\" est absent ; rien n'a "
                                      "été fait.")
                           .arg(uninstaller));
    ExigeDossierMoteur(QStringLiteral("Dossier d'installation"), paths.Local(ASym.Repertoire));
    const TInfoSurService info = system.ServiceInfo(ASym.Nom);
    if (!info.Exist)
        throw EDbError(QStringLiteral("Désinstallation interrompue : le service \"%1\" est introuvable (%2) ; rien "
                                      "n'a été fait.")
                           .arg(ASym.Nom, info.ErrorMessage));

    QDir::setCurrent(paths.Local(VGSE.ExePath));
    TInstallSteps steps(QStringLiteral("Désinstallation"));
    steps.Run(system, QStringLiteral("désinstalleur du moteur"), paths.Java(VGSE.JavaPath, true),
              {QStringLiteral("-jar"), uninstaller}, VGSE.ExePath, false, paths.Local(uninstaller));
    steps.Done << QStringLiteral("moteur désinstallé de %1").arg(ASym.Repertoire);
    // The service of this installation, whatever name it was given.
    if (paths.Windows())
        steps.Run(system, QStringLiteral("suppression du service"), QStringLiteral("sc.exe"),
                  {QStringLiteral("delete"), ASym.Nom}, QString(), false);
    else
        steps.Run(system, QStringLiteral("suppression du service"), QStringLiteral("systemctl"),
                  {QStringLiteral("disable"), QStringLiteral("--now"), ASym.Nom}, QString(), false);
    return true;
}

void TOperationsMoteur::OpenFireWall(const TSymmetricDS &ASym)
{
    TSystemeMoteur &system = SystemeMoteur();
    ExigeValeur(QStringLiteral("Nom de service"), ASym.Nom, RefusNomService(ASym.Nom));
    if (!system.Windows()) {
        FEtapesNonExecutees << QStringLiteral("Pare-feu : aucune règle \"%1\" ouverte pour les ports TCP %2 à %3, ce "
                                              "système n'a pas d'outil commun pour cela ; ouvrez ces ports à la main "
                                              "si un pare-feu les ferme.")
                                   .arg(ASym.Nom, QString::number(ASym.http), QString::number(ASym.agent));
        return;
    }
    const QString failure = TInstallSteps::Failure(
        QStringLiteral("netsh.exe"),
        system.RunAndWait(QStringLiteral("netsh.exe"),
                          {QStringLiteral("advfirewall"), QStringLiteral("firewall"), QStringLiteral("add"),
                           QStringLiteral("rule"), QStringLiteral("name=") + ASym.Nom, QStringLiteral("dir=in"),
                           QStringLiteral("action=allow"), QStringLiteral("protocol=TCP"),
                           QStringLiteral("localport=%1-%2").arg(ASym.http).arg(ASym.agent)},
                          QString(), true));
    if (!failure.isEmpty())
        throw EDbError(QStringLiteral("Règle de pare-feu \"%1\" non ajoutée : %2.").arg(ASym.Nom, failure));
}

void TOperationsMoteur::UpdateServiceACL(const QString &aName)
{
    TSystemeMoteur &system = SystemeMoteur();
    ExigeValeur(QStringLiteral("Nom de service"), aName, RefusNomService(aName));
    if (!system.Windows()) {
        FEtapesNonExecutees << QStringLiteral("Droits du service \"%1\" : rien n'a été changé, ce système n'a pas de "
                                              "descripteur de sécurité de service ; seul l'administrateur peut le "
                                              "démarrer ou l'arrêter.")
                                   .arg(aName);
        return;
    }
    const QString failure = TInstallSteps::Failure(
        QStringLiteral("sc.exe"),
        system.RunAndWait(QStringLiteral("sc.exe"), {QStringLiteral("sdset"), aName, KServiceAcl}, QString(), true));
    if (!failure.isEmpty())
        throw EDbError(QStringLiteral("Droits du service \"%1\" non posés : %2.").arg(aName, failure));
}
