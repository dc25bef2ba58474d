// Device faults around a measurement that only the real program shows:
// the simulator on a pseudo-terminal that goes silent, or goes away and
// comes back on its path. Session sequences run in-process (tst_measurementflow).
#include "cipherfixture.h"
#include "twofoldersite.h"
#include "sessionfixture.h"
#include "testtools.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestMeasurementFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void deviceBackOnItsPathAfterACancelledMeasurement();
    void silentDeviceStopsTheCountdown();

private:
    bool startSession(SessionFixture& s, TwoFolderSite& site, const QStringList& simulatorArgs = {});
    // The next packet that is not a progress tick.
    static std::optional<Packet> nextBesidesTicks(SessionFixture& s, int timeoutMs = 15000);
    // Runs the measurement to its end; the remaining values seen, where -1 and
    // -2 stand for a correctness answer of 0 and 1.
    static QList<qint32> runToEnd(SessionFixture& s, int askCorrectnessAfterStalls = 0);
};

void TestMeasurementFaults::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty())
        QFAIL("the sqlcipher shell is needed (scripts/install-deps.sh installs it)");
}

bool TestMeasurementFaults::startSession(SessionFixture& s, TwoFolderSite& site, const QStringList& simulatorArgs)
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
    int stalls = 0;
    bool asked = false;
    return runMeasurementToEnd(s.frontend, 10000, [&](const QList<qint32>& seen) {
        stalls = (seen.size() > 1 && seen.at(seen.size() - 2) == seen.last()) ? stalls + 1 : 0;
        if (askCorrectnessAfterStalls > 0 && !asked && stalls == askCorrectnessAfterStalls) {
            s.frontend.send(makePacket(opcodes::correctness_measure, 0));
            asked = true;
        }
    });
}

void TestMeasurementFaults::deviceBackOnItsPathAfterACancelledMeasurement()
{
    SessionFixture s;
    TwoFolderSite site;
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
    TwoFolderSite site;
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
