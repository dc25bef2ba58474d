#include "config/runguard.h"
#include "testpaths.h"

#include <QProcess>
#include <QTest>
#include <QUuid>
#include <memory>

namespace {

// A guard held by another real process, driven over its standard streams.
class GuardProcess {
public:
    explicit GuardProcess(const QString& name)
    {
        process.setProgram(testpaths::tool(QStringLiteral("runguard_helper")));
        process.setArguments({name});
        process.start();
    }
    ~GuardProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    QString readLine()
    {
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(5000))
                return QStringLiteral("<timeout>");
        }
        return QString::fromUtf8(process.readLine()).trimmed();
    }
    QString ask(const char* command)
    {
        process.write(command);
        process.write("\n");
        return readLine();
    }
    QProcess process;
};

QString uniqueName()
{
    return QStringLiteral("ulvex-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

class TestRunGuard : public QObject {
    Q_OBJECT
private slots:
    void keysAreStableHashes();
    void holderIsNotAnother();
    void secondTryOnHolderFails();
    void secondProcessIsRefusedUntilRelease();
    void nameIsFreedWhenHolderIsKilled();
    void onlyOneOfSeveralProcessesWins();
};

void TestRunGuard::keysAreStableHashes()
{
    const QString a = RunGuard::generateKeyHash(QStringLiteral("Q7#mR2&vX9!k"), QStringLiteral("_memLockKey"));
    QCOMPARE(a.size(), 40);
    QCOMPARE(a, a.toLower());
    QVERIFY(!a.contains(QStringLiteral("Q7")));
    QCOMPARE(a, RunGuard::generateKeyHash(QStringLiteral("Q7#mR2&vX9!k"), QStringLiteral("_memLockKey")));
    QVERIFY(a != RunGuard::generateKeyHash(QStringLiteral("Q7#mR2&vX9!k"), QStringLiteral("_sharedmemKey")));
    QVERIFY(a != RunGuard::generateKeyHash(QStringLiteral("other"), QStringLiteral("_memLockKey")));
    // SHA-1 of the UTF-8 bytes of name and suffix, as computed independently.
    QCOMPARE(RunGuard::generateKeyHash(QStringLiteral("abc"), QString()),
             QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

void TestRunGuard::holderIsNotAnother()
{
    RunGuard guard(uniqueName());
    QVERIFY(!guard.isAnotherRunning());
    QVERIFY(guard.tryToRun());
    QVERIFY(!guard.isAnotherRunning());
}

void TestRunGuard::secondTryOnHolderFails()
{
#if defined(Q_OS_WIN)
    QSKIP("a second try on the holder's own guard succeeds on Windows (the process holds the segment already); "
          "the program tries once");
#endif
    const QString name = uniqueName();
    RunGuard guard(name);
    QVERIFY(guard.tryToRun());
    QVERIFY(!guard.tryToRun()); // the failure path detaches: the guard is free again
    RunGuard other(name);
    QVERIFY(other.tryToRun());
}

void TestRunGuard::secondProcessIsRefusedUntilRelease()
{
    const QString name = uniqueName();
    GuardProcess first(name);
    QCOMPARE(first.readLine(), QStringLiteral("held"));
    GuardProcess second(name);
    QCOMPARE(second.readLine(), QStringLiteral("busy"));
    QCOMPARE(second.ask("another"), QStringLiteral("yes"));
    QCOMPARE(first.ask("another"), QStringLiteral("no"));

    QCOMPARE(first.ask("release"), QStringLiteral("released"));
    QCOMPARE(second.ask("another"), QStringLiteral("no"));
    QCOMPARE(second.ask("try"), QStringLiteral("held"));
    QCOMPARE(first.ask("try"), QStringLiteral("busy"));
}

void TestRunGuard::nameIsFreedWhenHolderIsKilled()
{
    const QString name = uniqueName();
    auto holder = std::make_unique<GuardProcess>(name);
    QCOMPARE(holder->readLine(), QStringLiteral("held"));
    holder->process.kill();
    QVERIFY(holder->process.waitForFinished());
    holder.reset();

    // A crashed holder never detached; a new guard still takes the name.
    RunGuard guard(name);
    QVERIFY(!guard.isAnotherRunning());
    QVERIFY(guard.tryToRun());
}

void TestRunGuard::onlyOneOfSeveralProcessesWins()
{
    const QString name = uniqueName();
    std::vector<std::unique_ptr<GuardProcess>> processes;
    for (int i = 0; i < 4; ++i)
        processes.push_back(std::make_unique<GuardProcess>(name));
    int held = 0;
    for (auto& p : processes) {
        const QString line = p->readLine();
        QVERIFY2(line == QLatin1String("held") || line == QLatin1String("busy"), qPrintable(line));
        held += line == QLatin1String("held");
    }
    QCOMPARE(held, 1);
}

QTEST_GUILESS_MAIN(TestRunGuard)
#include "tst_runguard.moc"
