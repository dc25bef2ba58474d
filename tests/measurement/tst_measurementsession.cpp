// Whole measurements through the real program, the simulator and the
// encrypted databases; rows are checked with the sqlcipher shell.
#include "cipherfixture.h"
#include "measurementsite.h"
#include "sessionfixture.h"
#include "testtools.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

struct Site : MeasurementSite {
    bool prepare()
    {
        bool ok = makeFolders();
        bool step = false;
        dbtool({QStringLiteral("create-parameters"), parametersDb}, &step);
        ok = ok && step;
        dbtool({QStringLiteral("create-personal"), personalDb}, &step);
        ok = ok && step;
        const QString id = dbtool({QStringLiteral("add-person"), personalDb, QStringLiteral("Ada Test"),
                                   QStringLiteral("1980-05-17"), QStringLiteral("Female"),
                                   QStringLiteral("168"), QStringLiteral("61")}, &step);
        personId = id.section(QLatin1Char(' '), -1).toUInt();
        return ok && step && personId > 0;
    }
    int parameterCount() const
    {
        return CipherFixture::rows(parametersDb, QStringLiteral("SELECT count(*) FROM Parameters;")).value(0).toInt();
    }
};

} // namespace

class TestMeasurementSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void measureSaveAndCheckRows();
    void exitAfterDatabaseUseIsClean_data();
    void exitAfterDatabaseUseIsClean();

private:
    bool startSession(SessionFixture& s, Site& site, const QStringList& simulatorArgs = {});
    // Runs the measurement to its end; returns the remaining values seen.
    QList<qint32> runToEnd(SessionFixture& s, bool askCorrectness);
};

void TestMeasurementSession::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty())
        QFAIL("the sqlcipher shell is needed (scripts/install-deps.sh installs it)");
}

bool TestMeasurementSession::startSession(SessionFixture& s, Site& site, const QStringList& simulatorArgs)
{
    if (!site.prepare()) {
        qWarning("could not prepare the databases");
        return false;
    }
    return s.launchReadyToMeasure(site.workDir, site.personalDir, simulatorArgs);
}

QList<qint32> TestMeasurementSession::runToEnd(SessionFixture& s, bool askCorrectness)
{
    QList<qint32> remaining;
    bool asked = false;
    while (auto packet = s.frontend.next(10000)) {
        if (packet->opcode == opcodes::state_measure) {
            remaining << packet->payload;
            if (askCorrectness && !asked && remaining.size() == 4) {
                s.frontend.send(makePacket(opcodes::correctness_measure, 0));
                asked = true;
            }
        } else if (packet->opcode == opcodes::set_db) {
            continue; // a folder change sent during the measurement
        } else if (packet->opcode == opcodes::correctness_measure) {
            remaining << -packet->payload - 1; // marks the answer: -2 for correct, -1 for not
        } else if (packet->opcode == opcodes::end_measure && packet->payload == code(status_codes::measurement_finished)) {
            return remaining;
        } else {
            qWarning("unexpected %s", qPrintable(FrontendClient::describe(*packet)));
            return {};
        }
    }
    return {};
}

void TestMeasurementSession::measureSaveAndCheckRows()
{
    SessionFixture s;
    Site site;
    QVERIFY(startSession(s, site));
    const int parameters = site.parameterCount();
    QVERIFY(parameters > 1);

    // Refused save while running, then saved.
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, static_cast<qint32>(site.personId))));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, static_cast<qint32>(site.personId))));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_in_progress)));
    QVERIFY(s.frontend.send(makePacket(opcodes::save_measure, 1)));
    QVERIFY(s.expect(opcodes::save_measure, code(status_codes::measurement_not_started)));

    const QList<qint32> seen = runToEnd(s, true);
    QVERIFY(seen.contains(-2)); // correctness_measure answered 1 while running
    QList<qint32> ticks;
    for (qint32 v : seen) {
        if (v >= 0)
            ticks << v;
    }
    QCOMPARE(ticks.size(), 79);
    QCOMPARE(ticks.first(), 39500);
    QCOMPARE(ticks.last(), 500);
    QVERIFY(s.frontend.send(makePacket(opcodes::correctness_measure, 0)));
    QVERIFY(s.expect(opcodes::correctness_measure, code(status_codes::measurement_not_started)));

    QVERIFY(s.frontend.send(makePacket(opcodes::save_measure, 1)));
    QList<qint32> percents;
    std::optional<Packet> packet;
    while ((packet = s.frontend.next(20000)) && packet->opcode == opcodes::saving_progress)
        percents << packet->payload;
    QVERIFY(packet.has_value());
    QCOMPARE(packet->opcode, opcodes::save_measure);
    QCOMPARE(packet->payload, code(status_codes::measurement_saved));
    QVERIFY(percents.size() > 1 && percents.size() <= parameters);
    QCOMPARE(percents.last(), 100);
    QVERIFY(std::is_sorted(percents.begin(), percents.end()));

    // Back in idle: nothing more to save.
    QVERIFY(s.frontend.send(makePacket(opcodes::save_measure, 1)));
    QVERIFY(s.expect(opcodes::save_measure, code(status_codes::measurement_not_started)));

    const QStringList reports = CipherFixture::rows(site.personalDb, QStringLiteral("SELECT id, personId FROM Reports;"));
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().section(QLatin1Char('|'), 1), QString::number(site.personId));
    const QString reportId = reports.first().section(QLatin1Char('|'), 0, 0);
    const QStringList results = CipherFixture::rows(
        site.personalDb, QStringLiteral("SELECT count(*) FROM Results WHERE reportId = %1;").arg(reportId));
    // One progress packet per saved result.
    QCOMPARE(results.value(0).toInt(), percents.size());

    QVERIFY(s.frontend.send(makePacket(opcodes::exit, 0)));
    QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
    QVERIFY(s.waitForExit());
    QCOMPARE(s.program.exitCode(), 0);
}

void TestMeasurementSession::exitAfterDatabaseUseIsClean_data()
{
    QTest::addColumn<bool>("byExitRequest");
    QTest::newRow("exit request") << true;
    QTest::newRow("disconnect") << false;
}

void TestMeasurementSession::exitAfterDatabaseUseIsClean()
{
    QFETCH(bool, byExitRequest);
    // The session thread used the crypto library; it must be done with it
    // before the process leaves main. A race, so several runs.
    for (int run = 0; run < 3; ++run) {
        SessionFixture s;
        Site site;
        QVERIFY(startSession(s, site));
        // The person lookup opens the encrypted personal database on the session thread.
        QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, 999999)));
        QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_not_started)));
        if (byExitRequest) {
            QVERIFY(s.frontend.send(makePacket(opcodes::exit, 0)));
            QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
        } else {
            s.frontend.close();
        }
        QVERIFY(s.waitForExit());
        QCOMPARE(s.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(s.program.exitCode(), 0);
        QVERIFY(s.program.logText().contains(QStringLiteral("Process exiting with code 0")));
    }
}

QTEST_GUILESS_MAIN(TestMeasurementSession)
#include "tst_measurementsession.moc"
