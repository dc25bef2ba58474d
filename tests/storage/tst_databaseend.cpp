// The database singleton ends before the application object, and any use after
// that fails cleanly, without touching Qt's connection registry.
#include "cipherfixture.h"
#include "config/settings.h"
#include "storage/database.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

namespace {
QStringList qtWarnings;
void keepWarnings(QtMsgType, const QMessageLogContext&, const QString& text)
{
    qtWarnings << text;
}
} // namespace

class TestDatabaseEnd : public QObject {
    Q_OBJECT
private slots:
    void endsWithTheApplication();
};

// The program ends it itself (Database::endAll); the application's
// destruction is the backstop shown here.
void TestDatabaseEnd::endsWithTheApplication()
{
    QTemporaryDir dir;
    int argc = 1;
    char name[] = "tst_databaseend";
    char* argv[] = {name, nullptr};
    auto app = std::make_unique<QCoreApplication>(argc, argv);
    QVERIFY(CipherFixture::createPersonal(dir.filePath(QStringLiteral("personal.db"))));
    Settings::instance().setDynamicDbPath(dir.path());
    QVERIFY(Database::instance().personalOpen());
    QVERIFY(Database::instance().createNewReport(QStringLiteral("2025-01-01_00-00-00"), 1));
    QCOMPARE(QSqlDatabase::connectionNames().size(), 2);
    app.reset();

    qInstallMessageHandler(keepWarnings);
    Database& db = Database::instance();
    QVERIFY(!db.personalOpen());
    QVERIFY(!db.createNewReport(QStringLiteral("2025-01-01_00-00-01"), 1));
    QCOMPARE(db.personalErrorText(), QStringLiteral("database access has ended"));
    QCOMPARE(db.personValues(QStringLiteral("select name from Persons")), QStringList(9, QString()));
    QVERIFY(!db.readParameters(false).has_value());
    QVERIFY(!db.beginTransaction(Database::personalDirectory()));
    QVERIFY(!db.updateReportScore(QStringLiteral("1"), 10));
    db.reopen();
    QVERIFY(!db.personalOpen());
    qInstallMessageHandler(nullptr);
    QCOMPARE(qtWarnings, QStringList());
}

QTEST_APPLESS_MAIN(TestDatabaseEnd)
#include "tst_databaseend.moc"
