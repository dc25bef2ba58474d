// Saving through the whole session in this process (server, session thread,
// handlers, measurement manager) against a test device and a short
// measurement, into encrypted files that the sqlcipher shell checks: the
// personal database stays writable for the frontend while a report is paced,
// and an unreadable reference is a failure.
#include "cipherfixture.h"
#include "inprocesssession.h"
#include "measurementsite.h"
#include "testtools.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Site : MeasurementSite {
    // `reference`: "good" (40 parameters), "wrong key" or "missing".
    bool prepare(const QString& reference)
    {
        if (!makeFolders())
            return false;
        bool ok = true;
        if (reference == QLatin1String("good")) {
            QList<CipherFixture::Parameter> list;
            for (quint32 id = 1; id <= 40; ++id)
                list.append({id, 1.0 * id, 2.0 * id, 1 + id % 5});
            ok = CipherFixture::createParameters(parametersDb, list);
        } else if (reference == QLatin1String("wrong key")) {
            ok = CipherFixture::cliWithKey(parametersDb, QStringLiteral("not the key"), QStringLiteral("CREATE TABLE t (x);"));
        }
        personId = CipherFixture::createPersonal(personalDb)
            ? CipherFixture::addPerson(personalDb, "Ada", "Female", "1980-05-17", "168", "61")
            : 0;
        return ok && personId > 0;
    }
    QString count(const QString& table) const
    {
        return CipherFixture::rows(personalDb, QStringLiteral("SELECT count(*) FROM %1;").arg(table)).value(0);
    }
};

// A greeted, initialised session whose personal folder is the site's.
struct Saving : InProcessSession<Site> {
    bool start(const QString& reference) { return site.prepare(reference) && enter(site.personalDir); }
    bool runToEnd()
    {
        if (!send(opcodes::start_measure, static_cast<qint32>(site.personId))
            || !expect(opcodes::start_measure, code(status_codes::measurement_started)))
            return false;
        while (auto packet = frontend.next(5000)) {
            if (packet->opcode == opcodes::end_measure)
                return packet->payload == code(status_codes::measurement_finished);
            if (packet->opcode != opcodes::state_measure)
                return false;
        }
        return false;
    }
};

} // namespace

class TestSaveSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void unreadableReferenceRefusesStart_data();
    void unreadableReferenceRefusesStart();
    void saveLeavesDatabaseWritableAndFailsWhole();
};

void TestSaveSession::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty())
        QFAIL("the sqlcipher shell is needed (scripts/install-deps.sh installs it)");
}

void TestSaveSession::unreadableReferenceRefusesStart_data()
{
    QTest::addColumn<QString>("reference");
    QTest::newRow("parameters.db missing") << "missing";
    QTest::newRow("parameters.db keyed wrongly") << "wrong key";
}

// Refused before the 40 s are spent, not after.
void TestSaveSession::unreadableReferenceRefusesStart()
{
    QFETCH(QString, reference);
    Saving s;
    const Site& site = s.site;
    QVERIFY(s.start(reference));
    QVERIFY(s.send(opcodes::start_measure, static_cast<qint32>(site.personId)));
    QVERIFY(s.expect(opcodes::start_measure, code(status_codes::measurement_not_started)));
    QVERIFY(s.backend.log.containsText(QStringLiteral("Measurement not started: the reference parameters cannot be read")));
    QVERIFY(s.frontend.send(makePacket(opcodes::save_measure, 1)));
    QVERIFY(s.expect(opcodes::save_measure, code(status_codes::measurement_not_started)));
    QCOMPARE(site.count(QStringLiteral("Reports")), QStringLiteral("0"));
}

void TestSaveSession::saveLeavesDatabaseWritableAndFailsWhole()
{
    Saving s;
    const Site& site = s.site;
    QVERIFY(s.start(QStringLiteral("good")));
    QCOMPARE(site.personId, 1U);

    // The shell, which does not wait for locks, writes while the report is paced.
    QVERIFY(s.runToEnd());
    QVERIFY(s.frontend.send(makePacket(opcodes::save_measure, 1)));
    QStringList refused;
    int progress = 0;
    std::optional<Packet> packet;
    while ((packet = s.frontend.next(20000)) && packet->opcode == opcodes::saving_progress) {
        if (++progress % 10 == 5) {
            if (!CipherFixture::cli(site.personalDb, QStringLiteral("UPDATE Persons SET address = 'Street %1' WHERE id = 1;").arg(progress)))
                refused << CipherFixture::lastError().trimmed();
        }
    }
    QVERIFY(packet.has_value());
    QCOMPARE(packet->payload, code(status_codes::measurement_saved));
    QCOMPARE(progress, 40);
    QCOMPARE(refused, QStringList());
    QCOMPARE(site.count(QStringLiteral("Reports")), QStringLiteral("1"));
    QCOMPARE(site.count(QStringLiteral("Results")), QStringLiteral("40"));

    // The reference turns unreadable during the next measurement (overwritten
    // in place): the save fails whole and says so.
    QVERIFY(s.runToEnd());
    QFile reference(site.parametersDb);
    QVERIFY(reference.open(QIODevice::WriteOnly));
    reference.write(QByteArray(8192, '\x5a'));
    reference.close();
    QVERIFY(s.frontend.send(makePacket(opcodes::save_measure, 1)));
    QVERIFY(s.expect(opcodes::save_measure, code(status_codes::measurement_cannot_save)));
    QVERIFY(s.backend.log.containsText(QStringLiteral("The reference parameters cannot be read: ")));
    QCOMPARE(site.count(QStringLiteral("Reports")), QStringLiteral("1"));
    QCOMPARE(site.count(QStringLiteral("Results")), QStringLiteral("40"));

    QVERIFY(s.send(opcodes::exit, 0));
    QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
    QVERIFY(s.backend.waitForEnd());
}

QTEST_GUILESS_MAIN(TestSaveSession)
#include "tst_savesession.moc"
