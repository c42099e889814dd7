// Installing the replication engine as a service for one node, and taking
// it away again. Every outside program goes through EngineSystem().
#include "data/uDataMod.h"

#include "common/TextFile.h"
#include "common/UWMI.h"
#include "data/EngineFiles.h"
#include "data/EnginePaths.h"
#include "db/DbError.h"

#include <QDir>
#include <QFile>
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

bool WriteBytes(const QString &aPath, const QByteArray &aBytes)
{
    QFile file(aPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(aBytes) == aBytes.size();
}

bool WriteResource(const QString &aName, const QString &aPath)
{
    QByteArray bytes;
    return ReadResource(aName, bytes) && WriteBytes(aPath, bytes);
}

// A path handed to a program inside its parameters: a blank would cut it in
// two, so such a path goes in double quotes.
QString ArgPath(const QString &aPath)
{
    return aPath.contains(QLatin1Char(' ')) ? QLatin1Char('"') + aPath + QLatin1Char('"') : aPath;
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
// default choices are commented out and ours follows them. The POSIX script
// picks in an if block, so ours goes after it, just before the export.
void ChooseEngineJava(const TEnginePaths &aPaths, const QString &aRepertoire, const QString &aJavaHome)
{
    const QString path = aPaths.Local(aPaths.Join(aRepertoire, {"bin", aPaths.Windows() ? "setenv.bat" : "setenv"}));
    const TTextContent content = ReadTextContent(path);
    // Split at line feeds only: a carriage return stays part of its line.
    QStringList lines = content.Text.split(QLatin1Char('\n'));
    if (content.Text.isEmpty() || content.Text.endsWith(QLatin1Char('\n')))
        lines.removeLast();

    auto find = [&lines](const QString &aLine) -> qsizetype {
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].compare(aLine, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    };
    if (aPaths.Windows()) {
        const qsizetype first = find(QStringLiteral("set SYM_JAVA=java"));
        if (first >= 0)
            lines[first].prepend(QStringLiteral("@REM "));
        const qsizetype second =
            find(QStringLiteral("if /i NOT \"%JAVA_HOME%\" == \"\" set SYM_JAVA=%JAVA_HOME%\\bin\\java"));
        if (second >= 0)
            lines[second].prepend(QStringLiteral("@REM "));
        lines.insert(second + 1, QStringLiteral("set SYM_JAVA=") + aPaths.Java(aJavaHome, false));
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
        text += line + QLatin1Char('\n');
    WriteTextContent(path, text, content.Encoding);
}

struct TWrapperConf
{
    QString Path;
    TTextEncoding Encoding = TTextEncoding::Ansi;
    TNameValueLines Values;
};

TWrapperConf ReadWrapperConf(const TEnginePaths &aPaths, const QString &aRepertoire)
{
    TWrapperConf conf;
    conf.Path = aPaths.Local(aPaths.Join(aPaths.WithoutSep(aRepertoire), {"conf", "sym_service.conf"}));
    const TTextContent content = ReadTextContent(conf.Path);
    conf.Encoding = content.Encoding;
    conf.Values.Lines = SplitTextLines(content.Text);
    return conf;
}

void WriteWrapperConf(const TWrapperConf &aConf)
{
    WriteTextContent(aConf.Path, JoinCrLf(aConf.Values.Lines), aConf.Encoding);
}

} // namespace

TEngineSystem &TDataMod::EngineSystem()
{
    if (!FEngineSystem)
        FEngineSystem = NewPlatformEngineSystem();
    return *FEngineSystem;
}

void TDataMod::SetEngineSystem(std::unique_ptr<TEngineSystem> aSystem)
{
    FEngineSystem = std::move(aSystem);
}

QStringList TDataMod::PrendEtapesNonExecutees()
{
    return std::exchange(FEtapesNonExecutees, QStringList());
}

bool TDataMod::InstallationSymmetricDS(const TSymmetricDS &ASym, bool aStart)
{
    TEngineSystem &system = EngineSystem();
    const TEnginePaths paths(system.Windows());

    // 1-3: the folder, the installer copy and the answer file.
    const QString installer = paths.WithSep(ASym.Repertoire) + KInstaller;
    const QString autoInstall = paths.WithSep(ASym.Repertoire) + KAutoInstall;
    if (!QDir().mkpath(paths.Local(ASym.Repertoire)))
        return false;
    // QFile::copy never replaces: an earlier installation stops here.
    if (!QFile::copy(paths.Local(VGSE.ExePath + KInstaller), paths.Local(installer)))
        return false;
    if (!WriteResource(QStringLiteral("masterautoinstall"), paths.Local(autoInstall)))
        return false;

    // 4: the answers.
    {
        const TTextContent content = ReadTextContent(paths.Local(autoInstall));
        QString text = JoinCrLf(SplitTextLines(content.Text));
        const QList<std::pair<QString, QString>> answers = {
            {QStringLiteral("%installpath%"), ASym.Repertoire},
            {QStringLiteral("%servicename%"), ASym.Nom},
            {QStringLiteral("%agent%"), QString::number(ASym.agent)},
            {QStringLiteral("%http%"), QString::number(ASym.http)},
            {QStringLiteral("%https%"), QString::number(ASym.https)},
            {QStringLiteral("%jmx%"), QString::number(ASym.jmx)},
            {QStringLiteral("%programmegroup%"), ASym.Nom},
        };
        for (const auto &[placeholder, value] : answers)
            text = ReplaceAllIgnoringCase(text, placeholder, value);
        WriteTextContent(paths.Local(autoInstall), JoinCrLf(SplitTextLines(text)), content.Encoding);
    }

    // 5: the engine's own installer, unattended.
    if (!system.RunAsAndWait(paths.Java(VGSE.JavaPath, true),
                             QStringLiteral("-jar %1 %2").arg(ArgPath(installer), ArgPath(autoInstall)),
                             ASym.Repertoire, false))
        return false;

    // 6-7: the Java of the engine, and the wrapper's Java in native form.
    ChooseEngineJava(paths, ASym.Repertoire, VGSE.JavaPath);
    {
        TWrapperConf conf = ReadWrapperConf(paths, ASym.Repertoire);
        const QString name = QStringLiteral("wrapper.java.command");
        QString command = conf.Values.Value(name);
        if (paths.Windows())
            command.replace(QLatin1Char('/'), QLatin1Char('\\'));
        else
            command.replace(QLatin1Char('\\'), QLatin1Char('/'));
        conf.Values.SetValue(name, command);
        WriteWrapperConf(conf);
    }

    // 8-9: the service, started by hand only on the central server.
    const QString binDir = paths.WithSep(paths.Join(ASym.Repertoire, {"bin"}));
    if (!system.RunAsAndWait(paths.Join(ASym.Repertoire, {"bin", paths.Windows() ? "sym_service.bat" : "sym_service"}),
                             QStringLiteral("install"), binDir, false))
        return false;
    if (ASym.IsLame) {
        if (paths.Windows())
            system.RunAsAndWait(QStringLiteral("C:\\windows\\system32\\sc.exe"),
                                QStringLiteral("config %1 start= demand").arg(ASym.Nom),
                                QStringLiteral("C:\\windows\\system32\\"), false);
        else
            system.RunAsAndWait(QStringLiteral("systemctl"), QStringLiteral("disable %1").arg(ASym.Nom), QString(),
                                false);
    }

    // 10: the InterBase server's folder, from its service's command line.
    // Without it the library and the driver would be looked for at the root
    // of the drive: better to say so and stop.
    QString interBaseDir;
    TInfoSurService info;
    try {
        info = system.ServiceInfo(KInterBaseService);
        interBaseDir = paths.FolderOf(ProgramOfCommandLine(info.BinaryPathName));
    } catch (const std::exception &) {
        return false;
    }
    if (!info.Exist)
        throw EDbError(QStringLiteral("Installation interrompue : le serveur InterBase est introuvable. %1")
                           .arg(info.ErrorMessage.isEmpty()
                                    ? QStringLiteral("Le service \"%1\" n'existe pas.").arg(KInterBaseService)
                                    : info.ErrorMessage));
    if (interBaseDir.isEmpty())
        throw EDbError(QStringLiteral("Installation interrompue : la ligne de commande du service \"%1\" ne donne pas "
                                      "le dossier du serveur InterBase (\"%2\").")
                           .arg(KInterBaseService, info.BinaryPathName));
    const QString interBase = paths.WithoutSep(interBaseDir);
    const QString repertoire = paths.WithoutSep(ASym.Repertoire);

    // 11: the engine's functions library, unless the server has one already.
    const QString udf = paths.Join(interBase, {"..", "UDF", "sym_udf.dll"});
    if (!QFile::exists(paths.Local(udf))
        && !system.CopyFile(paths.Join(repertoire, {"databases", "interbase", "sym_udf.dll"}), udf))
        return false;

    // 12-13: the JDBC driver of the local InterBase, else our own copy if
    // the program carries one.
    const QString driver = paths.Join(repertoire, {"lib", "interclient.jar"});
    if (!system.CopyFile(paths.Join(interBase, {"..", "SDK", "lib", "interclient.jar"}), driver))
        WriteResource(QStringLiteral("interclientjar"), paths.Local(driver));
    if (!QFile::exists(paths.Local(driver)))
        return false;

    // 14: Java options and memory of the service. The new options go one line
    // below the last existing one, never past the end of the file.
    {
        TWrapperConf conf = ReadWrapperConf(paths, ASym.Repertoire);
        int n = 1;
        qsizetype position = 0;
        for (;; ++n) {
            const qsizetype at = conf.Values.IndexOfName(QStringLiteral("wrapper.java.additional.%1").arg(n));
            if (at < 0)
                break;
            position = at;
        }
        QStringList &lines = conf.Values.Lines;
        lines.insert(std::min(position + 2, lines.size()),
                     QStringLiteral("wrapper.java.additional.%1=-Dfile.encoding=ISO8859_15").arg(n));
        lines.insert(std::min(position + 3, lines.size()),
                     QStringLiteral("wrapper.java.additional.%1=-XX:-UseGCOverheadLimit").arg(n + 1));
        conf.Values.SetValue(QStringLiteral("wrapper.java.initmemory"), QString::number(ASym.memory));
        conf.Values.SetValue(QStringLiteral("wrapper.java.maxmemory"), QString::number(ASym.memory));
        if (ASym.IsLame)
            conf.Values.SetValue(QStringLiteral("wrapper.ntservice.starttype"), QStringLiteral("manual"));
        WriteWrapperConf(conf);
    }

    // 15: engine-wide properties, written anew.
    WriteTextContent(paths.Local(paths.Join(repertoire, {"conf", "symmetric.properties"})),
                     JoinCrLf({QStringLiteral("initial.load.concat.csv.in.sql.enabled=true")}), TTextEncoding::Ansi);

    // 16: who may drive the service; the firewall for the central server,
    // the grants script that a shop's engine runs at registration.
    UpdateServiceACL(ASym.Nom);
    if (ASym.IsLame) {
        OpenFireWall(ASym);
    } else {
        const QString grants = paths.Local(paths.WithSep(ASym.Repertoire) + QStringLiteral("grants.sql"));
        QByteArray bytes;
        if (!ReadResource(QStringLiteral("grants"), bytes))
            throw EDbError(QStringLiteral("Ressource grants introuvable"));
        if (!WriteBytes(grants, bytes))
            throw EDbError(QStringLiteral("Impossible d'écrire le fichier \"%1\"").arg(grants));
    }

    // 17.
    bool result = true;
    if (aStart) {
        try {
            system.StartService(ASym.Nom);
        } catch (const std::exception &) {
            result = false;
        }
    }
    return result;
}

bool TDataMod::DesInstallationSymmetricDS(const TSymmetricDS &ASym)
{
    TEngineSystem &system = EngineSystem();
    const TEnginePaths paths(system.Windows());
    QDir::setCurrent(paths.Local(VGSE.ExePath));
    const QString uninstaller = paths.Join(ASym.Repertoire, {"Uninstaller", "Uninstaller.jar"});
    if (!system.RunAsAndWait(paths.Java(VGSE.JavaPath, true), QStringLiteral("-jar %1").arg(ArgPath(uninstaller)),
                             VGSE.ExePath, false))
        return false;
    // The service of this installation, whatever name it was given.
    if (paths.Windows())
        return system.RunAsAndWait(QStringLiteral("sc.exe"), QStringLiteral("delete %1").arg(ASym.Nom), QString(),
                                   false);
    return system.RunAsAndWait(QStringLiteral("systemctl"), QStringLiteral("disable --now %1").arg(ASym.Nom),
                               QString(), false);
}

void TDataMod::OpenFireWall(const TSymmetricDS &ASym)
{
    TEngineSystem &system = EngineSystem();
    if (!system.Windows()) {
        FEtapesNonExecutees << QStringLiteral("Pare-feu : aucune règle \"%1\" ouverte pour les ports TCP %2 à %3, ce "
                                              "système n'a pas d'outil commun pour cela ; ouvrez ces ports à la main "
                                              "si un pare-feu les ferme.")
                                   .arg(ASym.Nom, QString::number(ASym.http), QString::number(ASym.agent));
        return;
    }
    system.RunHidden(QStringLiteral("netsh.exe"),
                     QStringLiteral("advfirewall firewall add rule name=\"%1\" dir=in action=allow protocol=TCP "
                                    "localport=%2-%3")
                         .arg(ASym.Nom, QString::number(ASym.http), QString::number(ASym.agent)));
}

void TDataMod::UpdateServiceACL(const QString &aName)
{
    TEngineSystem &system = EngineSystem();
    if (!system.Windows()) {
        FEtapesNonExecutees << QStringLiteral("Droits du service \"%1\" : rien n'a été changé, ce système n'a pas de "
                                              "descripteur de sécurité de service ; seul l'administrateur peut le "
                                              "démarrer ou l'arrêter.")
                                   .arg(aName);
        return;
    }
    system.RunHidden(QStringLiteral("sc.exe"), QStringLiteral("sdset %1 %2").arg(aName, KServiceAcl));
}
