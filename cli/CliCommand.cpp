#include "cli/CliCommand.h"

#include "cli/InterruptWatcher.h"

#include "data/acces/ServerErrorText.h"
#include "data/uDataMod.h"
#include "db/DbConnection.h"
#include "db/DbError.h"
#include "common/Erreur.h"
#include "common/DateTime.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace {

QList<TCliCommand> &registry()
{
    static QList<TCliCommand> commands;
    return commands;
}

// What a command's usage line accepts (see CliCommand.h).
struct TGrammaire
{
    QStringList Arguments;            // required positional arguments, in order
    QStringList ArgumentsOptionnels;  // then the optional ones
    QMap<QString, QString> Options;   // option name -> its value's placeholder
    QStringList OptionsRequises;
    QStringList Drapeaux;             // flags: no value
};

TGrammaire grammaireDe(const QString &aUsage)
{
    TGrammaire g;
    const QStringList mots = aUsage.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    auto nu = [](QString aMot) { return aMot.remove(QLatin1Char('[')).remove(QLatin1Char(']')); };
    int profondeur = 0;
    for (qsizetype i = 0; i < mots.size(); ++i) {
        const QString &mot = mots[i];
        const bool optionnel = profondeur > 0 || mot.startsWith(QLatin1Char('['));
        profondeur += int(mot.count(QLatin1Char('['))) - int(mot.count(QLatin1Char(']')));
        const QString nom = nu(mot);
        if (!nom.startsWith(QLatin1String("--"))) {
            (optionnel ? g.ArgumentsOptionnels : g.Arguments) << nom;
            continue;
        }
        // "--name VALUE": the value is the next word, inside the same brackets.
        const bool avecValeur = !mot.endsWith(QLatin1Char(']')) && i + 1 < mots.size()
                                && !mots[i + 1].startsWith(QLatin1String("--")) && !mots[i + 1].startsWith(QLatin1Char('['));
        if (!avecValeur) {
            g.Drapeaux << nom.mid(2);
            continue;
        }
        const QString &valeur = mots[++i];
        profondeur += int(valeur.count(QLatin1Char('['))) - int(valeur.count(QLatin1Char(']')));
        g.Options.insert(nom.mid(2), nu(valeur));
        if (!optionnel)
            g.OptionsRequises << nom.mid(2);
    }
    return g;
}

bool estAide(const QString &aArgument)
{
    return aArgument == QLatin1String("--aide") || aArgument == QLatin1String("--help");
}

void printHelp(QTextStream &aOut)
{
    aOut << "ivromvt-cli : génération des mouvements et administration de la réplication\n\n"
         << "Usage : ivromvt-cli COMMANDE [ARGUMENTS] [OPTIONS]\n\n"
         << "BASE   la base, telle que le serveur la voit :\n"
         << "         - sur le serveur local (localhost) : son chemin, par exemple /var/lib/firebird/data/site.fdb ;\n"
         << "         - sur un autre serveur : SERVEUR/CHEMIN, où CHEMIN ne contient aucun « / » : un chemin\n"
         << "           Windows (caisse1/D:\\Bases\\SITE.IB) ou un alias déclaré sur ce serveur (caisse1/site).\n"
         << "           Un chemin qui contient des « / » est toujours cherché sur le serveur local.\n"
         << "         - sur un serveur qui écoute sur un autre port que 3050 : SERVEUR/PORT:CHEMIN, où CHEMIN\n"
         << "           peut contenir des « / » (localhost/3051:/var/lib/firebird/data/site.fdb,\n"
         << "           caisse1/3051:D:\\Bases\\SITE.IB).\n"
         << "--json   sortie lisible par un programme (un échec donne aussi un objet JSON)\n"
         << "--oui    confirme d'avance une commande qui écrit (obligatoire sans terminal)\n"
         << "--version [BASE]  version du programme et bibliothèque cliente chargée (InterBase ou Firebird) ;\n"
         << "         avec BASE, version du serveur qui la tient\n\n"
         << "Codes de sortie : 0 réussite, 1 échec, 2 mauvais usage (rien n'a été fait), 130 interruption\n"
         << "                  (Ctrl-C ou arrêt demandé : ce qui n'était pas validé ne l'est pas).\n\n"
         << "Commandes (\"écrit :\" : modifie la base ou le système ; ivromvt-cli COMMANDE --aide pour ses arguments) :\n";
    int width = 0;
    const QList<TCliCommand> all = TCliRegistry::All();
    for (const TCliCommand &c : all)
        width = std::max(width, int(c.Name.size()));
    for (const TCliCommand &c : all)
        aOut << "  " << c.Name.leftJustified(width + 2) << c.Summary << "\n";
    aOut.flush();
}

void printUsage(QTextStream &aOut, const TCliCommand &aCommand)
{
    aOut << "Usage : ivromvt-cli " << aCommand.Name << ' ' << aCommand.Usage << "\n" << aCommand.Summary << "\n";
    aOut.flush();
}

} // namespace

QString TCliContext::Arg(int aIndex, const QString &aName) const
{
    if (aIndex >= Args.size() || Args[aIndex].isEmpty())
        throw ECliUsage(QStringLiteral("Argument manquant : %1").arg(aName));
    return Args[aIndex];
}

// A local path relative to the current folder, made absolute; anything else
// (a server's name with its path, an absolute or Windows path, an alias the
// server knows) unchanged. A relative path is one that starts with "." or
// "..", or names a file here: a bare name may be an alias otherwise.
static QString CheminAbsolu(const QString &aBase)
{
    static const QRegularExpression windows(QStringLiteral(R"(^([A-Za-z]:[\\/]|\\\\))"));
    if (aBase.isEmpty() || QDir::isAbsolutePath(aBase) || windows.match(aBase).hasMatch())
        return aBase;
    const QString premier = aBase.section(QLatin1Char('/'), 0, 0);
    const bool relatif = premier == QLatin1String(".") || premier == QLatin1String("..") || QFileInfo(aBase).isFile();
    return relatif ? QDir::cleanPath(QDir::current().absoluteFilePath(aBase)) : aBase;
}

QString TexteClientBD()
{
    const TDbClientInfo client = DbClientInfo();
    if (!client.Error.isEmpty())
        return QStringLiteral("Client : %1").arg(client.Error);
    return QStringLiteral("Client %1 : %2").arg(client.Flavour, client.Library);
}

QString VersionServeurBD(const QString &aBase)
{
    const QString version = DataMod->Acces.getNewConnexion(SysdbaRef(CheminAbsolu(aBase)))->ServerVersion();
    return version.isEmpty() ? QStringLiteral("(version non donnée)") : version;
}

QString TCliContext::BaseArg(int aIndex) const
{
    const QString base = CheminAbsolu(Arg(aIndex, QStringLiteral("BASE")));
    // A wrongly written BASE (the port before the "/", a port out of range)
    // is a misuse of the line, answered before any connection.
    try {
        EmplacementBase(base);
    } catch (const EDbError &e) {
        throw ECliUsage(e.Message());
    }
    return base;
}

QString TCliContext::Base(int aIndex) const
{
    const QString base = BaseArg(aIndex);
    DataMod->Acces.getNewConnexion(SysdbaRef(base))->Open();
    return base;
}

QString TCliContext::RequiredOption(const QString &aName, const QString &aWhat) const
{
    const QString value = Option(aName);
    if (value.isEmpty())
        throw ECliUsage(QStringLiteral("Option manquante : --%1 %2").arg(aName, aWhat));
    return value;
}

qint32 TCliContext::PortOption(const QString &aName) const
{
    const QString text = RequiredOption(aName, QStringLiteral("PORT"));
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > 65535)
        throw ECliUsage(QStringLiteral("Port invalide pour --%1 : \"%2\"").arg(aName, text));
    return value;
}

QString TCliContext::Option(const QString &aName, const QString &aDefault) const
{
    return Options.value(aName, aDefault);
}

QDate TCliContext::DateOption(const QString &aName) const
{
    if (!Options.contains(aName))
        throw ECliUsage(QStringLiteral("Option manquante : --%1 JJ/MM/AAAA").arg(aName));
    const QString text = Options.value(aName);
    // The parser alone would take a signed or shorter year.
    static const QRegularExpression form(QStringLiteral("^[0-9]{2}/[0-9]{2}/[0-9]{4}$"));
    const QDate d = form.match(text).hasMatch() ? QDate::fromString(text, QStringLiteral("dd/MM/yyyy")) : QDate();
    if (!d.isValid())
        throw ECliUsage(QStringLiteral("Date invalide pour --%1 : \"%2\" (format attendu JJ/MM/AAAA)").arg(aName, text));
    return d;
}

void TCliContext::Confirm(const QString &aQuestion) const
{
    if (Oui)
        return;
    if (!Interactive)
        throw ECliUsage(QStringLiteral("Confirmation requise : relancez avec --oui pour confirmer sans terminal."));
    *Err << aQuestion << " [o/N] ";
    Err->flush();
    const QString answer = In->readLine().trimmed().toLower();
    if (answer != QLatin1String("o") && answer != QLatin1String("oui"))
        throw ECliFailure(QStringLiteral("Abandon : rien n'a été modifié."));
}

void TCliContext::Print(const QString &aText) const
{
    *Out << aText << "\n";
    Out->flush();
}

void TCliContext::PrintError(const QString &aText) const
{
    *Err << aText << "\n";
    Err->flush();
}

void TCliContext::PrintTable(const QStringList &aHeaders, const QList<QStringList> &aRows) const
{
    QList<int> widths;
    for (const QString &h : aHeaders)
        widths << int(h.size());
    for (const QStringList &row : aRows)
        for (int i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], int(row[i].size()));
    auto line = [&](const QStringList &cells) {
        QString text;
        for (int i = 0; i < cells.size(); ++i)
            text += (i + 1 < cells.size() ? cells[i].leftJustified(widths.value(i) + 2) : cells[i]);
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        *Out << text << "\n";
    };
    line(aHeaders);
    QStringList rule;
    for (int w : widths)
        rule << QString(w, QLatin1Char('-'));
    line(rule);
    for (const QStringList &row : aRows)
        line(row);
    if (aRows.isEmpty())
        *Out << "(aucune ligne)\n";
    Out->flush();
}

QString CleJson(const QString &aCle)
{
    // A boundary before an upper-case letter that follows a lower-case one
    // or a digit, or that begins a word after an acronym ("OSInfos").
    QString cle;
    for (qsizetype i = 0; i < aCle.size(); ++i) {
        const QChar c = aCle[i];
        if (c.isUpper() && i > 0 && !cle.endsWith(QLatin1Char('_'))) {
            const QChar avant = aCle[i - 1];
            const bool apresMinuscule = avant.isLower() || avant.isDigit();
            const bool finAcronyme = avant.isUpper() && i + 1 < aCle.size() && aCle[i + 1].isLower();
            if (apresMinuscule || finAcronyme)
                cle += QLatin1Char('_');
        }
        cle += c.toLower();
    }
    return cle;
}

QJsonValue JsonDateHeure(const TDateTime &aValue)
{
    if (aValue.IsZero())
        return QJsonValue();
    return aValue.ToQDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QJsonValue JsonDate(const QDate &aValue)
{
    return aValue.isValid() ? QJsonValue(aValue.toString(QStringLiteral("yyyy-MM-dd"))) : QJsonValue();
}

QJsonValue JsonDateHeureTexte(const QString &aTexte)
{
    if (aTexte.isEmpty())
        return QJsonValue();
    const QDateTime d = QDateTime::fromString(aTexte, QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    return d.isValid() ? QJsonValue(d.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))) : QJsonValue(aTexte);
}

QJsonValue JsonDateCim(const QString &aTexte)
{
    static const QRegularExpression cim(
        QStringLiteral("^([0-9]{4})([0-9]{2})([0-9]{2})([0-9]{2})([0-9]{2})([0-9]{2})\\.[0-9]{6}([+-])([0-9]{3})$"));
    if (aTexte.isEmpty())
        return QJsonValue();
    const QRegularExpressionMatch m = cim.match(aTexte);
    if (!m.hasMatch())
        return aTexte;
    const int minutes = m.captured(8).toInt();
    return QStringLiteral("%1-%2-%3T%4:%5:%6%7%8:%9")
        .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4), m.captured(5), m.captured(6), m.captured(7))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

namespace {

QJsonValue avecClesJson(const QJsonValue &aValue)
{
    if (aValue.isArray()) {
        QJsonArray tableau;
        for (const QJsonValue &v : aValue.toArray())
            tableau << avecClesJson(v);
        return tableau;
    }
    if (!aValue.isObject())
        return aValue;
    QJsonObject objet;
    const QJsonObject source = aValue.toObject();
    for (auto it = source.begin(); it != source.end(); ++it)
        objet.insert(CleJson(it.key()), avecClesJson(it.value()));
    return objet;
}

} // namespace

void TCliContext::PrintJson(const QJsonValue &aJson) const
{
    const QJsonValue aValue = avecClesJson(aJson);
    QJsonDocument doc = aValue.isArray() ? QJsonDocument(aValue.toArray()) : QJsonDocument(aValue.toObject());
    if (!aValue.isArray() && !aValue.isObject())
        doc = QJsonDocument(QJsonObject{{QStringLiteral("resultat"), aValue}});
    *Out << doc.toJson(QJsonDocument::Indented);
    Out->flush();
}

TCliResultat &TCliResultat::Json(const QJsonValue &aValeur)
{
    FJson = aValeur;
    FAvecJson = true;
    return *this;
}

TCliResultat &TCliResultat::Ligne(const QString &aTexte)
{
    FBlocs.append({TGenre::Ligne, {aTexte}, {}});
    return *this;
}

TCliResultat &TCliResultat::Table(const QStringList &aEntetes, const QList<QStringList> &aLignes)
{
    FBlocs.append({TGenre::Table, aEntetes, aLignes});
    return *this;
}

TCliResultat &TCliResultat::LigneErreur(const QString &aTexte)
{
    FBlocs.append({TGenre::LigneErreur, {aTexte}, {}});
    return *this;
}

TCliResultat &TCliResultat::Erreur(const QString &aTexte)
{
    FBlocs.append({TGenre::Erreur, {aTexte}, {}});
    return *this;
}

TCliResultat &TCliResultat::Code(int aCode)
{
    FCode = aCode;
    return *this;
}

TCliResultat &TCliResultat::Interrompu()
{
    FInterrompu = true;
    FCode = 130;
    return *this;
}

void TCliResultat::Affiche(const TCliContext &aCtx) const
{
    if (aCtx.Json) {
        for (const TBloc &b : FBlocs)
            if (b.Genre == TGenre::Erreur)
                aCtx.PrintError(b.Textes.constFirst());
        if (FAvecJson)
            aCtx.PrintJson(FJson);
        return;
    }
    for (const TBloc &b : FBlocs) {
        switch (b.Genre) {
        case TGenre::Ligne:
            aCtx.Print(b.Textes.constFirst());
            break;
        case TGenre::Table:
            aCtx.PrintTable(b.Textes, b.Lignes);
            break;
        case TGenre::LigneErreur:
        case TGenre::Erreur:
            aCtx.PrintError(b.Textes.constFirst());
            break;
        }
    }
}

void TCliRegistry::Register(const TCliCommand &aCommand)
{
    registry().append(aCommand);
}

QList<TCliCommand> TCliRegistry::All()
{
    QList<TCliCommand> all = registry();
    std::sort(all.begin(), all.end(), [](const TCliCommand &a, const TCliCommand &b) { return a.Name < b.Name; });
    return all;
}

const TCliCommand *TCliRegistry::Find(const QString &aName)
{
    for (const TCliCommand &c : registry())
        if (c.Name == aName)
            return &c;
    return nullptr;
}

namespace {

// Reads the command line against the command's grammar; every misuse is an
// ECliUsage, raised before the command has done anything.
void lisArguments(TCliContext &aCtx, const TCliCommand &aCommand, const QStringList &aArguments)
{
    const TGrammaire g = grammaireDe(aCommand.Usage);
    for (qsizetype i = 1; i < aArguments.size(); ++i) {
        const QString &a = aArguments[i];
        if (!a.startsWith(QLatin1String("--"))) {
            aCtx.Args << a;
            continue;
        }
        QString name = a.mid(2);
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        const bool valeurJointe = eq >= 0;
        QString value;
        if (valeurJointe) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        if (g.Drapeaux.contains(name)) {
            if (valeurJointe)
                throw ECliUsage(QStringLiteral("L'option --%1 ne prend pas de valeur : \"%2\"").arg(name, a));
            aCtx.Options.insert(name, QString());
            continue;
        }
        if (!g.Options.contains(name))
            throw ECliUsage(QStringLiteral("Option inconnue de %1 : %2").arg(aCommand.Name, a));
        if (!valeurJointe) {
            if (i + 1 >= aArguments.size() || aArguments[i + 1].startsWith(QLatin1String("--")))
                throw ECliUsage(QStringLiteral("L'option --%1 attend une valeur (%2)").arg(name, g.Options.value(name)));
            value = aArguments[++i];
        }
        if (aCtx.Options.contains(name))
            throw ECliUsage(QStringLiteral("L'option --%1 est donnée deux fois").arg(name));
        aCtx.Options.insert(name, value);
    }
    if (aCtx.Args.size() < g.Arguments.size())
        throw ECliUsage(QStringLiteral("Argument manquant : %1").arg(g.Arguments[aCtx.Args.size()]));
    if (aCtx.Args.size() > g.Arguments.size() + g.ArgumentsOptionnels.size())
        throw ECliUsage(QStringLiteral("Argument en trop : \"%1\"")
                            .arg(aCtx.Args[g.Arguments.size() + g.ArgumentsOptionnels.size()]));
    for (const QString &name : g.OptionsRequises)
        if (!aCtx.Options.contains(name))
            throw ECliUsage(QStringLiteral("Option manquante : --%1 %2").arg(name, g.Options.value(name)));
    aCtx.Json = aCtx.Options.contains(QStringLiteral("json"));
    aCtx.Oui = aCtx.Options.contains(QStringLiteral("oui"));
    // Nobody can answer the question: refused now rather than half-way.
    if (g.Drapeaux.contains(QStringLiteral("oui")) && !aCtx.Oui && !aCtx.Interactive)
        throw ECliUsage(QStringLiteral("Confirmation requise : sans terminal, ajoutez --oui pour confirmer."));
}

// A failure as the operator reads it (standard error) and, with --json, as
// one JSON object on standard output: the French message, the server's own
// text apart. A server error without a sentence of ours reads as the
// server's text alone.
int echec(const TCliContext &aCtx, int aCode, const QString &aMessage, const QString &aServeur = QString(),
          const TCliCommand *aUsage = nullptr)
{
    QTextStream &err = *aCtx.Err;
    if (aMessage.isEmpty())
        err << "Erreur : " << aServeur << "\n";
    else if (aServeur.isEmpty())
        err << "Erreur : " << aMessage << "\n";
    else
        err << "Erreur : " << aMessage << "\n" << aServeur << "\n";
    if (aUsage)
        printUsage(err, *aUsage);
    err.flush();
    if (aCtx.Json) {
        QJsonObject o{{QStringLiteral("erreur"),
                       aMessage.isEmpty() ? QStringLiteral("La base de données a refusé l'opération.") : aMessage}};
        if (!aServeur.isEmpty())
            o.insert(QStringLiteral("serveur"), aServeur);
        aCtx.PrintJson(o);
    }
    return aCode;
}

} // namespace

int RunCli(const QStringList &aArguments, QTextStream &aOut, QTextStream &aErr, QTextStream &aIn, bool aInteractive)
{
    if (aArguments.isEmpty() || estAide(aArguments[0]) || aArguments[0] == QLatin1String("aide")
        || aArguments[0] == QLatin1String("-h")) {
        printHelp(aOut);
        return aArguments.isEmpty() ? 2 : 0;
    }
    if (aArguments[0] == QLatin1String("--version")) {
        if (aArguments.size() > 2) {
            aErr << "Usage : ivromvt-cli --version [BASE]\n";
            return 2;
        }
        aOut << "ivromvt-cli " << IVROMVT_VERSION << "\n" << TexteClientBD() << "\n";
        aOut.flush();
        if (aArguments.size() == 2) {
            try {
                aOut << "Serveur : " << VersionServeurBD(aArguments[1]) << "\n";
            } catch (const EDbError &e) {
                aErr << "Erreur : " << TexteErreurServeur(e) << "\n";
                return 1;
            }
        }
        aOut.flush();
        return 0;
    }
    const TCliCommand *command = TCliRegistry::Find(aArguments[0]);
    if (!command) {
        aErr << "Commande inconnue : " << aArguments[0] << "\n";
        printHelp(aErr);
        // A program that asked for JSON gets its object, as for any misuse.
        if (aArguments.contains(QStringLiteral("--json"))) {
            TCliContext ctx;
            ctx.Out = &aOut;
            ctx.PrintJson(QJsonObject{
                {QStringLiteral("erreur"), QStringLiteral("Commande inconnue : %1").arg(aArguments[0])}});
        }
        return 2;
    }
    for (const QString &a : aArguments)
        if (estAide(a)) {
            printUsage(aOut, *command);
            return 0;
        }
    TCliContext ctx;
    ctx.Command = command->Name;
    ctx.Out = &aOut;
    ctx.Err = &aErr;
    ctx.In = &aIn;
    ctx.Interactive = aInteractive;
    // Known before the line is read, so that a misuse is answered in JSON too.
    ctx.Json = aArguments.contains(QStringLiteral("--json"));
    try {
        lisArguments(ctx, *command, aArguments);
        const TCliResultat resultat = command->Handler(ctx);
        resultat.Affiche(ctx);
        if (resultat.EstInterrompu())
            return Interruption::Requested() ? Interruption::Interrupted() : resultat.CodeSortie();
        return resultat.CodeSortie();
    } catch (const ECliUsage &e) {
        return echec(ctx, 2, e.Message(), QString(), command);
    } catch (const ECliFailure &e) {
        // A failure that an interruption caused is no failure: the
        // interruption's line says what happened.
        if (Interruption::Requested() && !Interruption::Settled())
            return Interruption::Interrupted();
        return echec(ctx, 1, e.Message(), e.Serveur());
    } catch (const EDbError &e) {
        if (Interruption::Requested() && !Interruption::Settled())
            return Interruption::Interrupted();
        // Our own French messages carry no server code.
        if (e.Codes().isEmpty())
            return echec(ctx, 1, e.Message());
        return echec(ctx, 1, PhraseErreurServeur(e), e.Message());
    } catch (const std::exception &e) {
        if (Interruption::Requested() && !Interruption::Settled())
            return Interruption::Interrupted();
        return echec(ctx, 1, TexteErreur(e));
    }
}
