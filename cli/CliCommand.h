#pragma once

// The command line's plumbing: each subcommand lives in a cli/Cmd_*.cpp
// file and registers itself with a static TCliRegistrar, so adding one
// touches no other file.

#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <stdexcept>

// Wrong use of the command line: the message and the subcommand's usage
// are shown, exit code 2.
class ECliUsage : public std::runtime_error
{
public:
    explicit ECliUsage(const QString &aMessage) : std::runtime_error(aMessage.toStdString()), FMessage(aMessage) {}
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};

// Any other failure of a subcommand (French message, exit code 1).
class ECliFailure : public std::runtime_error
{
public:
    explicit ECliFailure(const QString &aMessage) : std::runtime_error(aMessage.toStdString()), FMessage(aMessage) {}
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};

struct TCliContext
{
    QString Command;
    QStringList Args;                // positional arguments after the subcommand
    QMap<QString, QString> Options;  // --name value / --name=value
    bool Json = false;               // --json
    bool Oui = false;                // --oui: no confirmation asked
    QTextStream *Out = nullptr;
    QTextStream *Err = nullptr;
    QTextStream *In = nullptr;
    bool Interactive = false;        // standard input is a terminal

    // The positional argument aIndex, named aName in the error when absent.
    QString Arg(int aIndex, const QString &aName) const;
    QString Option(const QString &aName, const QString &aDefault = QString()) const;
    bool HasOption(const QString &aName) const { return Options.contains(aName); }
    // A date given as JJ/MM/AAAA.
    class QDate DateOption(const QString &aName) const;

    // Asks before a change. With --oui: yes. Without a terminal: refused
    // (ECliFailure), since nobody can answer.
    void Confirm(const QString &aQuestion) const;

    void Print(const QString &aText) const;       // a line on standard output
    void PrintError(const QString &aText) const;  // a line on standard error
    // A table with aligned columns (text mode).
    void PrintTable(const QStringList &aHeaders, const QList<QStringList> &aRows) const;
    void PrintJson(const QJsonValue &aValue) const;
};

using TCliHandler = int (*)(TCliContext &);

struct TCliCommand
{
    QString Name;    // kebab-case, e.g. "etat-noeud"
    QString Usage;   // arguments, e.g. "BASE NOEUD [--json]"
    QString Summary; // one line of French help
    TCliHandler Handler;
};

class TCliRegistry
{
public:
    static void Register(const TCliCommand &aCommand);
    static QList<TCliCommand> All(); // sorted by name
    static const TCliCommand *Find(const QString &aName);
};

struct TCliRegistrar
{
    explicit TCliRegistrar(const TCliCommand &aCommand) { TCliRegistry::Register(aCommand); }
};

// Runs the command line; returns the process exit code.
int RunCli(const QStringList &aArguments, QTextStream &aOut, QTextStream &aErr, QTextStream &aIn, bool aInteractive);
