#include "cipherfixture.h"
#include "config/settings.h"
#include "logcapture.h"
#include "storage/database.h"
#include "storage/passphrase.h"
#include "storage/reportsaver.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

constexpr auto error = spdlog::level::err;
using spdlog::level::debug;
using spdlog::level::info;
using spdlog::level::trace;
using Calls = QList<QPair<int, int>>;

namespace {

QList<CipherFixture::Parameter> sampleParameters()
{
    const quint32 groups[] = {1, 2, 15, 16, 17, 18, 25, 27, 28, 5};
    QList<CipherFixture::Parameter> list;
    for (quint32 id = 1; id <= 60; ++id)
        list.append({id, id * 1.0, id * 2.0, groups[id % 10]});
    for (quint32 id = 70; id <= 81; ++id)
        list.append({id, 10.0, 20.0, 5});
    return list;
}

struct Row {
    qint64 parameterId;
    double value;
    int scale;
    QString text;
};

} // namespace

class TestReportSaver : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void loadPerson_data();
    void loadPerson();
    void unknownPersonKeepsPrevious();
    void resetPerson();
    void saveNeedsResultsReady();
    void saveWritesOneReport_data();
    void saveWritesOneReport();
    void reversedCountBoundsStillSave();
    void twoSavesInOneSecondGetTwoReports();
    void failedSaveLeavesNothing_data();
    void failedSaveLeavesNothing();
    void progressCalls_data();
    void progressCalls();
    void secondWriterIsNotLockedOut();
    void unreadableReferenceFailsTheSave_data();
    void unreadableReferenceFailsTheSave();
    void reportIdIsTheIdColumn_data();
    void reportIdIsTheIdColumn();

private:
    QString personalFile() const { return root.filePath(QStringLiteral("p/personal.db")); }
    QString parametersFile() const { return root.filePath(QStringLiteral("data/common/parameters.db")); }
    bool save(ReportSaver& saver, Calls* calls = nullptr);
    QList<Row> results(const QString& reportId) const;

    LogCapture log;
    QTemporaryDir root;
    QString cwd;
    quint32 man = 0;
    quint32 woman = 0;
};

bool TestReportSaver::save(ReportSaver& saver, Calls* calls)
{
    return saver.saveReport(true, Database::personalDirectory(), [calls](qint32 index, qint32 total) {
        if (calls)
            calls->append({index, total});
    });
}

QList<Row> TestReportSaver::results(const QString& reportId) const
{
    QList<Row> rows;
    const QStringList lines = CipherFixture::rows(personalFile(), QStringLiteral(
        "SELECT parameterid, value, scale FROM Results WHERE reportid=%1 ORDER BY id;").arg(reportId));
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('|'));
        if (f.size() == 3)
            rows.append({f[0].toLongLong(), f[1].toDouble(), f[2].toInt(), f[1]});
    }
    return rows;
}

void TestReportSaver::initTestCase()
{
    QVERIFY(root.isValid());
    QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("data/common")) && dir.mkpath(QStringLiteral("x/y/z")) && dir.mkpath(QStringLiteral("p")));
    QVERIFY(CipherFixture::createParameters(parametersFile(), sampleParameters()));
    QVERIFY(CipherFixture::createPersonal(personalFile()));
    man = CipherFixture::addPerson(personalFile(), "Bert", "Male", "1980-05-05", "180", "80");
    woman = CipherFixture::addPerson(personalFile(), "Anna", "Female", "2016-01-01", "120", "22.5");
    QVERIFY(man > 0 && woman > 0);
    cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root.filePath(QStringLiteral("x/y/z"))));
    Settings::instance().setDynamicDbPath(root.filePath(QStringLiteral("p")));
    QVERIFY(Database::instance().parametersOpen());
}

void TestReportSaver::init()
{
    log.clear();
    Settings::instance().setDynamicDbPath(root.filePath(QStringLiteral("p")));
}

void TestReportSaver::loadPerson_data()
{
    QTest::addColumn<QString>("gender");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("weight");
    QTest::addColumn<bool>("female");
    QTest::addColumn<double>("heightValue");
    QTest::addColumn<double>("weightValue");
    QTest::newRow("Male") << "Male" << "180" << "80.5" << false << 180.0 << 80.5;
    QTest::newRow("male in lower case") << "male" << "180" << "80" << true << 180.0 << 80.0;
    QTest::newRow("MALE") << "MALE" << "180" << "80" << true << 180.0 << 80.0;
    QTest::newRow("empty gender") << "" << "180" << "80" << true << 180.0 << 80.0;
    QTest::newRow("Female") << "Female" << "165.5" << "55" << true << 165.5 << 55.0;
    QTest::newRow("numbers unreadable") << "Male" << "tall" << "" << false << 0.0 << 0.0;
}

void TestReportSaver::loadPerson()
{
    QFETCH(QString, gender);
    QFETCH(QString, height);
    QFETCH(QString, weight);
    QFETCH(bool, female);
    QFETCH(double, heightValue);
    QFETCH(double, weightValue);
    const quint32 id = CipherFixture::addPerson(personalFile(), "Zoë", gender, "1999-09-09", height, weight);
    QVERIFY(id > 0);
    ReportSaver saver;
    QVERIFY(saver.loadPerson(id));
    const Person* p = saver.person();
    QVERIFY(p);
    QCOMPARE(p->name, QStringLiteral("Zoë"));
    QCOMPARE(p->female, female);
    QCOMPARE(p->birthday, QStringLiteral("1999-09-09"));
    QCOMPARE(p->height, heightValue);
    QCOMPARE(p->weight, weightValue);
    QCOMPARE(p->id, id);
    QVERIFY(!p->rangesComputed);
    QCOMPARE(p->level10Min + p->level10Max + p->level1000Max, 0);
    QVERIFY(CipherFixture::cli(personalFile(), QStringLiteral("DELETE FROM Persons WHERE id=%1;").arg(id)));
}

void TestReportSaver::unknownPersonKeepsPrevious()
{
    ReportSaver saver;
    QVERIFY(!saver.loadPerson(9999));
    QVERIFY(!saver.person());
    QVERIFY(log.contains(info, QStringLiteral("Cannot find user. Query result is empty.")));
    QVERIFY(saver.loadPerson(man));
    QVERIFY(!saver.loadPerson(9999));
    QCOMPARE(saver.person()->name, QStringLiteral("Bert"));
}

void TestReportSaver::resetPerson()
{
    ReportSaver saver;
    saver.resetPerson(); // nothing stored: nothing happens
    QVERIFY(!saver.person());
    QVERIFY(saver.loadPerson(woman));
    saver.resetPerson();
    const Person* p = saver.person();
    QVERIFY(p);
    QVERIFY(p->name.isEmpty() && p->birthday.isEmpty());
    QVERIFY(!p->female && !p->rangesComputed);
    QCOMPARE(p->height, 0.0);
    QCOMPARE(p->weight, 0.0);
    QCOMPARE(p->id, 0U);
}

void TestReportSaver::saveNeedsResultsReady()
{
    ReportSaver saver;
    QVERIFY(saver.loadPerson(man));
    const QStringList before = CipherFixture::rows(personalFile(), QStringLiteral("SELECT count(*) FROM Reports;"));
    int calls = 0;
    QVERIFY(!saver.saveReport(false, Database::personalDirectory(), [&calls](qint32, qint32) { ++calls; }));
    QVERIFY(log.contains(error, QStringLiteral("Cannot save")));
    QCOMPARE(calls, 0);
    QCOMPARE(CipherFixture::rows(personalFile(), QStringLiteral("SELECT count(*) FROM Reports;")), before);
}

void TestReportSaver::saveWritesOneReport_data()
{
    QTest::addColumn<bool>("female");
    QTest::newRow("man, 44, BMI 24.7") << false;
    QTest::newRow("girl, 9 or 10, BMI 15.6") << true;
}

void TestReportSaver::saveWritesOneReport()
{
    QFETCH(bool, female);
    const QList<CipherFixture::Parameter> all = sampleParameters();
    const QList<quint32> excludedGroups = female ? QList<quint32>{17, 18} : QList<quint32>{16, 28};
    ReportSaver saver;
    QVERIFY(saver.loadPerson(female ? woman : man));
    for (int round = 0; round < 8; ++round) {
        log.clear();
        Calls calls;
        QVERIFY(save(saver, &calls));
        const Person* p = saver.person();
        const QString id = Database::instance().currentReportId();
        const QStringList report = CipherFixture::rows(personalFile(), QStringLiteral(
            "SELECT date, personid, score FROM Reports WHERE id=%1;").arg(id));
        QCOMPARE(report.size(), 1);
        const QStringList fields = report.first().split(QLatin1Char('|'));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d$")).match(fields[0]).hasMatch());
        QCOMPARE(fields[1].toUInt(), p->id);
        const int score = fields[2].toInt();

        const QList<Row> rows = results(id);
        const auto n = static_cast<int>(rows.size());
        QCOMPARE(calls.size(), n);
        for (int i = 0; i < n; ++i)
            QCOMPARE(calls.at(i), qMakePair(i, n - 1));
        int scales[4] = {0, 0, 0, 0};
        int minDeduction = 0;
        int maxDeduction = 0;
        int group27Deviating = 0;
        for (const Row& r : rows) {
            QVERIFY2(QRegularExpression(QStringLiteral("^-?\\d+\\.\\d{3}$")).match(r.text).hasMatch(), qPrintable(r.text));
            const auto source = std::find_if(all.begin(), all.end(), [&r](const auto& s) { return s.id == r.parameterId; });
            QVERIFY(source != all.end());
            QVERIFY(!excludedGroups.contains(source->groupId));
            QVERIFY(r.scale >= 0 && r.scale <= 3);
            ++scales[r.scale];
            const bool inside = r.value >= source->min - 0.0005 && r.value <= source->max + 0.0005;
            if (r.scale == 0) {
                QVERIFY(inside);
                continue;
            }
            QVERIFY(!(female ? QList<qint64>{79, 80, 81, 123, 124, 125}
                             : QList<qint64>{70, 71, 72, 73, 74, 75, 76, 77, 78}).contains(r.parameterId));
            minDeduction += QList<int>{0, 50, 101, 142}.at(r.scale);
            maxDeduction += QList<int>{0, 60, 123, 163}.at(r.scale);
            if (source->groupId == 27) {
                group27Deviating += inside ? 0 : 1;
            } else {
                QVERIFY2(!inside, qPrintable(QStringLiteral("%1 %2").arg(r.parameterId).arg(r.text)));
                if (source->groupId == 15 || source->groupId == 25)
                    QVERIFY(r.value < source->min);
            }
        }
        QVERIFY(group27Deviating <= 1);
        QVERIFY(10000 - score >= minDeduction && 10000 - score <= maxDeduction);
        const Person::Bounds b = saver.person()->level10Min ? Person::Bounds{p->level10Min, p->level10Max, p->level100Min,
                                                                             p->level100Max, p->level1000Min, p->level1000Max}
                                                            : Person::Bounds{};
        QVERIFY(p->rangesComputed);
        QVERIFY(scales[1] <= std::max(b[0], b[1]));
        QVERIFY(scales[2] <= std::max(b[2], b[3]));
        QVERIFY(scales[3] <= std::max(b[4], b[5]));

        QVERIFY(log.contains(debug, QStringLiteral("Saving - Reports query: SELECT id FROM Reports WHERE rowid = :rowid (%1)").arg(id)));
        QVERIFY(log.contains(debug, QStringLiteral("Report id: ") + id));
        QVERIFY(log.contains(trace, QStringLiteral("progress 0/%1").arg(n - 1)));
        QVERIFY(log.contains(trace, QStringLiteral("values: %1, reportids: %1, parameterids: %1, scales: %1").arg(n)));
        QVERIFY(log.contains(trace, QStringLiteral("Summarization finished")));
        QVERIFY(log.contains(debug, QStringLiteral("Running query: UPDATE Reports SET score = :score WHERE id = :id (%1, %2)").arg(score).arg(id)));
    }
}

void TestReportSaver::reversedCountBoundsStillSave()
{
    // BMI 30 (third class) with age below 10: level-100 bounds are 23 and 21.
    const QString born = QStringLiteral("%1-06-01").arg(QDate::currentDate().year() - 5);
    const quint32 kid = CipherFixture::addPerson(personalFile(), "Kid", "Male", born, "100", "30");
    QVERIFY(kid > 0);
    ReportSaver saver;
    QVERIFY(saver.loadPerson(kid));
    int maxLevel100 = 0;
    for (int round = 0; round < 5; ++round) {
        QVERIFY(save(saver));
        const Person* p = saver.person();
        QCOMPARE(p->level100Min, 23);
        QCOMPARE(p->level100Max, 21);
        int level100 = 0;
        for (const Row& r : results(Database::instance().currentReportId()))
            level100 += r.scale == 2 ? 1 : 0;
        maxLevel100 = std::max(maxLevel100, level100);
    }
    QVERIFY(maxLevel100 > 0);
    QVERIFY(maxLevel100 <= 23);
}

void TestReportSaver::twoSavesInOneSecondGetTwoReports()
{
    ReportSaver saver;
    QVERIFY(saver.loadPerson(man));
    QString firstId, secondId;
    QStringList dates;
    // Saves take milliseconds; retry in the rare case a second boundary falls between them.
    for (int attempt = 0; attempt < 5; ++attempt) {
        QVERIFY(save(saver));
        firstId = Database::instance().currentReportId();
        QVERIFY(save(saver));
        secondId = Database::instance().currentReportId();
        dates = CipherFixture::rows(personalFile(), QStringLiteral(
            "SELECT date FROM Reports WHERE id IN (%1, %2);").arg(firstId, secondId));
        if (dates.size() == 2 && dates[0] == dates[1])
            break;
    }
    QCOMPARE(dates.size(), 2);
    QCOMPARE(dates[0], dates[1]);
    QVERIFY(firstId != secondId);
    const int n = static_cast<int>(Database::instance().parameters(false).size());
    QCOMPARE(results(firstId).size(), n);
    QCOMPARE(results(secondId).size(), n);
    QCOMPARE(CipherFixture::rows(personalFile(), QStringLiteral(
                 "SELECT count(*) FROM Reports WHERE id IN (%1, %2) AND score > 0 AND score < 10000;").arg(firstId, secondId)),
             QStringList{"2"});
}

void TestReportSaver::failedSaveLeavesNothing_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expectedLog");
    QTest::newRow("missing directory") << QStringLiteral("missing") << QStringLiteral("createNewReport failed, cannot create new report.");
    QTest::newRow("no Results table") << QStringLiteral("DROP TABLE Results;") << QStringLiteral("Couldn't save results to database");
    QTest::newRow("Results refused midway")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Results WHEN NEW.parameterid = 31 BEGIN SELECT RAISE(ABORT, 'refused'); END;")
        << QStringLiteral("Couldn't save results to database");
    QTest::newRow("score refused")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Reports BEGIN SELECT RAISE(ABORT, 'refused'); END;")
        << QStringLiteral("Couldn't save the report score: refused Unable to execute statement");
    QTest::newRow("Reports refused")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Reports BEGIN SELECT RAISE(ABORT, 'refused'); END;")
        << QStringLiteral("createNewReport failed, cannot create new report.");
    QTest::newRow("read-only file") << QStringLiteral("readonly") << QStringLiteral("createNewReport failed, cannot create new report.");
    // What a full disk can do: SQLite ends the transaction itself.
    QTest::newRow("Results roll everything back")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Results BEGIN SELECT RAISE(ROLLBACK, 'disk full'); END;")
        << QStringLiteral("The database has already rolled back the report");
}

void TestReportSaver::failedSaveLeavesNothing()
{
    QFETCH(QString, setup);
    QFETCH(QString, expectedLog);
    const QString dirName = QStringLiteral("fail-%1").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const QString dirPath = root.filePath(dirName);
    const QString file = dirPath + QStringLiteral("/personal.db");
    if (setup != QLatin1String("missing")) {
        QVERIFY(QDir(root.path()).mkpath(dirName));
        QVERIFY(CipherFixture::createPersonal(file));
        QVERIFY(CipherFixture::addPerson(file, "Bert", "Male", "1980-05-05", "180", "80") == 1);
        // One earlier report that must survive untouched.
        QVERIFY(CipherFixture::cli(file, QStringLiteral(
            "INSERT INTO Reports (date, personid, score) VALUES ('2020-01-01_10-00-00', 1, 9000);"
            "INSERT INTO Results (value, reportid, parameterid, scale) VALUES ('1.000', 1, 1, 0);")));
        if (setup == QLatin1String("readonly")) {
            QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
            QVERIFY(QFile::setPermissions(dirPath, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            if (QFileInfo(file).isWritable())
                QSKIP("file permissions do not bind this user (root)");
        } else {
            QVERIFY(CipherFixture::cli(file, setup));
        }
    }
    ReportSaver saver;
    QVERIFY(saver.loadPerson(man)); // from the regular database
    Database::instance().setCurrentReportId(QStringLiteral("previous"));
    Settings::instance().setDynamicDbPath(dirPath);
    log.clear();
    QVERIFY(!save(saver));
    QVERIFY2(log.containsText(expectedLog), qPrintable(log.messages().join('\n')));
    // Every failure here leaves no transaction open, so the roll-back never fails.
    QVERIFY(!log.containsText(QStringLiteral("Couldn't roll back the report")));
    QCOMPARE(Database::instance().currentReportId(), QStringLiteral("previous"));
    Settings::instance().setDynamicDbPath(root.filePath(QStringLiteral("p")));
    QVERIFY(Database::instance().personalOpen());

    if (setup == QLatin1String("missing")) {
        QVERIFY(!QFileInfo::exists(dirPath));
        return;
    }
    QFile::setPermissions(dirPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(CipherFixture::rows(file, QStringLiteral("SELECT id, date, score FROM Reports;")),
             QStringList{"1|2020-01-01_10-00-00|9000"});
    if (setup != QLatin1String("DROP TABLE Results;"))
        QCOMPARE(CipherFixture::rows(file, QStringLiteral("SELECT count(*) FROM Results;")), QStringList{"1"});
}

void TestReportSaver::progressCalls_data()
{
    QTest::addColumn<int>("parameterCount");
    QTest::addColumn<Calls>("expected");
    QTest::newRow("none") << 0 << Calls{};
    QTest::newRow("one") << 1 << Calls{{0, 0}};
    QTest::newRow("three") << 3 << Calls{{0, 2}, {1, 2}, {2, 2}};
}

void TestReportSaver::progressCalls()
{
    QFETCH(int, parameterCount);
    QFETCH(Calls, expected);
    QList<CipherFixture::Parameter> params;
    for (int i = 1; i <= parameterCount; ++i)
        params.append({quint32(i), 1.0, 2.0, 1});
    const QString file = parametersFile();
    QVERIFY(QFile::rename(file, file + QStringLiteral(".full")));
    QVERIFY(CipherFixture::createParameters(file, params));
    Database::instance().reopen();

    ReportSaver saver;
    QVERIFY(saver.loadPerson(man));
    Calls calls;
    const bool saved = save(saver, &calls);

    QVERIFY(QFile::remove(file));
    QVERIFY(QFile::rename(file + QStringLiteral(".full"), file));
    Database::instance().reopen();

    QVERIFY(saved);
    QCOMPARE(calls, expected);
    const QString id = Database::instance().currentReportId();
    QCOMPARE(results(id).size(), parameterCount);
    if (parameterCount == 0) {
        QCOMPARE(CipherFixture::rows(personalFile(), QStringLiteral("SELECT score FROM Reports WHERE id=%1;").arg(id)),
                 QStringList{"10000"});
    }
}

// The frontend's own connection, which does not wait for locks, writes
// between the progress steps of a save.
void TestReportSaver::secondWriterIsNotLockedOut()
{
    const QString name = QStringLiteral("frontend");
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("SQLITECIPHER"), name);
        other.setDatabaseName(personalFile());
        other.setPassword(Passphrase::build());
        other.setConnectOptions(QStringLiteral("QSQLITE_USE_CIPHER=sqlcipher;SQLCIPHER_LEGACY=3;QSQLITE_BUSY_TIMEOUT=0"));
        QVERIFY2(other.open(), qPrintable(other.lastError().text()));
        ReportSaver saver;
        QVERIFY(saver.loadPerson(man));
        QStringList failures;
        int writes = 0;
        QVERIFY(saver.saveReport(true, Database::personalDirectory(), [&](qint32 index, qint32) {
            QSqlQuery query(other);
            if (query.exec(QStringLiteral("UPDATE Persons SET address = 'Street %1' WHERE id = %2").arg(index).arg(man)))
                ++writes;
            else
                failures << query.lastError().text();
        }));
        QCOMPARE(failures, QStringList());
        QCOMPARE(writes, static_cast<int>(Database::instance().parameters(false).size()));
        other.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void TestReportSaver::unreadableReferenceFailsTheSave_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("readable");
    QTest::newRow("missing") << "missing" << false;
    QTest::newRow("wrong key") << "wrong key" << false;
    QTest::newRow("not a database") << "garbage" << false;
    QTest::newRow("query fails") << "no table" << false;
    QTest::newRow("readable and empty") << "empty" << true;
}

// "Could not read" fails the save and writes nothing; "read, and empty" saves.
void TestReportSaver::unreadableReferenceFailsTheSave()
{
    QFETCH(QString, kind);
    QFETCH(bool, readable);
    const QString file = parametersFile();
    QVERIFY(QFile::rename(file, file + QStringLiteral(".full")));
    if (kind == QLatin1String("wrong key")) {
        QVERIFY(CipherFixture::cliWithKey(file, QStringLiteral("another key"), QStringLiteral("CREATE TABLE t (x);")));
    } else if (kind == QLatin1String("garbage")) {
        QFile garbage(file);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, '\x5a'));
    } else if (kind != QLatin1String("missing")) {
        QVERIFY(CipherFixture::createParameters(file, {}));
        if (kind == QLatin1String("no table"))
            QVERIFY(CipherFixture::cli(file, QStringLiteral("DROP TABLE Parameters;")));
    }
    Database::instance().reopen();
    const QStringList before = CipherFixture::rows(personalFile(), QStringLiteral("SELECT count(*) FROM Reports;"));

    log.clear();
    const bool checked = ReportSaver::referenceParametersReadable(false);
    ReportSaver saver;
    QVERIFY(saver.loadPerson(man));
    Calls calls;
    const bool saved = save(saver, &calls);

    QFile::remove(file);
    QVERIFY(QFile::rename(file + QStringLiteral(".full"), file));
    Database::instance().reopen();

    QCOMPARE(checked, readable);
    QCOMPARE(saved, readable);
    QCOMPARE(log.containsText(QStringLiteral("The reference parameters cannot be read: ")), !readable);
    const QStringList after = CipherFixture::rows(personalFile(), QStringLiteral("SELECT count(*) FROM Reports;"));
    QCOMPARE(after.value(0).toInt(), before.value(0).toInt() + (readable ? 1 : 0));
    QVERIFY(calls.isEmpty());
}

void TestReportSaver::reportIdIsTheIdColumn_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("expectedId");
    const QString columns = QStringLiteral("date TEXT NOT NULL, personid INTEGER NOT NULL, score INTEGER NOT NULL DEFAULT 0");
    // `id` an ordinary column that a trigger numbers from 1001, apart from the rowid.
    QTest::newRow("numbered by a trigger")
        << QStringLiteral("CREATE TABLE Reports (id INTEGER UNIQUE, %1);"
                          "CREATE TRIGGER numbering AFTER INSERT ON Reports BEGIN "
                          "UPDATE Reports SET id = NEW.rowid + 1000 WHERE rowid = NEW.rowid; END;").arg(columns)
        << "1001";
    QTest::newRow("text ids")
        << QStringLiteral("CREATE TABLE Reports (id TEXT UNIQUE, %1);"
                          "CREATE TRIGGER numbering AFTER INSERT ON Reports BEGIN "
                          "UPDATE Reports SET id = 'r' || NEW.rowid WHERE rowid = NEW.rowid; END;").arg(columns)
        << "r1";
    QTest::newRow("without rowid")
        << QStringLiteral("CREATE TABLE Reports (id TEXT PRIMARY KEY NOT NULL DEFAULT ('w-7'), %1) WITHOUT ROWID;").arg(columns)
        << "w-7";
}

// The frontend owns the schema of Reports.
void TestReportSaver::reportIdIsTheIdColumn()
{
    QFETCH(QString, schema);
    QFETCH(QString, expectedId);
    const QString dir = root.filePath(QStringLiteral("own-ids-") + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
    QVERIFY(QDir().mkpath(dir));
    const QString file = dir + QStringLiteral("/personal.db");
    QVERIFY(CipherFixture::createPersonal(file));
    QVERIFY(CipherFixture::cli(file, QStringLiteral("DROP TABLE Reports;") + schema));
    ReportSaver saver;
    QVERIFY(saver.loadPerson(man));
    Settings::instance().setDynamicDbPath(dir);
    log.clear();
    QVERIFY2(save(saver), qPrintable(log.messages().join('\n')));
    QCOMPARE(Database::instance().currentReportId(), expectedId);
    const QStringList report = CipherFixture::rows(file, QStringLiteral("SELECT id, score FROM Reports;"));
    QCOMPARE(report.size(), 1);
    QCOMPARE(report.first().section(QLatin1Char('|'), 0, 0), expectedId);
    QVERIFY(report.first().section(QLatin1Char('|'), 1).toInt() > 0); // the score reached this row
    QCOMPARE(CipherFixture::rows(file, QStringLiteral("SELECT DISTINCT reportid FROM Results;")), QStringList{expectedId});
}

QTEST_GUILESS_MAIN(TestReportSaver)
#include "tst_reportsaver.moc"
