// Other instances are found by executable name in any letter case, never the
// current process, and ended the platform's hardest way (exit status 9 where
// the platform lets us choose it, SIGKILL on Linux).
#include "processreaper.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestProcessReaper : public QObject {
    Q_OBJECT
private slots:
    void findsAndEnds_data();
    void findsAndEnds();
    void neverItself();
};

namespace {
// A program that waits long enough, and the arguments that make it wait.
std::pair<QString, QStringList> sleeper()
{
#if defined(Q_OS_WIN)
    return {QStandardPaths::findExecutable(QStringLiteral("ping")), {"-n", "60", "127.0.0.1"}};
#else
    return {QStandardPaths::findExecutable(QStringLiteral("sleep")), {"60"}};
#endif
}
} // namespace

void TestProcessReaper::findsAndEnds_data()
{
    QTest::addColumn<QString>("copyName");
    QTest::addColumn<QString>("searched");
    QTest::addColumn<bool>("found");
    QTest::newRow("same name") << "UlvexReapTarget.exe" << "UlvexReapTarget.exe" << true;
    QTest::newRow("other letter case") << "ULVEXREAPTARGET.EXE" << "ulvexreaptarget.exe" << true;
    QTest::newRow("prefix only") << "UlvexReapTarget2.exe" << "UlvexReapTarget.exe" << false;
    QTest::newRow("longer name searched") << "UlvexReap.exe" << "UlvexReapTarget.exe" << false;
}

void TestProcessReaper::findsAndEnds()
{
    QFETCH(QString, copyName);
    QFETCH(QString, searched);
    QFETCH(bool, found);
    const auto [program, arguments] = sleeper();
    QVERIFY(!program.isEmpty());
    QTemporaryDir dir;
    const QString copy = dir.filePath(copyName);
    QVERIFY(QFile::copy(program, copy));
    QProcess target;
    target.start(copy, arguments);
    QVERIFY(target.waitForStarted());

    const QList<qint64> pids = ProcessReaper::findByName(searched);
    QCOMPARE(pids.contains(target.processId()), found);
    QCOMPARE(ProcessReaper::terminateOthers(searched), found ? 1 : 0);
    QCOMPARE(target.waitForFinished(found ? 5000 : 200), found);
    if (found) {
#if defined(Q_OS_WIN)
        QCOMPARE(target.exitStatus(), QProcess::NormalExit);
        QCOMPARE(target.exitCode(), int(ProcessReaper::exitStatus));
#else
        QCOMPARE(target.exitStatus(), QProcess::CrashExit); // killed by SIGKILL, signal 9
#endif
    }
    target.kill();
    target.waitForFinished();
}

void TestProcessReaper::neverItself()
{
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QVERIFY(!ProcessReaper::findByName(self).contains(QCoreApplication::applicationPid()));
    QVERIFY(!ProcessReaper::findByName(self.toUpper()).contains(QCoreApplication::applicationPid()));
}

QTEST_GUILESS_MAIN(TestProcessReaper)
#include "tst_processreaper.moc"
