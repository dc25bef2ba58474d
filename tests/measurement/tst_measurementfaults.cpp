// Measurements that go wrong, through the real program, the simulator and
// encrypted databases checked with the sqlcipher shell: reports for the
// wrong person or database, and device faults around a measurement.
#include "cipherfixture.h"
#include "sessionfixture.h"
#include "testtools.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

namespace {

// parameters.db where the program looks for it, and two personal folders:
// X holds persons A and B, Y two other persons with the same ids.
struct Site {
    QTemporaryDir root;
    QString workDir = root.filePath(QStringLiteral("install/bin/a/b"));
    QString parametersDb = root.filePath(QStringLiteral("install/data/common/parameters.db"));
    QString dirX = root.filePath(QStringLiteral("x"));
    QString dirY = root.filePath(QStringLiteral("y"));
    QString dbX = dirX + QStringLiteral("/personal.db");
    QString dbY = dirY + QStringLiteral("/personal.db");
    qint32 personA = 0;
    qint32 personB = 0;

    qint32 add(const QString& db, const QString& name, bool* ok)
    {
        bool step = false;
        const QString out = dbtool({QStringLiteral("add-person"), db, name, QStringLiteral("1975-03-02"),
                                    QStringLiteral("Male"), QStringLiteral("180"), QStringLiteral("80")}, &step);
        *ok = *ok && step;
        return out.section(QLatin1Char(' '), -1).toInt();
    }
    bool prepare()
    {
        bool ok = QDir().mkpath(workDir) && QDir().mkpath(dirX) && QDir().mkpath(dirY)
            && QDir().mkpath(QFileInfo(parametersDb).path());
        for (const QStringList& args : {QStringList{QStringLiteral("create-parameters"), parametersDb},
                                        QStringList{QStringLiteral("create-personal"), dbX},
                                        QStringList{QStringLiteral("create-personal"), dbY}}) {
            bool step = false;
            dbtool(args, &step);
            ok = ok && step;
        }
        personA = add(dbX, QStringLiteral("Person A"), &ok);
        personB = add(dbX, QStringLiteral("Person B"), &ok);
        const qint32 otherA = add(dbY, QStringLiteral("Other A"), &ok);
        const qint32 otherB = add(dbY, QStringLiteral("Other B"), &ok);
        return ok && personA > 0 && personB > 0 && otherA == personA && otherB == personB;
    }
    QString count(const QString& db, const QString& table) const
    {
        return CipherFixture::rows(db, QStringLiteral("SELECT count(*) FROM %1;").arg(table)).value(0);
    }
};

} // namespace

class TestMeasurementFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void reportsBelongToTheirPersonAndDatabase();
    void failedStartEndsTheFinishedMeasurement();
    void deviceBackOnItsPathAfterACancelledMeasurement();
    void silentDeviceStopsTheCountdown();

private:
    bool startSession(SessionFixture& s, Site& site, const QStringList& simulatorArgs = {});
    static bool setDb(SessionFixture& s, const QString& dir);
    // The next packet that is not a progress tick.
    static std::optional<Packet> nextBesidesTicks(SessionFixture& s, int timeoutMs = 15000);
    // Runs the measurement to its end; the remaining values seen, where -1 and
    // -2 stand for a correctness answer of 0 and 1.
    static QList<qint32> runToEnd(SessionFixture& s, int askCorrectnessAfterStalls = 0);
    static bool save(SessionFixture& s, status_codes expected, int* progressPackets = nullptr);
};

void TestMeasurementFaults::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty())
        QFAIL("the sqlcipher shell is needed (scripts/install-deps.sh installs it)");
}

bool TestMeasurementFaults::setDb(SessionFixture& s, const QString& dir)
{
    return s.frontend.send(QByteArray(1, static_cast<char>(opcodes::set_db)) + dir.toUtf8());
}

bool TestMeasurementFaults::startSession(SessionFixture& s, Site& site, const QStringList& simulatorArgs)
{
    if (!site.prepare()) {
        qWarning("could not prepare the databases");
        return false;
    }
    return s.launchReadyToMeasure(site.workDir, site.dirX, simulatorArgs);
}

std::optional<Packet> TestMeasurementFaults::nextBesidesTicks(SessionFixture& s, int timeoutMs)
{
    std::optional<Packet> packet;
    while ((packet = s.frontend.next(timeoutMs)) && packet->opcode == opcodes::state_measure) {
    }
    return packet;
}

QList<qint32> TestMeasurementFaults::runToEnd(SessionFixture& s, int askCorrectnessAfterStalls)
{
    QList<qint32> seen;
    int stalls = 0;
    bool asked = false;
    while (auto packet = s.frontend.next(10000)) {
        if (packet->opcode == opcodes::state_measure) {
            stalls = (!seen.isEmpty() && seen.last() == packet->payload) ? stalls + 1 : 0;
            seen << packet->payload;
            if (askCorrectnessAfterStalls > 0 && !asked && stalls == askCorrectnessAfterStalls) {
                s.frontend.send(makePacket(opcodes::correctness_measure, 0));
                asked = true;
            }
        } else if (packet->opcode == opcodes::correctness_measure) {
            seen << -packet->payload - 1;
        } else if (packet->opcode == opcodes::end_measure
                   && packet->payload == code(status_codes::measurement_finished)) {
            return seen;
        } else {
            qWarning("unexpected %s", qPrintable(FrontendClient::describe(*packet)));
            return {};
        }
    }
    return {};
}

bool TestMeasurementFaults::save(SessionFixture& s, status_codes expected, int* progressPackets)
{
    if (!s.frontend.send(makePacket(opcodes::save_measure, 1)))
        return false;
    int progress = 0;
    std::optional<Packet> packet;
    while ((packet = s.frontend.next(20000)) && packet->opcode == opcodes::saving_progress)
        ++progress;
    if (progressPackets)
        *progressPackets = progress;
    if (!packet || packet->opcode != opcodes::save_measure || packet->payload != code(expected)) {
        qWarning("save: expected %d, got %s", code(expected),
                 packet ? qPrintable(FrontendClient::describe(*packet)) : "nothing");
        return false;
    }
    return true;
}

void TestMeasurementFaults::reportsBelongToTheirPersonAndDatabase()
{
    SessionFixture s;
    Site site;
    QVERIFY(startSession(s, site));

    // A runs to its end and is left unsaved.
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, site.personA)));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    QVERIFY(!runToEnd(s).isEmpty());

    // B starts: A can no longer be saved, and nothing is saved while B runs.
    // The frontend names folder Y meanwhile; B still belongs to X.
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, site.personB)));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    QVERIFY(setDb(s, site.dirY));
    auto packet = nextBesidesTicks(s);
    QVERIFY(packet && packet->opcode == opcodes::set_db);
    QTest::qWait(2000);
    QVERIFY(s.frontend.send(makePacket(opcodes::save_measure, 1)));
    packet = nextBesidesTicks(s);
    QVERIFY(packet.has_value());
    QCOMPARE(packet->opcode, opcodes::save_measure);
    QCOMPARE(packet->payload, code(status_codes::measurement_not_started));
    QCOMPARE(site.count(site.dbX, QStringLiteral("Reports")), QStringLiteral("0"));
    QVERIFY(!runToEnd(s).isEmpty());

    // The device goes away before the save: reported, but B stays saveable.
    s.simulator.stop();
    QVERIFY(s.expect(opcodes::error, code(status_codes::device_error)));
    int progress = 0;
    QVERIFY(save(s, status_codes::measurement_saved, &progress));
    QVERIFY(save(s, status_codes::measurement_not_started));

    // One report, B's, in B's database with all its results; none in Y.
    const QStringList reports = CipherFixture::rows(site.dbX, QStringLiteral("SELECT id, personid FROM Reports;"));
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().section(QLatin1Char('|'), 1), QString::number(site.personB));
    const QString results = CipherFixture::rows(
        site.dbX, QStringLiteral("SELECT count(*) FROM Results WHERE reportid = %1;")
                      .arg(reports.first().section(QLatin1Char('|'), 0, 0))).value(0);
    QCOMPARE(results.toInt(), progress);
    QCOMPARE(site.count(site.dbY, QStringLiteral("Reports")), QStringLiteral("0"));
    QCOMPARE(site.count(site.dbY, QStringLiteral("Results")), QStringLiteral("0"));
}

void TestMeasurementFaults::failedStartEndsTheFinishedMeasurement()
{
    SessionFixture s;
    Site site;
    QVERIFY(startSession(s, site));
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, site.personA)));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    QVERIFY(!runToEnd(s).isEmpty());

    // The device goes; a start for B loads B and then fails. A is over.
    s.simulator.stop();
    QVERIFY(s.expect(opcodes::error, code(status_codes::device_error)));
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, site.personB)));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_calibration_error)));
    QVERIFY(save(s, status_codes::measurement_not_started));

    // Re-opening a device that is still absent: the reply alone, once.
    QVERIFY(s.frontend.send(makePacket(opcodes::initialization, 0)));
    QVERIFY(s.expect(opcodes::initialization, code(status_codes::device_not_connected), 20000));
    QVERIFY(s.silentFor(1500));
    QVERIFY(s.program.waitForLog(QStringLiteral("Cannot open the device."), 5000));
    QCOMPARE(s.program.logText().count(QStringLiteral("Device has been interrupted")), 1);
    QCOMPARE(site.count(site.dbX, QStringLiteral("Reports")), QStringLiteral("0"));
}

void TestMeasurementFaults::deviceBackOnItsPathAfterACancelledMeasurement()
{
    SessionFixture s;
    Site site;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyANALYZER"));
    QVERIFY(startSession(s, site, {QStringLiteral("--link"), link, QStringLiteral("--unplug-after"),
                                   QStringLiteral("9000"), QStringLiteral("--replug-after"), QStringLiteral("4000")}));
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, site.personA)));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    // The line goes mid-measurement: reported once, the measurement ends.
    auto packet = nextBesidesTicks(s);
    QVERIFY(packet.has_value());
    QCOMPARE(packet->opcode, opcodes::error);
    QCOMPARE(packet->payload, code(status_codes::device_error));
    QVERIFY(s.silentFor(1200));

    // Asked while nothing is at the path; answered once it is back there.
    QVERIFY(s.frontend.send(makePacket(opcodes::initialization, 0)));
    QVERIFY(s.expect(opcodes::initialization, code(status_codes::device_initialized), 20000));

    // The new start's reply comes first, then one packet per tick.
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, site.personA)));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    for (qint32 remaining = 39500; remaining >= 37000; remaining -= 500)
        QVERIFY(s.expect(opcodes::state_measure, remaining, 2000));
    QCOMPARE(s.program.logText().count(QStringLiteral("Device has been interrupted")), 1);
}

void TestMeasurementFaults::silentDeviceStopsTheCountdown()
{
    SessionFixture s;
    Site site;
    QVERIFY(startSession(s, site, {QStringLiteral("--silent-after"), QStringLiteral("5000"),
                                   QStringLiteral("--silent-for"), QStringLiteral("4000")}));
    QVERIFY(s.frontend.send(makePacket(opcodes::start_measure, site.personA)));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    const QList<qint32> seen = runToEnd(s, 3);

    // Asked while the countdown stood still: not measuring correctly.
    QVERIFY(seen.contains(-1));
    QVERIFY(!seen.contains(-2));
    QList<qint32> ticks;
    int longestStall = 0;
    int stall = 0;
    for (qint32 v : seen) {
        if (v < 0)
            continue;
        stall = (!ticks.isEmpty() && ticks.last() == v) ? stall + 1 : 0;
        longestStall = std::max(longestStall, stall);
        ticks << v;
    }
    // Four silent seconds, less the one-second bound: at least five ticks
    // (2.5 s) stand still; then every value down to 500 still comes.
    QVERIFY2(longestStall >= 5 && longestStall <= 8, qPrintable(QString::number(longestStall)));
    QCOMPARE(QSet<qint32>(ticks.begin(), ticks.end()).size(), 79);
    QCOMPARE(ticks.last(), 500);
    QVERIFY(s.program.waitForLog(QStringLiteral("Data frames arrive again"), 1000));
}

QTEST_GUILESS_MAIN(TestMeasurementFaults)
#include "tst_measurementfaults.moc"
