// Measurement sequences through the whole session in this process (server,
// session thread, handlers, measurement manager) against a test device and a
// short measurement; the encrypted databases are checked with the sqlcipher
// shell.
#include "cipherfixture.h"
#include "twofoldersite.h"
#include "inprocesssession.h"
#include "testtools.h"

#include <QDir>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

namespace {

// A greeted, initialised session whose personal folder is X.
struct Measuring : InProcessSession<TwoFolderSite> {
    bool start() { return site.prepare() && enter(site.dirX); }
    bool setDb(const QString& dir)
    {
        return frontend.send(QByteArray(1, static_cast<char>(opcodes::set_db)) + dir.toUtf8());
    }
    std::optional<Packet> nextBesidesTicks()
    {
        std::optional<Packet> packet;
        while ((packet = frontend.next(5000)) && packet->opcode == opcodes::state_measure) {
        }
        return packet;
    }
    // Starts a measurement for `person` and runs it to its end.
    bool measure(qint32 person)
    {
        return send(opcodes::start_measure, person)
            && expect(opcodes::start_measure, code(status_codes::measurement_started)) && !runToEnd().isEmpty();
    }
    // Runs the measurement to its end; the remaining values seen, where -1
    // and -2 stand for a correctness answer of 0 and 1. `onTick` sees each.
    QList<qint32> runToEnd(const std::function<void(const QList<qint32>&)>& onTick = {})
    {
        return runMeasurementToEnd(frontend, 5000, onTick);
    }
    bool save(status_codes expected, int* progressPackets = nullptr)
    {
        if (!send(opcodes::save_measure, 1))
            return false;
        int progress = 0;
        std::optional<Packet> packet;
        while ((packet = frontend.next(20000)) && packet->opcode == opcodes::saving_progress)
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
    void unplug()
    {
        backend.onSessionThread([this] {
            backend.device()->present = false;
            backend.device()->unplug();
        });
    }
};

} // namespace

class TestMeasurementFlow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startRefusals();
    void requestsDuringAFailingCalibrationWait();
    void unplugDuringMeasurementEndsIt();
    void reportsBelongToTheirPersonAndDatabase();
    void failedStartEndsTheFinishedMeasurement();
    void discardWritesNothingAndANewFolderCountsFromTheNextStart();
    void incorrectTicksStopTheCountdown();
};

void TestMeasurementFlow::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty())
        QFAIL("the sqlcipher shell is needed (scripts/install-deps.sh installs it)");
}

void TestMeasurementFlow::startRefusals()
{
    Measuring s;
    QVERIFY(s.start());
    QVERIFY(s.send(opcodes::correctness_measure, 0));
    QVERIFY(s.expect(opcodes::correctness_measure, code(status_codes::measurement_not_started)));
    QVERIFY(s.send(opcodes::save_measure, 1));
    QVERIFY(s.expect(opcodes::save_measure, code(status_codes::measurement_not_started)));
    QVERIFY(s.send(opcodes::start_measure, 999999));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_not_started)));
    QVERIFY(s.backend.log.contains(QStringLiteral("Cannot find user. Query result is empty.")));
}

void TestMeasurementFlow::requestsDuringAFailingCalibrationWait()
{
    Measuring s;
    s.backend.configure([](TestDevice& device) {
        device.calibrates = false;
        device.operationMs = 400;
    });
    QVERIFY(s.start());
    QVERIFY(s.send(opcodes::start_measure, s.site.personA));
    QTest::qWait(150);
    // Arrives while the calibration waits: answered after the start reply.
    QVERIFY(s.send(opcodes::device_state, 0));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_calibration_error)));
    QVERIFY(s.expect(opcodes::device_state, code(status_codes::device_connected)));
}

void TestMeasurementFlow::unplugDuringMeasurementEndsIt()
{
    Measuring s;
    QVERIFY(s.start());
    QVERIFY(s.send(opcodes::start_measure, s.site.personA));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    std::optional<Packet> packet;
    for (int ticks = 0; (packet = s.frontend.next(5000)) && packet->opcode == opcodes::state_measure;) {
        if (++ticks == 5)
            s.unplug();
    }
    QVERIFY(packet.has_value());
    QCOMPARE(packet->opcode, opcodes::error);
    QCOMPARE(packet->payload, code(status_codes::device_error));
    QVERIFY(!s.frontend.next(300).has_value()); // no more ticks
    // A new start is not refused as "in progress"; the device is simply gone.
    QVERIFY(s.send(opcodes::start_measure, s.site.personA));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_calibration_error)));
    QVERIFY(s.send(opcodes::save_measure, 1));
    QVERIFY(s.expect(opcodes::save_measure, code(status_codes::measurement_not_started)));
}

void TestMeasurementFlow::reportsBelongToTheirPersonAndDatabase()
{
    Measuring s;
    QVERIFY(s.start());
    TwoFolderSite& site = s.site;

    // A runs to its end and is left unsaved.
    QVERIFY(s.measure(site.personA));

    // B starts: A can no longer be saved, and nothing is saved while B runs.
    // The frontend names folder Y meanwhile; B still belongs to X.
    QVERIFY(s.send(opcodes::start_measure, site.personB));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    QVERIFY(s.setDb(site.dirY));
    auto packet = s.nextBesidesTicks();
    QVERIFY(packet && packet->opcode == opcodes::set_db);
    QVERIFY(s.send(opcodes::save_measure, 1));
    packet = s.nextBesidesTicks();
    QVERIFY(packet.has_value());
    QCOMPARE(packet->opcode, opcodes::save_measure);
    QCOMPARE(packet->payload, code(status_codes::measurement_not_started));
    QCOMPARE(site.count(site.dbX, QStringLiteral("Reports")), QStringLiteral("0"));
    QVERIFY(!s.runToEnd().isEmpty());

    // The device goes away before the save: reported, but B stays saveable.
    s.unplug();
    QVERIFY(s.expect(opcodes::error, code(status_codes::device_error)));
    int progress = 0;
    QVERIFY(s.save(status_codes::measurement_saved, &progress));
    QVERIFY(s.save(status_codes::measurement_not_started));

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

void TestMeasurementFlow::failedStartEndsTheFinishedMeasurement()
{
    Measuring s;
    QVERIFY(s.start());
    QVERIFY(s.measure(s.site.personA));

    // The device goes; a start for B loads B and then fails. A is over.
    s.unplug();
    QVERIFY(s.expect(opcodes::error, code(status_codes::device_error)));
    QVERIFY(s.send(opcodes::start_measure, s.site.personB));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_calibration_error)));
    QVERIFY(s.save(status_codes::measurement_not_started));

    // Re-opening a device that is still absent: the reply alone, once.
    QVERIFY(s.send(opcodes::initialization, 0));
    QVERIFY(s.expect(opcodes::initialization, code(status_codes::device_not_connected)));
    QVERIFY(!s.frontend.next(300).has_value());
    QCOMPARE(s.backend.log.count(QStringLiteral("Device has been interrupted")), 1);
    QCOMPARE(s.site.count(s.site.dbX, QStringLiteral("Reports")), QStringLiteral("0"));
}

void TestMeasurementFlow::discardWritesNothingAndANewFolderCountsFromTheNextStart()
{
    Measuring s;
    QVERIFY(s.start());
    TwoFolderSite& site = s.site;

    // Discarded: nothing is written, and nothing is left to save.
    QVERIFY(s.measure(site.personA));
    QVERIFY(s.send(opcodes::save_measure, 0));
    QVERIFY(s.expect(opcodes::save_measure, code(status_codes::measurement_discarded)));
    QVERIFY(s.save(status_codes::measurement_not_started));
    QCOMPARE(site.count(site.dbX, QStringLiteral("Reports")), QStringLiteral("0"));

    // The frontend moves its database to a folder without tables
    // mid-measurement. That folder counts from the next measurement on: this
    // one is saved where its person came from.
    QVERIFY(s.send(opcodes::start_measure, site.personA));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    const QString emptyDir = site.root.filePath(QStringLiteral("moved"));
    QVERIFY(QDir().mkpath(emptyDir));
    QVERIFY(s.setDb(emptyDir));
    const auto packet = s.nextBesidesTicks();
    QVERIFY(packet && packet->opcode == opcodes::set_db);
    QCOMPARE(packet->payload, code(status_codes::database_dynamic_path));
    QVERIFY(!s.runToEnd().isEmpty());
    int progress = 0;
    QVERIFY(s.save(status_codes::measurement_saved, &progress));
    QCOMPARE(site.count(site.dbX, QStringLiteral("Reports")), QStringLiteral("1"));
    QCOMPARE(site.count(site.dbX, QStringLiteral("Results")), QString::number(progress));
    // The next start looks its person up in the new folder, which has none.
    QVERIFY(s.send(opcodes::start_measure, site.personA));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_not_started)));
}

void TestMeasurementFlow::incorrectTicksStopTheCountdown()
{
    // 20 ticks of 20 ms; ten of them the device does not measure correctly.
    Measuring s;
    QVERIFY(s.start());
    QVERIFY(s.send(opcodes::start_measure, s.site.personA));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_started)));
    bool asked = false;
    const QList<qint32> seen = s.runToEnd([&](const QList<qint32>& all) {
        QList<qint32> ticks;
        for (qint32 v : all) {
            if (v >= 0)
                ticks << v;
        }
        if (all.last() < 0)
            return;
        if (ticks.size() == 5)
            s.backend.onSessionThread([&] { s.backend.device()->setCorrect(false); });
        int stall = 0;
        while (stall + 1 < ticks.size() && ticks.at(ticks.size() - 2 - stall) == ticks.last())
            ++stall;
        if (stall == 3 && !asked) {
            asked = true;
            s.send(opcodes::correctness_measure, 0);
        }
        if (stall == 10)
            s.backend.onSessionThread([&] { s.backend.device()->setCorrect(true); });
    });
    // Asked while the countdown stood still: not measuring correctly.
    QVERIFY(seen.contains(-1));
    QVERIFY(!seen.contains(-2));
    QList<qint32> ticks;
    for (qint32 v : seen) {
        if (v >= 0)
            ticks << v;
    }
    // Every value from 380 down to 20 still comes, each once it counts.
    QCOMPARE(QSet<qint32>(ticks.begin(), ticks.end()).size(), 19);
    QCOMPARE(ticks.last(), 20);
    QVERIFY(ticks.size() >= 19 + 9);
}

QTEST_GUILESS_MAIN(TestMeasurementFlow)
#include "tst_measurementflow.moc"
