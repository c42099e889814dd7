#include "data/replication/OperationsReplication.h"

#include "common/AtomicFile.h"
#include "common/Erreur.h"
#include "common/TextFile.h"
#include "data/acces/ArretDemande.h"
#include "data/acces/ScriptText.h"
#include "data/acces/ServerErrorText.h"
#include "data/replication/SeedLine.h"
#include "data/acces/ObjetsMouvement.h"
#include "db/DbError.h"
#include "db/DbScript.h"

#include <functional>

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
        throw EDbError(TexteErreur(e));
    }
}

QString ErreurDe(const QString &aStatement, const QString &aMessage)
{
    return TrimBlanks(aStatement) + QStringLiteral(" : ") + aMessage;
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
    const QString mouvement = QStringLiteral("'%1'").arg(MouvementProcedures.join(QStringLiteral("', '")));
    // Object names are CHAR columns: read, they come without their blanks.
    QMap<QString, QStringList> dependances;
    aQuery.Close();
    aQuery.SQL() = QStringList{
        QStringLiteral("SELECT D.RDB$DEPENDENT_NAME, D.RDB$DEPENDENT_TYPE, D.RDB$DEPENDED_ON_NAME"),
        QStringLiteral("  FROM RDB$DEPENDENCIES D"),
        QStringLiteral("  LEFT JOIN RDB$TRIGGERS T ON D.RDB$DEPENDENT_TYPE = 2 AND T.RDB$TRIGGER_NAME = D.RDB$DEPENDENT_NAME"),
        QStringLiteral(" WHERE ((D.RDB$DEPENDED_ON_TYPE IN (0, 15) AND D.RDB$DEPENDED_ON_NAME STARTING WITH 'SYM_')"),
        QStringLiteral("     OR (D.RDB$DEPENDED_ON_TYPE = 14 AND (D.RDB$DEPENDED_ON_NAME STARTING WITH 'SYM_'"),
        QStringLiteral("         OR D.RDB$DEPENDED_ON_NAME STARTING WITH 'GEN_SYM_' OR D.RDB$DEPENDED_ON_NAME STARTING WITH 'SEQ_SYM_'))"),
        QStringLiteral("     OR (D.RDB$DEPENDED_ON_TYPE = 5 AND D.RDB$DEPENDED_ON_NAME IN (%1)))").arg(mouvement),
        QStringLiteral("   AND NOT (D.RDB$DEPENDENT_TYPE = 2 AND (D.RDB$DEPENDENT_NAME STARTING WITH 'SYM_ON_'"),
        QStringLiteral("                                       OR T.RDB$RELATION_NAME STARTING WITH 'SYM_'))"),
        QStringLiteral("   AND NOT (D.RDB$DEPENDENT_TYPE = 5 AND D.RDB$DEPENDENT_NAME IN (%1))").arg(mouvement),
    };
    aQuery.Open();
    for (aQuery.First(); !aQuery.Eof(); aQuery.Next()) {
        QStringList &de = dependances[TypeObjet(aQuery.Fields(1).AsInteger()) + QLatin1Char(' ') + aQuery.Fields(0).AsString()];
        if (!de.contains(aQuery.Fields(2).AsString()))
            de << aQuery.Fields(2).AsString();
    }
    aQuery.Close();
    aQuery.SQL() = QStringList{
        QStringLiteral("SELECT FK.RDB$CONSTRAINT_NAME, FK.RDB$RELATION_NAME, UQ.RDB$RELATION_NAME"),
        QStringLiteral("  FROM RDB$RELATION_CONSTRAINTS FK"),
        QStringLiteral("  JOIN RDB$REF_CONSTRAINTS R ON R.RDB$CONSTRAINT_NAME = FK.RDB$CONSTRAINT_NAME"),
        QStringLiteral("  JOIN RDB$RELATION_CONSTRAINTS UQ ON UQ.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ"),
        QStringLiteral(" WHERE FK.RDB$CONSTRAINT_TYPE = 'FOREIGN KEY' AND UQ.RDB$RELATION_NAME STARTING WITH 'SYM_'"),
        QStringLiteral("   AND NOT (FK.RDB$RELATION_NAME STARTING WITH 'SYM_')"),
    };
    aQuery.Open();
    for (aQuery.First(); !aQuery.Eof(); aQuery.Next()) {
        const QString objet = QStringLiteral("CLE ETRANGERE %1 (table %2)")
                                  .arg(aQuery.Fields(0).AsString(), aQuery.Fields(1).AsString());
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

QString Quote(const QString &aName)
{
    return QLatin1Char('"') + QString(aName).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

// The statements that take away SymmetricDS's objects found in the
// catalogue, in the order they can go: each one built from names read, so no
// server-side loop is needed (InterBase has none to run a built statement).
QStringList SuppressionsDuCatalogue(TDbQuery &aQuery)
{
    QStringList statements;
    for (const QString &procedure : MouvementProcedures)
        statements << QStringLiteral("DROP PROCEDURE ") + procedure;
    const auto each = [&](const QStringList &aSql, const std::function<QString(TDbQuery &)> &aStatement) {
        aQuery.Close();
        aQuery.SQL() = aSql;
        aQuery.Open();
        for (aQuery.First(); !aQuery.Eof(); aQuery.Next())
            statements << aStatement(aQuery);
        aQuery.Close();
    };
    // The movement's lock table and its table of capture definitions, when a
    // sending made them (after the procedures that use the latter).
    each({QStringLiteral("SELECT RDB$RELATION_NAME FROM RDB$RELATIONS WHERE RDB$RELATION_NAME IN ('%1', '%2')")
              .arg(MouvementTableVerrou, MouvementTableDefinitions)},
         [](TDbQuery &q) { return QStringLiteral("DROP TABLE ") + Quote(q.Fields(0).AsString()); });
    each({QStringLiteral("SELECT RDB$TRIGGER_NAME FROM RDB$TRIGGERS"),
          QStringLiteral(" WHERE RDB$TRIGGER_NAME STARTING WITH 'SYM_ON_' AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0")},
         [](TDbQuery &q) { return QStringLiteral("DROP TRIGGER ") + Quote(q.Fields(0).AsString()); });
    each({QStringLiteral("SELECT RDB$RELATION_NAME, RDB$CONSTRAINT_NAME FROM RDB$RELATION_CONSTRAINTS"),
          QStringLiteral(" WHERE RDB$CONSTRAINT_TYPE = 'FOREIGN KEY' AND RDB$RELATION_NAME STARTING WITH 'SYM_'")},
         [](TDbQuery &q) {
             return QStringLiteral("ALTER TABLE %1 DROP CONSTRAINT %2")
                 .arg(Quote(q.Fields(0).AsString()), Quote(q.Fields(1).AsString()));
         });
    each({QStringLiteral("SELECT RDB$TRIGGER_NAME FROM RDB$TRIGGERS"),
          QStringLiteral(" WHERE RDB$RELATION_NAME STARTING WITH 'SYM_' AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0")},
         [](TDbQuery &q) { return QStringLiteral("DROP TRIGGER ") + Quote(q.Fields(0).AsString()); });
    each({QStringLiteral("SELECT RDB$RELATION_NAME FROM RDB$RELATIONS"),
          QStringLiteral(" WHERE RDB$RELATION_NAME STARTING WITH 'SYM_'"),
          QStringLiteral("   AND RDB$RELATION_NAME NOT IN ('SYM_DATA', 'SYM_CONTEXT')"),
          QStringLiteral("   AND RDB$VIEW_SOURCE IS NULL AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0")},
         [](TDbQuery &q) { return QStringLiteral("DROP TABLE ") + Quote(q.Fields(0).AsString()); });
    // DROP GENERATOR: the form both servers know.
    each({QStringLiteral("SELECT RDB$GENERATOR_NAME FROM RDB$GENERATORS"),
          QStringLiteral(" WHERE (RDB$GENERATOR_NAME STARTING WITH 'SYM_' OR RDB$GENERATOR_NAME STARTING WITH 'GEN_SYM_'"),
          QStringLiteral("        OR RDB$GENERATOR_NAME STARTING WITH 'SEQ_SYM_') AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0")},
         [](TDbQuery &q) { return QStringLiteral("DROP GENERATOR ") + Quote(q.Fields(0).AsString()); });
    return statements;
}

} // namespace

TOperationsReplication::TDropSymdsRapport TOperationsReplication::DROP_SYMDS(const QString &ABaseDonnees)
{
    TDropSymdsRapport rapport;
    const QString ref = SysdbaRef(ABaseDonnees);
    {
        std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(ref);
        std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
        auto runner = std::make_unique<TDbScript>(cnx.get());
        runner->SetErrorPolicy(TDbScript::TErrorPolicy::RecordAndContinue);
        // The connection definition goes whatever happens, so the next
        // connection starts from a fresh one.
        struct TOubliDefinition {
            TAcces *Owner;
            QString Ref;
            ~TOubliDefinition() { Owner->FreeInfFDManager(Ref); }
        } oubli{&FAcces, ref};

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
                rapport.Interrompu = ArretDemande::Demande();
                return rapport;
            }
            if (!rapport.Dependances.isEmpty())
                return rapport;
            QStringList suppressions;
            try {
                suppressions = SuppressionsDuCatalogue(*query);
            } catch (const EDbError &e) {
                rapport.Erreurs << QStringLiteral("Lecture du catalogue : ") + e.Message();
                rapport.Interrompu = ArretDemande::Demande();
                return rapport;
            }
            // Each statement commits on its own, so each finds the previous
            // one done; a failure is recorded and the next one runs.
            for (const QString &sql : std::as_const(suppressions)) {
                // A stop asked: what ran stays done, the rest is not begun.
                if (ArretDemande::Demande()) {
                    rapport.Interrompu = true;
                    break;
                }
                if (!runner->ExecuteChunk(sql)) {
                    // Cancelled by the stop: not a failure of its own.
                    if (ArretDemande::Demande()) {
                        rapport.Interrompu = true;
                        break;
                    }
                    const TDbScript::TScriptError &err = runner->Errors().last();
                    rapport.Erreurs << ErreurDe(err.Statement, err.Message);
                }
                ++rapport.ChunksExecutes;
            }
            ForEachScriptChunk(script, [&](const QString &aChunk) {
                if (rapport.Interrompu || ArretDemande::Demande()) {
                    rapport.Interrompu = true;
                    return false;
                }
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

    if (rapport.Interrompu || ArretDemande::Demande()) {
        rapport.Interrompu = true;
        return rapport;
    }
    // Lets the server finish with the first attachment before the drops.
    QThread::msleep(200);

    for (const QString &sql : {QStringLiteral("DROP TABLE SYM_DATA;"), QStringLiteral("DROP TABLE SYM_CONTEXT;")}) {
        try {
            std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(ref);
            TDbScript runner(cnx.get());
            runner.SetErrorPolicy(TDbScript::TErrorPolicy::RecordAndContinue);
            if (!runner.ExecuteChunk(sql))
                rapport.Erreurs << ErreurDe(sql, runner.Errors().last().Message);
        } catch (const EDbError &e) {
            rapport.Erreurs << ErreurDe(sql, e.Message());
        }
        FAcces.FreeInfFDManager(ref);
    }
    return rapport;
}

bool TOperationsReplication::Joue_MiniSplit(const QString &aFileCSV, const QString &aIBFile, QString *aMotif,
                                            int *aChargees)
{
    QString motif;
    int numero = 0;
    int chargees = 0;
    bool result = false;
    try {
        std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(aIBFile));
        std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
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
        // Every line is checked before the first is loaded: a file refused for
        // its form leaves the database as it was.
        for (qsizetype i = 0; i < lignes.size() && motif.isEmpty(); ++i)
            if (const QString refus = RefusLigneDeValeurs(lignes[i]); !refus.isEmpty())
                motif = QStringLiteral("ligne %1 : %2").arg(i + 1).arg(refus);
        if (motif.isEmpty() && !lignes.isEmpty())
            cnx->Open(); // a database out of reach is no fault of line 1
        for (qsizetype i = 0; i < lignes.size() && motif.isEmpty(); ++i) {
            numero = int(i + 1);
            query->Close();
            query->SQL() = QStringList{QStringLiteral("INSERT INTO %1 VALUES (%2);").arg(table, lignes[i])};
            query->ExecSQL();
            ++chargees;
            result = true;
        }
    } catch (const EDbError &e) {
        motif = numero == 0 ? TexteErreurServeur(e)
                            : QStringLiteral("ligne %1 : %2").arg(numero).arg(TexteErreurServeur(e));
    } catch (const std::exception &e) {
        motif = TexteErreur(e);
    }
    if (!motif.isEmpty())
        result = false;
    if (aMotif)
        *aMotif = motif;
    if (aChargees)
        *aChargees = chargees;
    return result;
}

QStringList TOperationsReplication::ListeObjetsSymmetricDS(const QString &ABaseDonnees)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
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
        // The movement procedures go with the removal: they write into SYM_DATA.
        QStringLiteral("UNION ALL"),
        QStringLiteral("SELECT 'PROCEDURE', RDB$PROCEDURE_NAME FROM RDB$PROCEDURES"),
        QStringLiteral(" WHERE RDB$PROCEDURE_NAME IN ('%1')").arg(MouvementProcedures.join(QStringLiteral("', '"))),
        QStringLiteral("UNION ALL"),
        QStringLiteral("SELECT 'TABLE', RDB$RELATION_NAME FROM RDB$RELATIONS WHERE RDB$RELATION_NAME IN ('%1', '%2')")
            .arg(MouvementTableVerrou, MouvementTableDefinitions),
    };
    query->Open();
    QStringList objets;
    for (query->First(); !query->Eof(); query->Next())
        objets << TrimBlanks(query->Fields(0).AsString()) + QLatin1Char(' ') + TrimBlanks(query->Fields(1).AsString());
    query->Close();
    objets.sort();
    return objets;
}
