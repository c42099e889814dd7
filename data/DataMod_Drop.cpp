#include "data/uDataMod.h"

#include "common/TextFile.h"
#include "data/ScriptText.h"
#include "data/SeedLine.h"
#include "data/ServerErrorText.h"
#include "db/DbError.h"
#include "db/DbScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

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

void EcritFichier(const QString &aPath, const QByteArray &aBytes)
{
    QFile::remove(aPath);
    QFile file(aPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(aBytes) != aBytes.size() || !file.flush())
        throw EDbError(QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2").arg(aPath, file.errorString()));
}

QString ErreurDe(const QString &aStatement, const QString &aMessage)
{
    return TrimBlanks(aStatement) + QStringLiteral(" : ") + aMessage;
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
        EcritFichier(fichier, RessourceParNom(QStringLiteral("drop_symds")));

        bool ouverte = false;
        try {
            cnx->Open();
            ouverte = cnx->Connected();
        } catch (const EDbError &e) {
            rapport.Erreurs << QStringLiteral("Connexion à %1 : %2").arg(ABaseDonnees, e.Message());
        }
        if (ouverte) {
            ForEachScriptChunk(ReadTextFileLines(fichier), [&](const QString &aChunk) {
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

bool TDataMod::Joue_MiniSplit(const QString &aFileCSV, const QString &aIBFile, QString *aMotif)
{
    QString motif;
    int numero = 0;
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
            motif = QStringLiteral("le fichier doit s'appeler exactement K.csv ou GENPARAM.csv");

        const QStringList lignes = table.isEmpty() ? QStringList() : ReadTextFileLines(aFileCSV);
        if (!table.isEmpty() && lignes.isEmpty())
            motif = QStringLiteral("fichier vide");
        else if (!lignes.isEmpty())
            cnx->Open(); // a database out of reach is no fault of line 1
        for (const QString &line : lignes) {
            ++numero;
            motif = RefusLigneDeValeurs(line);
            if (!motif.isEmpty()) {
                motif = QStringLiteral("ligne %1 : %2").arg(numero).arg(motif);
                break;
            }
            query->Close();
            query->SQL() = QStringList{QStringLiteral("INSERT INTO %1 VALUES (%2);").arg(table, line)};
            query->ExecSQL();
            result = true;
        }
    } catch (const EDbError &e) {
        motif = numero == 0 ? TexteErreurServeur(e)
                            : QStringLiteral("ligne %1 : %2").arg(numero).arg(TexteErreurServeur(e));
    } catch (const std::exception &e) {
        motif = QString::fromUtf8(e.what());
    }
    if (!motif.isEmpty())
        result = false;
    if (aMotif)
        *aMotif = motif;
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
