// One JSON convention for every command: each command of the help, run with
// --json on a database made like the demo's, writes one JSON value whose
// keys are lower case with "_", whose numbers are JSON numbers, whose dates
// are ISO 8601 local time without zone, and which never holds "NULL".
#include "CliRun.h"
#include "testdb/CatalogueFixture.h"
#include "testdb/TestDatabase.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What breaks the convention in aValue, each as "path: reason".
void Ecarts(const QJsonValue &aValue, const QString &aChemin, QStringList &aEcarts)
{
    static const QRegularExpression cle(QStringLiteral("^[a-z0-9_]+$"));
    // A whole or decimal number, or one grouped by thousands; a version
    // ("18.2.0.1500") is text.
    static const QRegularExpression nombre(QStringLiteral(
        "^[-+]?([0-9]+([.,][0-9]+)?|[0-9]{1,3}([ ,\u00A0\u202F][0-9]{3})+)$"));
    static const QRegularExpression dateFr(QStringLiteral("[0-9]{2}/[0-9]{2}/[0-9]{4}"));
    static const QRegularExpression cim(QStringLiteral("^[0-9]{14}\\.[0-9]{6}[+-][0-9]{3}$"));
    static const QRegularExpression debutIso(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}"));
    static const QRegularExpression iso(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}(T[0-9]{2}:[0-9]{2}:[0-9]{2})?$"));
    static const QRegularExpression isoDecale(
        QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2}$"));
    if (aValue.isObject()) {
        const QJsonObject o = aValue.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!cle.match(it.key()).hasMatch())
                aEcarts << aChemin + QStringLiteral(": clé ") + it.key();
            Ecarts(it.value(), aChemin + QLatin1Char('.') + it.key(), aEcarts);
        }
    } else if (aValue.isArray()) {
        const QJsonArray a = aValue.toArray();
        for (qsizetype i = 0; i < a.size(); ++i)
            Ecarts(a[i], aChemin + QStringLiteral("[%1]").arg(i), aEcarts);
    } else if (aValue.isString()) {
        const QString t = aValue.toString();
        // The system's own offsets are kept where the system gives them.
        const bool decalageAdmis = aChemin.contains(QLatin1String(".os_infos.")) && isoDecale.match(t).hasMatch();
        if (t == QLatin1String("NULL"))
            aEcarts << aChemin + QStringLiteral(": \"NULL\"");
        else if (nombre.match(t).hasMatch())
            aEcarts << aChemin + QStringLiteral(": nombre en texte \"%1\"").arg(t);
        else if (dateFr.match(t).hasMatch() || cim.match(t).hasMatch()
                 || (debutIso.match(t).hasMatch() && !iso.match(t).hasMatch() && !decalageAdmis))
            aEcarts << aChemin + QStringLiteral(": date \"%1\"").arg(t);
    }
}

} // namespace

class TestCliJson : public QObject
{
    Q_OBJECT

private slots:
    void toutesLesCommandes();
};

void TestCliJson::toutesLesCommandes()
{
    TTestDatabase db;
    QFile demo(QStringLiteral(IVROMVT_SOURCE_DIR "/scripts/demo_db.sql"));
    QVERIFY(demo.open(QIODevice::ReadOnly));
    db.Exec(QString::fromUtf8(demo.readAll()));
    AddGapKit(db);
    QTemporaryDir dir;
    QFile k(dir.filePath(QStringLiteral("K.csv")));
    QVERIFY(k.open(QIODevice::WriteOnly));
    k.close();
    QFile ini(dir.filePath(QStringLiteral("backup.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.close();
    // The system's services are a stand-in's.
    qputenv("PATH", QByteArray(IVROMVT_FAKES_DIR) + ':' + qgetenv("PATH"));

    const TCliRun aide = RunCli({QStringLiteral("--aide")});
    static const QRegularExpression ligneCommande(QStringLiteral("^  ([a-z0-9-]+)  "));
    QStringList commandes;
    for (const QString &l : aide.Out.split(QLatin1Char('\n')))
        if (const QRegularExpressionMatch m = ligneCommande.match(l); m.hasMatch())
            commandes << m.captured(1);
    QVERIFY(commandes.size() >= 30);
    // The sending first, so that the journal and the follow-up have one to
    // show; the removal of SymmetricDS last.
    commandes.removeAll(QStringLiteral("envoyer"));
    commandes.removeAll(QStringLiteral("drop-symds"));
    commandes.prepend(QStringLiteral("envoyer"));
    commandes << QStringLiteral("drop-symds");

    const QMap<QString, QString> valeurs{
        {QStringLiteral("BASE"), db.Path()},
        {QStringLiteral("NOEUD"), QStringLiteral("mag-001")},
        {QStringLiteral("FICHIER"), k.fileName()},
        {QStringLiteral("FICHIER-INI"), ini.fileName()},
        {QStringLiteral("TABLE"), QStringLiteral("ARTICLE")},
        {QStringLiteral("CLES"), QStringLiteral("ART_ID")},
        {QStringLiteral("NOM"), QStringLiteral("ivromvt-absent")},
        {QStringLiteral("VALEUR"), QStringLiteral("1")},
        {QStringLiteral("URL"), QStringLiteral("http://lame:31415/sync/lame")},
        {QStringLiteral("CHEMIN"), QStringLiteral("D:\\BASES\\DEMO.IB")},
        {QStringLiteral("SERVICE"), QStringLiteral("ivromvt-absent")},
        {QStringLiteral("JJ/MM/AAAA"), QDate::currentDate().addDays(-9).toString(QStringLiteral("dd/MM/yyyy"))},
        {QStringLiteral("DOSSIER"), dir.path()},
        {QStringLiteral("ID"), QStringLiteral("12")},
        {QStringLiteral("PORT"), QStringLiteral("31415")},
        {QStringLiteral("MO"), QStringLiteral("512")}};
    // A few options that change what is written, run as well.
    const QMap<QString, QStringList> variantes{
        {QStringLiteral("tables-exclues"), {QStringLiteral("--liste"), QStringLiteral("toutes")}},
        {QStringLiteral("tables-replicantes"), {QStringLiteral("--liste"), QStringLiteral("toutes")}}};

    QStringList reussies;
    QStringList ecarts;
    for (const QString &commande : std::as_const(commandes)) {
        const TCliRun usage = RunCli({commande, QStringLiteral("--aide")});
        const QString grammaire = usage.Out.section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(' '), 4);
        QStringList args{commande};
        const QStringList mots = grammaire.split(QLatin1Char(' '));
        int crochets = 0;
        for (int i = 0; i < mots.size(); ++i) {
            const QString &mot = mots[i];
            const bool requis = crochets == 0 && !mot.startsWith('[');
            crochets += int(mot.count('[')) - int(mot.count(']'));
            if (!requis)
                continue;
            if (mot.startsWith(QLatin1String("--"))) {
                const QString valeur = mots[++i];
                args << mot << (mot == QLatin1String("--au") ? QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"))
                                : mot == QLatin1String("--groupe") ? QStringLiteral("lame")
                                                                   : valeurs.value(valeur, QStringLiteral("x")));
            } else {
                args << valeurs.value(mot, QStringLiteral("1"));
            }
        }
        if (grammaire.contains(QStringLiteral("[--oui]")))
            args << QStringLiteral("--oui");
        QList<QStringList> lignes{args};
        if (variantes.contains(commande))
            lignes << args + variantes.value(commande);
        for (const QStringList &ligne : std::as_const(lignes)) {
            const TCliRun r = RunCli(ligne + QStringList{QStringLiteral("--json")});
            const QString qui = ligne.join(QLatin1Char(' ')).replace(db.Path(), QStringLiteral("BASE"));
            QJsonParseError erreur;
            const QJsonDocument doc = QJsonDocument::fromJson(r.Out.toUtf8(), &erreur);
            if (erreur.error != QJsonParseError::NoError || doc.isNull()) {
                ecarts << qui + QStringLiteral(" : pas un JSON (code %1) : %2").arg(r.Code).arg(r.Out.left(200));
                continue;
            }
            if (r.Code == 0)
                reussies << commande;
            QStringList e;
            Ecarts(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()), QString(), e);
            for (const QString &x : std::as_const(e))
                ecarts << qui + QStringLiteral(" : ") + x;
        }
    }
    QVERIFY2(ecarts.isEmpty(), qPrintable(ecarts.join(QLatin1Char('\n'))));
    // The commands that read and the sending did their work: their JSON was checked.
    for (const char *c : {"envoyer", "journal", "suivi", "noeuds", "evaluer", "detect-gap", "do-gap", "ouverture-base",
                          "environnement", "liste-bases", "ivro-mvt-liste-bases", "tables-exclues", "tables-replicantes",
                          "get-infos-passage-taven2ivro", "clean-magcode", "set-nom-pour-nous"})
        QVERIFY2(reussies.contains(QString::fromLatin1(c)), c);
}

QTEST_GUILESS_MAIN(TestCliJson)
#include "tst_cli_json.moc"
