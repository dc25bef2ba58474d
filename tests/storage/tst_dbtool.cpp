#include "cipherfixture.h"
#include "testpaths.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestDbTool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void createsPersonalDatabase();
    void addPerson_data();
    void addPerson();
    void createsSampleParameters();
    void rejectsBadParameterFile_data();
    void rejectsBadParameterFile();
    void listsReports();
    void unknownCommand();

private:
    int tool(const QStringList& args, QString* out = nullptr, QString* err = nullptr);
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

int TestDbTool::tool(const QStringList& args, QString* out, QString* err)
{
    QProcess process;
    process.start(testpaths::tool(QStringLiteral("ulvex-dbtool")), args);
    if (!process.waitForFinished(60000))
        return -100;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -101;
}

void TestDbTool::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QFileInfo::exists(testpaths::tool(QStringLiteral("ulvex-dbtool"))));
}

void TestDbTool::createsPersonalDatabase()
{
    QCOMPARE(tool({"create-personal", path("personal.db")}), 0);
    QCOMPARE(CipherFixture::rows(path("personal.db"), QStringLiteral(
                 "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%' ORDER BY name;")),
             (QStringList{"Persons", "Reports", "Results"}));
    QCOMPARE(tool({"create-personal", path("personal.db")}), 0); // existing tables stay
}

void TestDbTool::addPerson_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("man") << QStringList{"Bert Olsen", "1980-05-05", "Male", "180", "80.5"} << 0;
    QTest::newRow("woman") << QStringList{"Åsa", "2016-01-31", "Female", "120", "22"} << 0;
    QTest::newRow("bad date") << QStringList{"X", "1980-13-01", "Male", "180", "80"} << 2;
    QTest::newRow("bad height") << QStringList{"X", "1980-01-01", "Male", "tall", "80"} << 2;
    QTest::newRow("too few") << QStringList{"X", "1980-01-01", "Male", "180"} << 2;
}

void TestDbTool::addPerson()
{
    QFETCH(QStringList, fields);
    QFETCH(int, exitCode);
    const QStringList before = CipherFixture::rows(path("personal.db"), QStringLiteral("SELECT count(*) FROM Persons;"));
    QString out;
    QCOMPARE(tool(QStringList{"add-person", path("personal.db")} + fields, &out), exitCode);
    if (exitCode != 0) {
        QCOMPARE(CipherFixture::rows(path("personal.db"), QStringLiteral("SELECT count(*) FROM Persons;")), before);
        return;
    }
    const QString id = out.trimmed();
    QVERIFY(id.toUInt() > 0);
    QCOMPARE(CipherFixture::rows(path("personal.db"), QStringLiteral(
                 "SELECT name, birthday, gender, height, weight FROM Persons WHERE id=%1;").arg(id)),
             QStringList{fields.join(QLatin1Char('|'))});
}

void TestDbTool::createsSampleParameters()
{
    QString out;
    QCOMPARE(tool({"create-parameters", path("parameters.db")}, &out), 0);
    QVERIFY(out.contains(QStringLiteral("43 parameters written")));
    QCOMPARE(CipherFixture::rows(path("parameters.db"), QStringLiteral(
                 "SELECT count(*) FROM Parameters WHERE min < max;")), QStringList{"43"});
    // The groups the scoring treats specially are present.
    QCOMPARE(CipherFixture::rows(path("parameters.db"), QStringLiteral(
                 "SELECT count(DISTINCT organid) FROM Parameters WHERE organid IN (15, 16, 17, 18, 25, 27, 28);")),
             QStringList{"7"});
    QCOMPARE(tool({"create-parameters", path("parameters.db")}), 1); // never overwrites
}

void TestDbTool::rejectsBadParameterFile_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::newRow("min above max") << QByteArray("1,A,5,4,1,G\n");
    QTest::newRow("missing column") << QByteArray("1,A,1,2,1\n");
    QTest::newRow("duplicate id") << QByteArray("1,A,1,2,1,G\n1,B,1,2,1,G\n");
}

void TestDbTool::rejectsBadParameterFile()
{
    QFETCH(QByteArray, csv);
    const QString csvFile = path(QStringLiteral("bad-%1.csv").arg(QTest::currentDataTag()));
    QFile f(csvFile);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(csv);
    f.close();
    const QString db = path(QStringLiteral("bad-%1.db").arg(QTest::currentDataTag()));
    QString err;
    QCOMPARE(tool({"create-parameters", db, csvFile}, nullptr, &err), 1);
    QVERIFY(err.contains(QStringLiteral("line ")));
    QCOMPARE(CipherFixture::rows(db, QStringLiteral("SELECT count(*) FROM Parameters;")), QStringList{"0"});
}

void TestDbTool::listsReports()
{
    QVERIFY(CipherFixture::cli(path("personal.db"), QStringLiteral(
        "INSERT INTO Reports (date, personid, score) VALUES ('2025-10-13_09-14-13', 1, 9741);"
        "INSERT INTO Results (value, reportid, parameterid, scale) VALUES ('1.234', 1, 40, 2);")));
    QString out;
    QCOMPARE(tool({"list-reports", path("personal.db"), path("parameters.db")}, &out), 0);
    QVERIFY2(out.contains(QStringLiteral("Report 1  date 2025-10-13_09-14-13  person 1 (Bert Olsen)  score 9741")), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("parameter 40  value 1.234  scale 2  Calcium [1.22 .. 1.53]")));
    QVERIFY(out.contains(QStringLiteral("1 reports")));
    // A results query that fails is an error, not a report without results.
    QVERIFY(CipherFixture::cli(path("personal.db"), QStringLiteral("DROP TABLE Results;")));
    QString err;
    QCOMPARE(tool({"list-reports", path("personal.db")}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("Results")), qPrintable(err));
}

void TestDbTool::unknownCommand()
{
    QString err;
    QCOMPARE(tool({"frobnicate"}, nullptr, &err), 2);
    QVERIFY(err.contains(QStringLiteral("Usage: ulvex-dbtool")));
}

QTEST_GUILESS_MAIN(TestDbTool)
#include "tst_dbtool.moc"
