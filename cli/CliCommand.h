#pragma once

// The command line's plumbing: each subcommand lives in a cli/Cmd_*.cpp
// file and registers itself with a static TCliRegistrar, so adding one
// touches no other file. Its handler returns its result (TCliResultat),
// which RunCli prints for text or --json.
//
// A command's usage line is also its grammar, so that what --aide shows is
// exactly what is accepted: NAME is a positional argument ([NAME] optional),
// "--name VALUE" an option that takes a value, "--name" alone a flag; "[…]"
// makes an option optional. A command that lists [--oui] writes: it asks for
// confirmation, and its summary begins with "écrit :". Anything else on the
// command line (unknown option, value given to a flag, extra or missing
// argument) is a misuse, reported before the command does anything.

#include "common/Erreur.h"

#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>


// Wrong use of the command line: the message and the subcommand's usage
// are shown, exit code 2.
class ECliUsage : public EIvroErreur
{
public:
    using EIvroErreur::EIvroErreur;
};

// Any other failure of a subcommand (French message, exit code 1), with the
// server's own text apart when the server gave one.
class ECliFailure : public EIvroErreur
{
public:
    explicit ECliFailure(const QString &aMessage, const QString &aServeur = QString())
        : EIvroErreur(aMessage), FServeur(aServeur)
    {
    }
    QString Serveur() const { return FServeur; }

private:
    QString FServeur;
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
    // The positional argument aIndex as a database, once it has been reached:
    // a database out of reach fails the command even where the data module
    // would answer false or 0 for it.
    QString Base(int aIndex) const;
    // The BASE argument as the server must get it, without connecting: a
    // relative path on the local server made absolute (the server would
    // look for it in its own folder).
    QString BaseArg(int aIndex) const;
    QString Option(const QString &aName, const QString &aDefault = QString()) const;
    bool HasOption(const QString &aName) const { return Options.contains(aName); }
    // An option that must be given (aWhat names its value in the message).
    QString RequiredOption(const QString &aName, const QString &aWhat) const;
    // A required TCP port, 1 to 65535.
    qint32 PortOption(const QString &aName) const;
    // A date given as JJ/MM/AAAA (four-digit year, no sign).
    class QDate DateOption(const QString &aName) const;

    // Asks before a change, on standard error so that standard output stays
    // the command's result. With --oui: yes. Without a terminal the command
    // line was already refused (--oui is required there).
    void Confirm(const QString &aQuestion) const;

    void Print(const QString &aText) const;       // a line on standard output
    void PrintError(const QString &aText) const;  // a line on standard error
    // A table with aligned columns (text mode).
    void PrintTable(const QStringList &aHeaders, const QList<QStringList> &aRows) const;
    // Keys are written as CleJson gives them.
    void PrintJson(const QJsonValue &aValue) const;
};

// JSON output, whatever the command: keys in one style, lower case with
// words joined by "_" (PrintJson turns "NODE_ID" into "node_id" and
// "NomBase" into "nom_base"), dates and times in ISO 8601 (local time of the
// server that wrote them, no zone), null when there is none.
QString CleJson(const QString &aCle);
QJsonValue JsonDateHeure(const class TDateTime &aValue);
QJsonValue JsonDate(const class QDate &aValue);
// A date-time in the data module's text form (dd/MM/yyyy HH:mm:ss).
QJsonValue JsonDateHeureTexte(const QString &aTexte);
// A date-time in the system's CIM form (yyyymmddHHMMSS.mmmmmm+UUU), with
// its offset from UTC.
QJsonValue JsonDateCim(const QString &aTexte);

// What a command answers once its work is done, printed by RunCli in one
// place: with --json its one JSON value (keys as CleJson gives them),
// otherwise its text, lines and tables in order. Questions and progress are
// not part of it: they are printed while the work runs.
class TCliResultat
{
public:
    TCliResultat() = default;

    // The value written with --json.
    TCliResultat &Json(const QJsonValue &aValeur);
    // Text mode: a line on standard output, a table with aligned columns,
    // a line on standard error, each in its place.
    TCliResultat &Ligne(const QString &aTexte);
    TCliResultat &Table(const QStringList &aEntetes, const QList<QStringList> &aLignes);
    TCliResultat &LigneErreur(const QString &aTexte);
    // Both modes: a line on standard error; in its place in text mode,
    // before the JSON value with --json.
    TCliResultat &Erreur(const QString &aTexte);
    // The exit code (0 unless told).
    TCliResultat &Code(int aCode);
    // Stopped at the operator's request: exit code 130, and once the result
    // is printed the interruption's line if one came.
    TCliResultat &Interrompu();

    bool EstInterrompu() const { return FInterrompu; }
    int CodeSortie() const { return FCode; }

    // Prints it as the context asks (--json or text).
    void Affiche(const TCliContext &aCtx) const;

private:
    enum class TGenre { Ligne, Table, LigneErreur, Erreur };
    struct TBloc
    {
        TGenre Genre;
        QStringList Textes; // the line, or the table's headers
        QList<QStringList> Lignes;
    };
    QList<TBloc> FBlocs;
    QJsonValue FJson;
    bool FAvecJson = false;
    bool FInterrompu = false;
    int FCode = 0;
};

using TCliHandler = TCliResultat (*)(TCliContext &);

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
// "Client Firebird : /chemin/libfbclient.so.2", or why no client loads.
QString TexteClientBD();
// The version of the server that holds a base, e.g. "WI-V12.0.2.353"
// (connecting to it); EDbError when it can't be reached.
QString VersionServeurBD(const QString &aBase);

int RunCli(const QStringList &aArguments, QTextStream &aOut, QTextStream &aErr, QTextStream &aIn, bool aInteractive);
