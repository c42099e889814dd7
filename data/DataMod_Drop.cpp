#include "data/uDataMod.h"

#include "common/AtomicFile.h"
#include "common/TextFile.h"
#include "data/ScriptText.h"
#include "db/DbError.h"
#include "db/DbScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QThread>

#include <stdexcept>

namespace {

// Resources are looked up by name whatever its letter case.
QByteArray RessourceParNom(const QString &aName)
{
    QString path = QStringLiteral(":/") + aName;
    if (!QFile::exists(path)) {
        path.clear();
        const QStringList entries = QDir(QStringLiteral(":/")).entryList(QDir::Files);
        for (const QString &entry : entries)
            if (entry.compare(aName, Qt::CaseInsensitive) == 0) {
                path = QStringLiteral(":/") + entry;
                break;
            }
    }
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        throw EDbError(QStringLiteral("Ressource \"%1\" introuvable").arg(aName));
    return file.readAll();
}

// The copy beside the program is for the operator to read: the script runs
// from memory, never from a file another user could have replaced.
void EcritFichier(const QString &aPath, const QByteArray &aBytes)
{
    try {
        WriteFileAtomically(aPath, aBytes);
    } catch (const std::runtime_error &e) {
        throw EDbError(QString::fromUtf8(e.what()));
    }
}

QString ErreurDe(const QString &aStatement, const QString &aMessage)
{
    return TrimBlanks(aStatement) + QStringLiteral(" : ") + aMessage;
}

// A seed line goes between the parentheses of an INSERT: it must hold one
// value list and nothing else. Outside text literals, a ";" or a comment
// would start SQL of its own, and an unbalanced parenthesis would close the
// list early.
bool EstUneListeDeValeurs(const QString &aLine)
{
    int depth = 0;
    bool inText = false;
    for (qsizetype i = 0; i < aLine.size(); ++i) {
        const QChar c = aLine[i];
        const QChar next = i + 1 < aLine.size() ? aLine[i + 1] : QChar();
        if (inText) {
            if (c == QLatin1Char('\''))
                inText = false; // a doubled quote reopens at once
            continue;
        }
        if (c == QLatin1Char('\''))
            inText = true;
        else if (c == QLatin1Char(';') || c == QLatin1Char('"'))
            return false;
        else if ((c == QLatin1Char('-') && next == QLatin1Char('-')) || (c == QLatin1Char('/') && next == QLatin1Char('*')))
            return false;
        else if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')') && --depth < 0)
            return false;
    }
    return !inText && depth == 0;
}

// RDB$DEPENDENCIES' kinds of dependent objects, as the removal names them.
QString TypeObjet(int aType)
{
    switch (aType) {
    case 0: return QStringLiteral("TABLE");
    case 1: return QStringLiteral("VUE");
    case 2: return QStringLiteral("TRIGGER");
    case 3: return QStringLiteral("CHAMP CALCULE");
    case 4: return QStringLiteral("CONTROLE");
    case 5: return QStringLiteral("PROCEDURE");
    case 6: return QStringLiteral("INDEX");
    case 15: return QStringLiteral("FONCTION");
    case 18:
    case 19: return QStringLiteral("PACKAGE");
    default: return QStringLiteral("OBJET (type %1)").arg(aType);
    }
}

// What the removal takes away: the SYM_ relations, generators and external
// functions, and our movement procedures. Objects that depend on them and
// belong to neither (a procedure of the site, a trigger of a business table
// that is not a capture trigger, a foreign key towards a SYM_ table) would
// stop the removal half-way.
QStringList DependancesHorsSymmetricDS(TDbQuery &aQuery)
{
    const QString mouvement = QStringLiteral("'%1'").arg(MvtProcedures.join(QStringLiteral("', '")));
    aQuery.Close();
    aQuery.SQL() = QStringList{
        QStringLiteral("SELECT TRIM(D.RDB$DEPENDENT_NAME), D.RDB$DEPENDENT_TYPE, TRIM(D.RDB$DEPENDED_ON_NAME)"),
        QStringLiteral("  FROM RDB$DEPENDENCIES D"),
        QStringLiteral("  LEFT JOIN RDB$TRIGGERS T ON D.RDB$DEPENDENT_TYPE = 2 AND T.RDB$TRIGGER_NAME = D.RDB$DEPENDENT_NAME"),
        QStringLiteral(" WHERE ((D.RDB$DEPENDED_ON_TYPE IN (0, 15) AND D.RDB$DEPENDED_ON_NAME STARTING WITH 'SYM_')"),
        QStringLiteral("     OR (D.RDB$DEPENDED_ON_TYPE = 14 AND (D.RDB$DEPENDED_ON_NAME STARTING WITH 'SYM_'"),
        QStringLiteral("         OR D.RDB$DEPENDED_ON_NAME STARTING WITH 'GEN_SYM_' OR D.RDB$DEPENDED_ON_NAME STARTING WITH 'SEQ_SYM_'))"),
        QStringLiteral("     OR (D.RDB$DEPENDED_ON_TYPE = 5 AND D.RDB$DEPENDED_ON_NAME IN (%1)))").arg(mouvement),
        QStringLiteral("   AND NOT (D.RDB$DEPENDENT_TYPE = 2 AND (D.RDB$DEPENDENT_NAME STARTING WITH 'SYM_ON_'"),
        QStringLiteral("                                       OR T.RDB$RELATION_NAME STARTING WITH 'SYM_'))"),
        QStringLiteral("   AND NOT (D.RDB$DEPENDENT_TYPE = 5 AND D.RDB$DEPENDENT_NAME IN (%1))").arg(mouvement),
        QStringLiteral("UNION"),
        QStringLiteral("SELECT TRIM(FK.RDB$CONSTRAINT_NAME) || ' (table ' || TRIM(FK.RDB$RELATION_NAME) || ')', -1,"),
        QStringLiteral("       TRIM(UQ.RDB$RELATION_NAME)"),
        QStringLiteral("  FROM RDB$RELATION_CONSTRAINTS FK"),
        QStringLiteral("  JOIN RDB$REF_CONSTRAINTS R ON R.RDB$CONSTRAINT_NAME = FK.RDB$CONSTRAINT_NAME"),
        QStringLiteral("  JOIN RDB$RELATION_CONSTRAINTS UQ ON UQ.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ"),
        QStringLiteral(" WHERE FK.RDB$CONSTRAINT_TYPE = 'FOREIGN KEY' AND UQ.RDB$RELATION_NAME STARTING WITH 'SYM_'"),
        QStringLiteral("   AND NOT (FK.RDB$RELATION_NAME STARTING WITH 'SYM_')"),
    };
    aQuery.Open();
    QMap<QString, QStringList> dependances;
    for (aQuery.First(); !aQuery.Eof(); aQuery.Next()) {
        const int type = aQuery.Fields(1).AsInteger();
        const QString objet = (type < 0 ? QStringLiteral("CLE ETRANGERE") : TypeObjet(type)) + QLatin1Char(' ')
                              + aQuery.Fields(0).AsString();
        QStringList &de = dependances[objet];
        if (!de.contains(aQuery.Fields(2).AsString()))
            de << aQuery.Fields(2).AsString();
    }
    aQuery.Close();
    QStringList liste;
    for (auto it = dependances.cbegin(); it != dependances.cend(); ++it)
        liste << QStringLiteral("%1 (dépend de %2)").arg(it.key(), it.value().join(QStringLiteral(", ")));
    return liste;
}

} // namespace

TDataMod::TDropSymdsRapport TDataMod::DROP_SYMDS(const QString &ABaseDonnees)
{
    TDropSymdsRapport rapport;
    const QString ref = SysdbaRef(ABaseDonnees);
    {
        std::unique_ptr<TDbConnection> cnx = getNewConnexion(ref);
        std::unique_ptr<TDbQuery> query = getNewQuery(cnx.get());
        auto runner = std::make_unique<TDbScript>(cnx.get());
        runner->SetErrorPolicy(TDbScript::TErrorPolicy::RecordAndContinue);
        // The connection definition goes whatever happens, so the next
        // connection starts from a fresh one.
        struct TOubliDefinition {
            TDataMod *Owner;
            QString Ref;
            ~TOubliDefinition() { Owner->FreeInfFDManager(Ref); }
        } oubli{this, ref};

        const QString fichier = QCoreApplication::applicationDirPath() + QStringLiteral("/ drop_symds.sql");
        const QByteArray octets = RessourceParNom(QStringLiteral("drop_symds"));
        EcritFichier(fichier, octets);
        const QStringList script = SplitTextLines(DecodeWindowsText(octets));

        bool ouverte = false;
        try {
            cnx->Open();
            ouverte = cnx->Connected();
        } catch (const EDbError &e) {
            rapport.Erreurs << QStringLiteral("Connexion à %1 : %2").arg(ABaseDonnees, e.Message());
        }
        if (ouverte) {
            try {
                rapport.Dependances = DependancesHorsSymmetricDS(*query);
            } catch (const EDbError &e) {
                // Unchecked is not removable: nothing is taken away.
                rapport.Erreurs << QStringLiteral("Recherche des dépendances : ") + e.Message();
                return rapport;
            }
            if (!rapport.Dependances.isEmpty())
                return rapport;
            ForEachScriptChunk(script, [&](const QString &aChunk) {
                const QString trimmed = TrimBlanks(aChunk);
                if (trimmed.toUpper().startsWith(QLatin1String("SELECT "))) {
                    try {
                        query->Close();
                        query->SetParamCheck(false);
                        query->SQL() = QStringList{aChunk};
                        query->Open();
                        query->Close();
                    } catch (const EDbError &e) {
                        // A failing query ends the script.
                        rapport.Erreurs << ErreurDe(trimmed, e.Message());
                        return false;
                    }
                } else if (!runner->ExecuteChunk(trimmed)) {
                    const TDbScript::TScriptError &err = runner->Errors().last();
                    rapport.Erreurs << ErreurDe(err.Statement, err.Message);
                }
                ++rapport.ChunksExecutes;
                return true;
            });
        }
        runner.reset();
        query->Close();
    }

    // Lets the server finish with the first attachment before the drops.
    QThread::msleep(200);

    for (const QString &sql : {QStringLiteral("DROP TABLE SYM_DATA;"), QStringLiteral("DROP TABLE SYM_CONTEXT;")}) {
        try {
            std::unique_ptr<TDbConnection> cnx = getNewConnexion(ref);
            TDbScript runner(cnx.get());
            runner.SetErrorPolicy(TDbScript::TErrorPolicy::RecordAndContinue);
            if (!runner.ExecuteChunk(sql))
                rapport.Erreurs << ErreurDe(sql, runner.Errors().last().Message);
        } catch (const EDbError &e) {
            rapport.Erreurs << ErreurDe(sql, e.Message());
        }
        FreeInfFDManager(ref);
    }
    return rapport;
}

bool TDataMod::Joue_MiniSplit(const QString &aFileCSV, const QString &aIBFile)
{
    bool result = false;
    try {
        std::unique_ptr<TDbConnection> cnx = getNewConnexion(SysdbaRef(aIBFile));
        std::unique_ptr<TDbQuery> query = getNewQuery(cnx.get());
        // Values are sent as written: a colon in a text is no parameter.
        query->SetParamCheck(false);

        const QString nom = QFileInfo(aFileCSV).fileName();
        QString table;
        if (nom == QLatin1String("K.csv"))
            table = QStringLiteral("K");
        else if (nom == QLatin1String("GENPARAM.csv"))
            table = QStringLiteral("GENPARAM");
        else
            return false;

        for (const QString &line : ReadTextFileLines(aFileCSV)) {
            if (!EstUneListeDeValeurs(line))
                return false;
            query->Close();
            query->SQL() = QStringList{QStringLiteral("INSERT INTO %1 VALUES (%2);").arg(table, line)};
            query->ExecSQL();
            result = true;
        }
    } catch (const std::exception &) {
        return false;
    }
    return result;
}

QStringList TDataMod::ListeObjetsSymmetricDS(const QString &ABaseDonnees)
{
    std::unique_ptr<TDbConnection> cnx = getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = getNewQuery(cnx.get());
    query->SQL() = QStringList{
        QStringLiteral("SELECT 'TABLE', RDB$RELATION_NAME FROM RDB$RELATIONS"),
        QStringLiteral(" WHERE RDB$RELATION_NAME STARTING WITH 'SYM_' AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0"),
        QStringLiteral("UNION ALL"),
        QStringLiteral("SELECT 'TRIGGER', RDB$TRIGGER_NAME FROM RDB$TRIGGERS"),
        QStringLiteral(" WHERE (RDB$TRIGGER_NAME STARTING WITH 'SYM_' OR RDB$RELATION_NAME STARTING WITH 'SYM_')"),
        QStringLiteral("   AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0"),
        QStringLiteral("UNION ALL"),
        QStringLiteral("SELECT 'GENERATEUR', RDB$GENERATOR_NAME FROM RDB$GENERATORS"),
        QStringLiteral(" WHERE (RDB$GENERATOR_NAME STARTING WITH 'SYM_' OR RDB$GENERATOR_NAME STARTING WITH 'GEN_SYM_'"),
        QStringLiteral("        OR RDB$GENERATOR_NAME STARTING WITH 'SEQ_SYM_') AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0"),
        QStringLiteral("UNION ALL"),
        QStringLiteral("SELECT 'FONCTION', RDB$FUNCTION_NAME FROM RDB$FUNCTIONS"),
        QStringLiteral(" WHERE RDB$FUNCTION_NAME STARTING WITH 'SYM_' AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0"),
    };
    query->Open();
    QStringList objets;
    for (query->First(); !query->Eof(); query->Next())
        objets << TrimBlanks(query->Fields(0).AsString()) + QLatin1Char(' ') + TrimBlanks(query->Fields(1).AsString());
    query->Close();
    objets.sort();
    return objets;
}
