#include "cipherfixture.h"
#include "config/settings.h"
#include "logcapture.h"
#include "storage/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using spdlog::level::debug;
constexpr auto error = spdlog::level::err;
using spdlog::level::info;
using spdlog::level::trace;

namespace {
const QList<CipherFixture::Parameter> sampleParameters{
    {1, 1.5, 2.5, 1},     {2, 10, 20, 15},    {3, 0.25, 0.75, 16},  {4, 3, 4, 17},
    {5, 100, 200, 18},    {6, 7, 8, 27},      {7, 7.5, 9.5, 28},    {8, 0.001, 0.002, 25},
    {70, 1, 2, 5},        {79, 1, 2, 6},
};
}

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void constructionLogs();
    void currentReportIdStartsEmpty();
    void personValues_data();
    void personValues();
    void createAndLookUpReport();
    void parameterExclusions_data();
    void parameterExclusions();
    void parameterRowsMatchShell();
    void insertResults();
    void insertResultsRejectsUnequalLists();
    void runQuery();
    void personalDirectory_data();
    void personalDirectory();
    void followsNewDynamicDirectory();
    void personalOpenFailures_data();
    void personalOpenFailures();
    void missingParametersDatabase();

private:
    QString personal(const QString& dir) const { return root.filePath(dir + "/personal.db"); }

    LogCapture log;
    QTemporaryDir root;
    QString originalCwd;
    quint32 anna = 0;
};

void TestDatabase::initTestCase()
{
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("data/common")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("x/y/z")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("p1")));
    QVERIFY2(CipherFixture::createParameters(root.filePath(QStringLiteral("data/common/parameters.db")),
                                             sampleParameters),
             qPrintable(CipherFixture::lastError()));
    QVERIFY(CipherFixture::createPersonal(personal(QStringLiteral("p1"))));
    anna = CipherFixture::addPerson(personal(QStringLiteral("p1")), "Anna", "Female", "1990-02-03", "170", "60.5");
    QVERIFY(anna > 0);
    originalCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root.filePath(QStringLiteral("x/y/z"))));
    Settings::instance().setDynamicDbPath(root.filePath(QStringLiteral("p1")));
    Database::instance();
}

void TestDatabase::constructionLogs()
{
    const QStringList all = log.messages();
    QVERIFY2(log.containsText(QStringLiteral("Supported SQL drivers: ")), qPrintable(all.join('\n')));
    QVERIFY(log.containsText(QStringLiteral("SQLITECIPHER")));
    QVERIFY(log.contains(debug, QStringLiteral("Opening static database file: ../../../data/common/parameters.db")));
    QVERIFY(log.contains(info, QStringLiteral("Parameters database has been opened successfully")));
    QVERIFY(log.contains(debug, QStringLiteral("Opening personal database file: ") + personal("p1")));
    QVERIFY(log.contains(trace, QStringLiteral("personal.db exists: true")));
    QVERIFY(log.contains(info, QStringLiteral("Database (dynamic) has been opened successfully")));
    QVERIFY(Database::instance().parametersOpen());
    QVERIFY(Database::instance().personalOpen());
}

void TestDatabase::currentReportIdStartsEmpty()
{
    Database& db = Database::instance();
    QCOMPARE(db.currentReportId(), QString());
    db.setCurrentReportId(QStringLiteral("42"));
    QCOMPARE(db.currentReportId(), QStringLiteral("42"));
    db.setCurrentReportId(QString());
}

void TestDatabase::personValues_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("expected");
    const QString all = QStringLiteral("select name, gender, birthday, height, weight, mobilenumber, "
                                       "phonenumber, email, address from Persons where id=%1;");
    QTest::newRow("existing") << all.arg(1)
        << QStringList{"Anna", "Female", "1990-02-03", "170", "60.5", "+100", "200", "a@b.c", "Street 1"};
    QTest::newRow("no row") << all.arg(999) << QStringList(9, QString());
    QTest::newRow("fewer columns") << QStringLiteral("select name from Persons where id=1")
        << QStringList{"Anna", "", "", "", "", "", "", "", ""};
    QTest::newRow("bad statement") << QStringLiteral("select nothing from Nowhere") << QStringList(9, QString());
}

void TestDatabase::personValues()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, expected);
    const QStringList values = Database::instance().personValues(sql);
    QCOMPARE(values.size(), 9);
    QCOMPARE(values, expected);
}

void TestDatabase::createAndLookUpReport()
{
    Database& db = Database::instance();
    const QString stamp = QStringLiteral("2025-10-13_09-14-13");
    QVERIFY(db.createNewReport(stamp, anna));
    const QString id = db.lastInsertedReportId();
    QVERIFY(!id.isEmpty());
    QCOMPARE(db.reportId(stamp, anna), id);
    QCOMPARE(db.reportId(stamp, anna + 1), QString());
    QCOMPARE(db.reportId(QStringLiteral("2025-10-13_09-14-14"), anna), QString());
    QCOMPARE(CipherFixture::rows(personal("p1"), QStringLiteral("SELECT id, date, personid, score FROM Reports;")),
             QStringList{QStringLiteral("%1|%2|%3|0").arg(id, stamp).arg(anna)});
    QVERIFY(db.runQuery(QStringLiteral("DELETE FROM Reports")));
}

void TestDatabase::parameterExclusions_data()
{
    QTest::addColumn<bool>("female");
    QTest::addColumn<QList<quint32>>("expected");
    QTest::newRow("male: no groups 16, 28") << false << QList<quint32>{1, 2, 4, 5, 6, 8, 70, 79};
    QTest::newRow("female: no groups 17, 18") << true << QList<quint32>{1, 2, 3, 6, 7, 8, 70, 79};
}

void TestDatabase::parameterExclusions()
{
    QFETCH(bool, female);
    QFETCH(QList<quint32>, expected);
    QList<quint32> ids = Database::instance().parameterIds(female);
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids, expected);
    QList<quint32> fromRows;
    for (const ParameterInfo& p : Database::instance().parameters(female))
        fromRows << p.id;
    std::sort(fromRows.begin(), fromRows.end());
    QCOMPARE(fromRows, expected);
}

void TestDatabase::parameterRowsMatchShell()
{
    const QStringList shell = CipherFixture::rows(
        root.filePath(QStringLiteral("data/common/parameters.db")),
        QStringLiteral("SELECT Parameters.id, OrganGroups.name_en, OrganGroups.id FROM OrganGroups "
                       "INNER JOIN Parameters on OrganGroups.id = Parameters.organid "
                       "WHERE OrganGroups.id != 16 and OrganGroups.id != 28;"));
    const QList<ParameterInfo> params = Database::instance().parameters(false);
    QCOMPARE(params.size(), shell.size());
    for (int i = 0; i < params.size(); ++i) {
        const ParameterInfo& p = params.at(i);
        QCOMPARE(QStringLiteral("%1|%2|%3").arg(p.id).arg(p.organGroupName).arg(p.organGroupId), shell.at(i));
        const auto source = std::find_if(sampleParameters.begin(), sampleParameters.end(),
                                         [&p](const auto& s) { return s.id == p.id; });
        QCOMPARE(p.min, static_cast<float>(source->min));
        QCOMPARE(p.max, static_cast<float>(source->max));
    }
    QCOMPARE(Database::instance().parameterIds(false).size(), params.size());
}

void TestDatabase::insertResults()
{
    Database& db = Database::instance();
    QVERIFY(db.insertResults({QStringLiteral("1.000"), QStringLiteral("12.345")},
                             {QStringLiteral("7"), QStringLiteral("7")},
                             {quint32(1), quint32(2)}, {qint32(0), qint32(3)}));
    QCOMPARE(CipherFixture::rows(personal("p1"), QStringLiteral(
                 "SELECT value, reportid, parameterid, scale FROM Results ORDER BY id;")),
             (QStringList{"1.000|7|1|0", "12.345|7|2|3"}));
    QVERIFY(db.insertResults({}, {}, {}, {}));
    QVERIFY(db.runQuery(QStringLiteral("DELETE FROM Results")));
}

void TestDatabase::insertResultsRejectsUnequalLists()
{
    log.clear();
    QVERIFY(!Database::instance().insertResults({QStringLiteral("1.000")}, {}, {quint32(1)}, {0}));
    QVERIFY(log.contains(error, QStringLiteral("Result lists differ in length: 1, 0, 1, 1")));
    QCOMPARE(CipherFixture::rows(personal("p1"), QStringLiteral("SELECT count(*) FROM Results;")),
             QStringList{"0"});
}

void TestDatabase::runQuery()
{
    log.clear();
    Database& db = Database::instance();
    const QString bad = QStringLiteral("update Nothing set x=1");
    QVERIFY(!db.runQuery(bad));
    QVERIFY(log.contains(debug, QStringLiteral("Running query: ") + bad));
    QVERIFY(db.runQuery(QStringLiteral("update Reports set score=5 where id=0")));
}

void TestDatabase::personalDirectory_data()
{
    QTest::addColumn<QString>("dynamic");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty text") << QString() << QString();
    QTest::newRow("-1 and a blank") << QStringLiteral("-1 ") << QStringLiteral("-1 ");
    QTest::newRow("path as given") << QStringLiteral("/data/ü dir/") << QStringLiteral("/data/ü dir/");
    QTest::newRow("unset") << QStringLiteral("-1") << QStringLiteral("<frontend data folder>");
}

void TestDatabase::personalDirectory()
{
    QFETCH(QString, dynamic);
    QFETCH(QString, expected);
    const QString before = Settings::instance().dynamicDbPath();
    QCoreApplication::setApplicationName(QStringLiteral("Ulvexbackend"));
    Settings::instance().setDynamicDbPath(dynamic);
    const QString dir = Database::personalDirectory();
    Settings::instance().setDynamicDbPath(before);
    if (dynamic != QLatin1String("-1")) {
        QCOMPARE(dir, expected);
        return;
    }
    const QString own = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(own.endsWith(QStringLiteral("/Ulvexbackend")));
    QCOMPARE(QFileInfo(dir).fileName(), Settings::instance().applicationName());
    QCOMPARE(QFileInfo(dir).path(), QFileInfo(own).path());
}

void TestDatabase::followsNewDynamicDirectory()
{
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("p2")));
    QVERIFY(CipherFixture::createPersonal(personal("p2")));
    QVERIFY(CipherFixture::addPerson(personal("p2"), "Bert", "Male", "1970-01-01", "180", "80") > 0);
    QVERIFY(CipherFixture::addPerson(personal("p2"), "Carl", "Male", "1971-01-01", "181", "81") == 2);
    Database& db = Database::instance();
    const QString sql = QStringLiteral("select name from Persons where id=2");
    QCOMPARE(db.personValues(sql).first(), QString());

    log.clear();
    Settings::instance().setDynamicDbPath(root.filePath(QStringLiteral("p2")));
    QCOMPARE(db.personValues(sql).first(), QStringLiteral("Carl"));
    QVERIFY(log.contains(debug, QStringLiteral("Opening personal database file: ") + personal("p2")));
    QVERIFY(db.createNewReport(QStringLiteral("2025-01-01_00-00-00"), 2));
    QCOMPARE(CipherFixture::rows(personal("p2"), QStringLiteral("SELECT count(*) FROM Reports;")), QStringList{"1"});
    QCOMPARE(CipherFixture::rows(personal("p1"), QStringLiteral("SELECT count(*) FROM Reports;")), QStringList{"0"});

    Settings::instance().setDynamicDbPath(root.filePath(QStringLiteral("p1")));
    QCOMPARE(db.personValues(sql).first(), QString());
    QCOMPARE(db.personValues(QStringLiteral("select name from Persons where id=1")).first(), QStringLiteral("Anna"));
}

void TestDatabase::personalOpenFailures_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("foreignKey");
    QTest::addColumn<QString>("errorText");
    QTest::newRow("missing directory") << QStringLiteral("absent/deeper") << false
                                       << QStringLiteral("unable to open database file");
    // The driver's own words: SQLite's text for a wrong key differs between versions.
    QTest::newRow("other key") << QStringLiteral("otherkey") << true
                               << QStringLiteral("Cannot open database: wrong key or not an encrypted database");
}

void TestDatabase::personalOpenFailures()
{
    QFETCH(QString, dir);
    QFETCH(bool, foreignKey);
    QFETCH(QString, errorText);
    if (foreignKey) {
        QVERIFY(QDir(root.path()).mkpath(dir));
        QVERIFY(CipherFixture::cliWithKey(personal(dir), QStringLiteral("another key"),
                                          QStringLiteral("CREATE TABLE Reports (id INTEGER PRIMARY KEY, date, personid, score);")));
    }
    log.clear();
    Database& db = Database::instance();
    Settings::instance().setDynamicDbPath(root.filePath(dir));
    QVERIFY(!db.personalOpen());
    QVERIFY(log.contains(error, QStringLiteral("Couldn't open the personal.db")));
    QVERIFY2(log.containsText(errorText), qPrintable(log.messages().join('\n')));
    QVERIFY(!db.createNewReport(QStringLiteral("2025-01-01_00-00-00"), 1));
    QCOMPARE(db.reportId(QStringLiteral("2025-01-01_00-00-00"), 1), QString());
    QCOMPARE(db.personValues(QStringLiteral("select name from Persons where id=1")), QStringList(9, QString()));
    QVERIFY(!db.insertResults({QStringLiteral("1.000")}, {QStringLiteral("1")}, {quint32(1)}, {0}));
    QVERIFY(!db.runQuery(QStringLiteral("update Reports set score=1 where id=1")));
    Settings::instance().setDynamicDbPath(root.filePath(QStringLiteral("p1")));
    QVERIFY(db.personalOpen());
}

void TestDatabase::missingParametersDatabase()
{
    const QString file = root.filePath(QStringLiteral("data/common/parameters.db"));
    QVERIFY(QFile::rename(file, file + ".away"));
    log.clear();
    Database& db = Database::instance();
    db.reopen();
    QVERIFY(log.contains(info, QStringLiteral("Couldn't find db file at ../../../data/common/parameters.db")));
    QVERIFY(!log.containsText(QStringLiteral("Opening static database file")));
    QVERIFY(!db.parametersOpen());
    QCOMPARE(db.parameterIds(false), QList<quint32>());
    QVERIFY(log.contains(error, QStringLiteral("Couldn't get parameter ids from parameters database.")));
    QCOMPARE(db.parameters(true).size(), 0);
    QVERIFY(log.contains(error, QStringLiteral("Couldn't get parameters from parameters database.")));

    QVERIFY(QFile::rename(file + ".away", file));
    db.reopen();
    QVERIFY(db.parametersOpen());
    QCOMPARE(db.parameterIds(false).size(), 8);
    QDir::setCurrent(originalCwd);
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
