#include "cli/CliCommand.h"

#include "db/DbError.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QList<TCliCommand> &registry()
{
    static QList<TCliCommand> commands;
    return commands;
}

const QStringList Flags = {QStringLiteral("json"), QStringLiteral("oui"), QStringLiteral("aide"),
                           QStringLiteral("help")};

void printHelp(QTextStream &aOut)
{
    aOut << "ivromvt-cli : génération des mouvements et administration de la réplication\n\n"
         << "Usage : ivromvt-cli COMMANDE [ARGUMENTS] [--json] [--oui]\n\n"
         << "BASE est le chemin de la base sur le serveur local, ou serveur/chemin.\n"
         << "--json   sortie lisible par un programme\n"
         << "--oui    pas de demande de confirmation avant une modification\n\n"
         << "Commandes :\n";
    int width = 0;
    const QList<TCliCommand> all = TCliRegistry::All();
    for (const TCliCommand &c : all)
        width = std::max(width, int(c.Name.size()));
    for (const TCliCommand &c : all)
        aOut << "  " << c.Name.leftJustified(width + 2) << c.Summary << "\n";
    aOut << "\nivromvt-cli COMMANDE --aide donne l'usage d'une commande.\n";
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

QString TCliContext::Option(const QString &aName, const QString &aDefault) const
{
    return Options.value(aName, aDefault);
}

QDate TCliContext::DateOption(const QString &aName) const
{
    if (!Options.contains(aName))
        throw ECliUsage(QStringLiteral("Option manquante : --%1 JJ/MM/AAAA").arg(aName));
    const QString text = Options.value(aName);
    const QDate d = QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
    if (!d.isValid())
        throw ECliUsage(QStringLiteral("Date invalide pour --%1 : \"%2\" (format attendu JJ/MM/AAAA)").arg(aName, text));
    return d;
}

void TCliContext::Confirm(const QString &aQuestion) const
{
    if (Oui)
        return;
    if (!Interactive)
        throw ECliFailure(QStringLiteral("Confirmation requise : relancez avec --oui pour confirmer sans terminal."));
    *Out << aQuestion << " [o/N] ";
    Out->flush();
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

void TCliContext::PrintJson(const QJsonValue &aValue) const
{
    QJsonDocument doc = aValue.isArray() ? QJsonDocument(aValue.toArray()) : QJsonDocument(aValue.toObject());
    if (!aValue.isArray() && !aValue.isObject())
        doc = QJsonDocument(QJsonObject{{QStringLiteral("resultat"), aValue}});
    *Out << doc.toJson(QJsonDocument::Indented);
    Out->flush();
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

int RunCli(const QStringList &aArguments, QTextStream &aOut, QTextStream &aErr, QTextStream &aIn, bool aInteractive)
{
    if (aArguments.isEmpty() || aArguments[0] == QLatin1String("--aide") || aArguments[0] == QLatin1String("--help")
        || aArguments[0] == QLatin1String("aide") || aArguments[0] == QLatin1String("-h")) {
        printHelp(aOut);
        return aArguments.isEmpty() ? 2 : 0;
    }
    const TCliCommand *command = TCliRegistry::Find(aArguments[0]);
    if (!command) {
        aErr << "Commande inconnue : " << aArguments[0] << "\n";
        printHelp(aErr);
        return 2;
    }
    TCliContext ctx;
    ctx.Command = command->Name;
    ctx.Out = &aOut;
    ctx.Err = &aErr;
    ctx.In = &aIn;
    ctx.Interactive = aInteractive;
    try {
        for (int i = 1; i < aArguments.size(); ++i) {
            const QString &a = aArguments[i];
            if (!a.startsWith(QLatin1String("--"))) {
                ctx.Args << a;
                continue;
            }
            QString name = a.mid(2);
            QString value;
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            if (eq >= 0) {
                value = name.mid(eq + 1);
                name = name.left(eq);
            } else if (!Flags.contains(name)) {
                if (i + 1 >= aArguments.size())
                    throw ECliUsage(QStringLiteral("L'option --%1 attend une valeur").arg(name));
                value = aArguments[++i];
            }
            if (name == QLatin1String("aide") || name == QLatin1String("help")) {
                printUsage(aOut, *command);
                return 0;
            }
            ctx.Options.insert(name, value);
        }
        ctx.Json = ctx.Options.contains(QStringLiteral("json"));
        ctx.Oui = ctx.Options.contains(QStringLiteral("oui"));
        return command->Handler(ctx);
    } catch (const ECliUsage &e) {
        aErr << "Erreur : " << e.Message() << "\n";
        printUsage(aErr, *command);
        return 2;
    } catch (const ECliFailure &e) {
        aErr << "Erreur : " << e.Message() << "\n";
        aErr.flush();
        return 1;
    } catch (const EDbError &e) {
        aErr << "Erreur : " << e.Message() << "\n";
        aErr.flush();
        return 1;
    } catch (const std::exception &e) {
        aErr << "Erreur : " << QString::fromUtf8(e.what()) << "\n";
        aErr.flush();
        return 1;
    }
}
