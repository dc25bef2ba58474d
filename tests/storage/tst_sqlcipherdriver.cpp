#include "cipherfixture.h"
#include "storage/passphrase.h"
#include "storage/sqlcipherdriver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString options = QStringLiteral("QSQLITE_USE_CIPHER=sqlcipher;SQLCIPHER_LEGACY=3");
// SQLITE_NOTADB: SQLite's text for it changed over versions ("file is encrypted
// or is not a database" before 3.45, "file is not a database" since).
const QString notADatabase = QString::number(26);
}

class TestSqlCipherDriver : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void registrationIsIdempotent();
    void cliWritesDriverReads();
    void driverWritesCliReads_data();
    void driverWritesCliReads();
    void wrongKeyIsClearError_data();
    void wrongKeyIsClearError();
    void missingDirectoryFails();
    void readOnlyOption();
    void binding_data();
    void binding();
    void batchInsert();
    void lastInsertId();
    void transactions_data();
    void transactions();
    void statementErrors_data();
    void statementErrors();
    void endlessViewsAreStopped_data();
    void endlessViewsAreStopped();
    void tablesAndRecord();

private:
    QSqlDatabase open(const QString& file, const QString& connectOptions = options,
                      const QString& password = Passphrase::build());
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    int connections = 0;
    // Major version of the SQLCipher library the driver runs on (3 or 4).
    int libraryMajor = 0;
};

QSqlDatabase TestSqlCipherDriver::open(const QString& file, const QString& connectOptions,
                                       const QString& password)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("SQLITECIPHER"),
                                                QStringLiteral("c%1").arg(++connections));
    db.setDatabaseName(file);
    db.setPassword(password);
    db.setConnectOptions(connectOptions);
    db.open();
    return db;
}

void TestSqlCipherDriver::initTestCase()
{
    QVERIFY(dir.isValid());
    SqlCipherDriver::registerDriver();
    QVERIFY(QSqlDatabase::isDriverAvailable(QStringLiteral("SQLITECIPHER")));
    {
        QSqlDatabase db = open(path(QStringLiteral("version.db")));
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("PRAGMA cipher_version")));
        QVERIFY(q.next());
        const QString version = q.value(0).toString(); // e.g. "3.4.1" or "4.6.1 community"
        libraryMajor = version.section(QLatin1Char('.'), 0, 0).toInt();
        QVERIFY2(libraryMajor == 3 || libraryMajor == 4, qPrintable(version));
    }
    cleanup();
}

void TestSqlCipherDriver::cleanup()
{
    for (const QString& name : QSqlDatabase::connectionNames()) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

void TestSqlCipherDriver::registrationIsIdempotent()
{
    SqlCipherDriver::registerDriver();
    SqlCipherDriver::registerDriver();
    QCOMPARE(QSqlDatabase::drivers().count(QStringLiteral("SQLITECIPHER")), 1);
}

void TestSqlCipherDriver::cliWritesDriverReads()
{
    const QString file = path(QStringLiteral("fromcli.db"));
    QVERIFY2(CipherFixture::cli(file, QStringLiteral(
        "CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, value REAL, note TEXT);\n"
        "INSERT INTO t VALUES (1, 'Ärzte ✓', 2.5, NULL);\n"
        "INSERT INTO t VALUES (2, 'plain', -1e3, 'x');")), qPrintable(CipherFixture::lastError()));

    QSqlDatabase db = open(file);
    QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("SELECT id, name, value, note FROM t ORDER BY id")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toLongLong(), 1);
    QCOMPARE(q.value(1).toString(), QStringLiteral("Ärzte ✓"));
    QCOMPARE(q.value(2).toDouble(), 2.5);
    QVERIFY(q.value(3).isNull());
    QVERIFY(q.next());
    QCOMPARE(q.value(2).toDouble(), -1000.0);
    QVERIFY(!q.next());
}

void TestSqlCipherDriver::driverWritesCliReads_data()
{
    QTest::addColumn<QString>("connectOptions");
    QTest::addColumn<int>("format");
    // Without SQLCIPHER_LEGACY the library writes its own default format:
    // version 3 with SQLCipher 3.x, version 4 with 4.x.
    const int libraryFormat = libraryMajor;
    QTest::newRow("cipher options") << options << 3;
    QTest::newRow("no options: library's format") << QString() << libraryFormat;
    QTest::newRow("unknown options ignored: library's format")
        << QStringLiteral("FOO=bar;;=;SQLCIPHER_LEGACY=x") << libraryFormat;
    QTest::newRow("busy timeout") << QStringLiteral("QSQLITE_BUSY_TIMEOUT=100;SQLCIPHER_LEGACY=3") << 3;
}

void TestSqlCipherDriver::driverWritesCliReads()
{
    QFETCH(QString, connectOptions);
    QFETCH(int, format);
    const QString file = path(QStringLiteral("fromdriver-%1.db").arg(connections));
    {
        QSqlDatabase db = open(file, connectOptions);
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT)")));
        QVERIFY(q.prepare(QStringLiteral("INSERT INTO t (name) VALUES (:name)")));
        q.bindValue(QStringLiteral(":name"), QStringLiteral("Grüße"));
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        db.close();
    }
    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(!raw.read(16).startsWith("SQLite format 3"));
    QCOMPARE(CipherFixture::rows(file, QStringLiteral("SELECT id, name FROM t;"), format),
             QStringList{QStringLiteral("1|Grüße")});
    // A 4.x shell reads each format only when told that one: the file is in the
    // stated format. (3.x shells know version 3 only.)
    if (libraryMajor >= 4) {
        QVERIFY(!CipherFixture::cliWithKey(file, Passphrase::build(), QStringLiteral("SELECT * FROM t;"),
                                           nullptr, format == 3 ? 4 : 3));
        QVERIFY2(CipherFixture::lastError().contains(QStringLiteral("not a database")),
                 qPrintable(CipherFixture::lastError()));
    }
    // Without the key the shell cannot read it.
    QVERIFY(!CipherFixture::cliWithKey(file, QString(), QStringLiteral("SELECT * FROM t;")));
    QVERIFY2(CipherFixture::lastError().contains(QStringLiteral("not a database")),
             qPrintable(CipherFixture::lastError()));
}

void TestSqlCipherDriver::wrongKeyIsClearError_data()
{
    QTest::addColumn<QString>("fileKey");
    QTest::addColumn<QString>("openKey");
    QTest::addColumn<bool>("textFile");
    QTest::newRow("wrong key") << Passphrase::build() << QStringLiteral("not the key") << false;
    QTest::newRow("no key for encrypted file") << Passphrase::build() << QString() << false;
    QTest::newRow("key for plain file") << QString() << Passphrase::build() << false;
    QTest::newRow("not a database") << QString() << Passphrase::build() << true;
}

void TestSqlCipherDriver::wrongKeyIsClearError()
{
    QFETCH(QString, fileKey);
    QFETCH(QString, openKey);
    QFETCH(bool, textFile);
    const QString file = path(QStringLiteral("wrong-%1.db").arg(connections));
    if (textFile) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    } else {
        QVERIFY(CipherFixture::cliWithKey(file, fileKey, QStringLiteral("CREATE TABLE t (a);")));
    }
    QSqlDatabase db = open(file, options, openKey);
    QVERIFY(!db.isOpen());
    QVERIFY(db.isOpenError());
    QCOMPARE(db.lastError().type(), QSqlError::ConnectionError);
    QCOMPARE(db.lastError().driverText(),
             QStringLiteral("Cannot open database: wrong key or not an encrypted database"));
    QCOMPARE(db.lastError().nativeErrorCode(), notADatabase);
    QVERIFY2(db.lastError().databaseText().contains(QStringLiteral("not a database")),
             qPrintable(db.lastError().databaseText()));
    QSqlQuery q(db);
    QTest::ignoreMessage(QtWarningMsg, "QSqlQuery::exec: database not open");
    QVERIFY(!q.exec(QStringLiteral("SELECT * FROM t")));
}

void TestSqlCipherDriver::missingDirectoryFails()
{
    QSqlDatabase db = open(path(QStringLiteral("no/such/dir/x.db")));
    QVERIFY(!db.isOpen());
    QCOMPARE(db.lastError().databaseText(), QStringLiteral("unable to open database file"));
}

void TestSqlCipherDriver::readOnlyOption()
{
    const QString file = path(QStringLiteral("readonly.db"));
    QVERIFY(CipherFixture::cli(file, QStringLiteral("CREATE TABLE t (a); INSERT INTO t VALUES (7);")));
    QSqlDatabase db = open(file, options + QStringLiteral(";QSQLITE_OPEN_READONLY"));
    QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("SELECT a FROM t")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 7);
    QVERIFY(!q.exec(QStringLiteral("INSERT INTO t VALUES (8)")));
    QVERIFY(q.lastError().databaseText().contains(QStringLiteral("readonly")));
    QCOMPARE(CipherFixture::rows(file, QStringLiteral("SELECT count(*) FROM t;")), QStringList{"1"});
}

void TestSqlCipherDriver::binding_data()
{
    QTest::addColumn<QString>("insert");
    QTest::addColumn<bool>("named");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QStringList>("expected");
    const QVariantList mixed{QVariant(quint32(4000000000U)), QVariant(QStringLiteral("ü'x")),
                             QVariant(2.25), QVariant(QByteArray("\x00\x01", 2))};
    QTest::newRow("named")
        << QStringLiteral("INSERT INTO b (i, s, d, x) VALUES (:i, :s, :d, :x)") << true << mixed
        << QStringList{"4000000000", "ü'x", "2.25", "0001"};
    QTest::newRow("positional")
        << QStringLiteral("INSERT INTO b (i, s, d, x) VALUES (?, ?, ?, ?)") << false << mixed
        << QStringList{"4000000000", "ü'x", "2.25", "0001"};
    QTest::newRow("named out of column order")
        << QStringLiteral("INSERT INTO b (x, d, s, i) VALUES (:x, :d, :s, :i)") << true << mixed
        << QStringList{"4000000000", "ü'x", "2.25", "0001"};
    QTest::newRow("null and bool")
        << QStringLiteral("INSERT INTO b (i, s, d, x) VALUES (?, ?, ?, ?)") << false
        << QVariantList{QVariant(true), QVariant(), QVariant(qint64(-5)), QVariant(QString())}
        << QStringList{"1", "", "-5", ""};
}

void TestSqlCipherDriver::binding()
{
    QFETCH(QString, insert);
    QFETCH(bool, named);
    QFETCH(QVariantList, values);
    QFETCH(QStringList, expected);
    const QString file = path(QStringLiteral("bind-%1.db").arg(connections));
    QSqlDatabase db = open(file);
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("CREATE TABLE b (i, s, d, x)")));
    QVERIFY2(q.prepare(insert), qPrintable(q.lastError().text()));
    const QStringList names{":i", ":s", ":d", ":x"};
    for (int i = 0; i < values.size(); ++i) {
        if (named)
            q.bindValue(names.at(i), values.at(i));
        else
            q.addBindValue(values.at(i));
    }
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    db.close();
    QCOMPARE(CipherFixture::rows(file, QStringLiteral(
                 "SELECT i || '|' || ifnull(s,'') || '|' || d || '|' || ifnull(hex(x),'') FROM b;")),
             QStringList{expected.join(QLatin1Char('|'))});
}

void TestSqlCipherDriver::batchInsert()
{
    const QString file = path(QStringLiteral("batch.db"));
    QSqlDatabase db = open(file);
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("CREATE TABLE r (value TEXT, reportid INTEGER, parameterid INTEGER, scale INTEGER)")));
    QVERIFY(q.prepare(QStringLiteral("insert into r (value, reportid, parameterid, scale) values (?, ?, ?, ?)")));
    QVariantList values, reports, ids, scales;
    for (int i = 0; i < 50; ++i) {
        values << QString::number(i * 1.5, 'f', 3);
        reports << QStringLiteral("9");
        ids << quint32(i + 1);
        scales << qint32(i % 4);
    }
    q.addBindValue(values);
    q.addBindValue(reports);
    q.addBindValue(ids);
    q.addBindValue(scales);
    QVERIFY2(q.execBatch(), qPrintable(q.lastError().text()));
    db.close();
    QCOMPARE(CipherFixture::rows(file, QStringLiteral(
                 "SELECT count(*), sum(parameterid), sum(scale), max(reportid) FROM r;")),
             QStringList{"50|1275|73|9"});
    QCOMPARE(CipherFixture::rows(file, QStringLiteral("SELECT value FROM r WHERE parameterid=3;")),
             QStringList{"3.000"});
}

void TestSqlCipherDriver::lastInsertId()
{
    const QString file = path(QStringLiteral("ids.db"));
    QSqlDatabase db = open(file);
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, a)")));
    QVERIFY(q.exec(QStringLiteral("INSERT INTO t (a) VALUES (1)")));
    const qlonglong first = q.lastInsertId().toLongLong();
    QVERIFY(q.prepare(QStringLiteral("INSERT INTO t (a) VALUES (?)")));
    q.addBindValue(2);
    QVERIFY(q.exec());
    const qlonglong second = q.lastInsertId().toLongLong();
    QCOMPARE(second, first + 1);
    QVERIFY(q.exec(QStringLiteral("SELECT a FROM t")));
    QVERIFY(!q.lastInsertId().isValid());
    db.close();
    QCOMPARE(CipherFixture::rows(file, QStringLiteral("SELECT id FROM t WHERE a=2;")),
             QStringList{QString::number(second)});
}

void TestSqlCipherDriver::transactions_data()
{
    QTest::addColumn<bool>("commit");
    QTest::addColumn<QString>("count");
    QTest::newRow("rollback") << false << QStringLiteral("1");
    QTest::newRow("commit") << true << QStringLiteral("3");
}

void TestSqlCipherDriver::transactions()
{
    QFETCH(bool, commit);
    QFETCH(QString, count);
    const QString file = path(QStringLiteral("tx-%1.db").arg(connections));
    QSqlDatabase db = open(file);
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("CREATE TABLE t (a)")));
    QVERIFY(q.exec(QStringLiteral("INSERT INTO t VALUES (1)")));
    QVERIFY(db.transaction());
    QVERIFY(q.exec(QStringLiteral("INSERT INTO t VALUES (2)")));
    QVERIFY(q.exec(QStringLiteral("INSERT INTO t VALUES (3)")));
    QVERIFY(commit ? db.commit() : db.rollback());
    QVERIFY(!db.rollback()); // nothing left to roll back
    db.close();
    QCOMPARE(CipherFixture::rows(file, QStringLiteral("SELECT count(*) FROM t;")), QStringList{count});
}

void TestSqlCipherDriver::statementErrors_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::newRow("syntax") << QStringLiteral("SELEC 1") << QStringLiteral("near \"SELEC\": syntax error");
    QTest::newRow("missing table") << QStringLiteral("SELECT * FROM nowhere") << QStringLiteral("no such table: nowhere");
    QTest::newRow("two statements") << QStringLiteral("SELECT 1; SELECT 2") << QStringLiteral("SELECT 2");
    QTest::newRow("unbound placeholder") << QStringLiteral("SELECT ?") << QStringLiteral("0 values bound, statement takes 1");
    QTest::newRow("constraint") << QStringLiteral("INSERT INTO t VALUES (NULL)") << QStringLiteral("NOT NULL constraint failed: t.a");
}

void TestSqlCipherDriver::statementErrors()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    QSqlDatabase db = open(path(QStringLiteral("errors-%1.db").arg(connections)));
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("CREATE TABLE t (a NOT NULL)")));
    QVERIFY(!q.exec(sql));
    QCOMPARE(q.lastError().databaseText(), message);
    QVERIFY(q.lastError().type() == QSqlError::StatementError);
}

// A database from a folder the frontend names may hold a recursive view: the
// query comes back with an error instead of eating memory or never ending.
void TestSqlCipherDriver::endlessViewsAreStopped_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("message");
    QTest::newRow("rows without end") << QStringLiteral("SELECT i FROM n") << 60000
                                      << QStringLiteral("more than %1 rows").arg(SqlCipherDriver::maxRows);
    QTest::newRow("rows of a megabyte without end") << QStringLiteral("SELECT zeroblob(1048576) FROM n") << 60000
                                                    << QStringLiteral("more than %1 bytes").arg(SqlCipherDriver::maxResultBytes);
    QTest::newRow("one value of a gigabyte") << QStringLiteral("SELECT zeroblob(1000000000)") << 60000
                                             << QStringLiteral("string or blob too big");
    QTest::newRow("no row ever") << QStringLiteral("SELECT i FROM n WHERE i = 0") << 300
                                 << QStringLiteral("interrupted");
    QTest::newRow("rows without end, counted") << QStringLiteral("SELECT count(*) FROM n") << 300
                                               << QStringLiteral("interrupted");
}

void TestSqlCipherDriver::endlessViewsAreStopped()
{
    QFETCH(QString, sql);
    QFETCH(int, timeoutMs);
    QFETCH(QString, message);
    QSqlDatabase db = open(path(QStringLiteral("endless-%1.db").arg(connections)),
                           options + QStringLiteral(";QSQLITE_BUSY_TIMEOUT=0;SQLITECIPHER_STATEMENT_TIMEOUT=%1").arg(timeoutMs));
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("CREATE VIEW n AS WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c) "
                                  "SELECT i FROM c")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!q.exec(sql));
    QCOMPARE(q.lastError().databaseText(), message);
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    // The connection stays usable, and a statement gets a full time again.
    QVERIFY2(q.exec(QStringLiteral("SELECT i FROM n LIMIT 3")), qPrintable(q.lastError().text()));
    QVERIFY(q.last());
    QCOMPARE(q.value(0).toInt(), 3);
}

void TestSqlCipherDriver::tablesAndRecord()
{
    QSqlDatabase db = open(path(QStringLiteral("meta.db")));
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("CREATE TABLE Persons (id INTEGER PRIMARY KEY, name TEXT NOT NULL, height REAL)")));
    QCOMPARE(db.tables(), QStringList{QStringLiteral("Persons")});
    const QSqlRecord rec = db.record(QStringLiteral("Persons"));
    QCOMPARE(rec.count(), 3);
    QCOMPARE(rec.fieldName(1), QStringLiteral("name"));
    QCOMPARE(rec.field(2).metaType().id(), QMetaType::Double);
    QVERIFY(q.exec(QStringLiteral("SELECT name AS n, height FROM Persons")));
    QCOMPARE(q.record().fieldName(0), QStringLiteral("n"));
}

QTEST_GUILESS_MAIN(TestSqlCipherDriver)
#include "tst_sqlcipherdriver.moc"
