// Which passphrase constants the build accepts, and that such passphrases key
// files the same way in the driver and in the sqlcipher shell.
#include "cipherfixture.h"
#include "storage/passphrase.h"
#include "storage/passphraserules.h"
#include "storage/sqlcipherdriver.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString options = QStringLiteral("QSQLITE_USE_CIPHER=sqlcipher;SQLCIPHER_LEGACY=3");

// The constant from which `text` derives.
QByteArray constantFor(const QByteArray& text)
{
    QByteArray constant = text;
    for (qsizetype i = 0; i < constant.size(); ++i)
        constant[i] = static_cast<char>(static_cast<quint8>(constant[i]) + i);
    return constant;
}

} // namespace

class TestPassphrase : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void rules_data();
    void rules();
    void cliAndDriverAgree_data();
    void cliAndDriverAgree();
};

void TestPassphrase::initTestCase()
{
    SqlCipherDriver::registerDriver();
    QVERIFY(!QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty());
}

void TestPassphrase::rules_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("printable ASCII") << QByteArray("Ulvx-St0re#2024!") << true;
    QTest::newRow("single quote") << QByteArray("it's a secret!!!") << true;
    QTest::newRow("non-ASCII") << QByteArray("Grüße-Schlüssel") << true;
    QTest::newRow("four-byte character") << QByteArray("key-\xF0\x9F\x98\x80-12345") << true;
    QTest::newRow("NUL") << QByteArray("abc\0defghijklmno", 16) << false;
    QTest::newRow("lone continuation byte") << QByteArray("\x80" "bcdefghijklmnop") << false;
    QTest::newRow("cut-off sequence") << QByteArray("abcdefghijklmno\xC3") << false;
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF" "cdefghijklmnop") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80" "defghijklmnop") << false;
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80" "efghijklmnop") << false;
}

void TestPassphrase::rules()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, accepted);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.constData());
    QCOMPARE(passphrase_rules::isValidText(bytes, static_cast<std::size_t>(text.size())), accepted);
    if (text.size() == 16) {
        std::array<std::uint8_t, 16> constant{};
        const QByteArray c = constantFor(text);
        std::copy(c.begin(), c.end(), constant.begin());
        QCOMPARE(passphrase_rules::derivesValidText(constant), accepted);
    }
    if (accepted)
        QCOMPARE(Passphrase::derive(constantFor(text)), QString::fromUtf8(text));
}

void TestPassphrase::cliAndDriverAgree_data()
{
    QTest::addColumn<QString>("passphrase");
    QTest::newRow("single quote") << QStringLiteral("it's-a-key-'x'!");
    QTest::newRow("non-ASCII") << QStringLiteral("Grüße-Schlüssel€");
}

void TestPassphrase::cliAndDriverAgree()
{
    QFETCH(QString, passphrase);
    QTemporaryDir dir;
    const QString byCli = dir.filePath(QStringLiteral("cli.db"));
    const QString byDriver = dir.filePath(QStringLiteral("driver.db"));
    QVERIFY2(CipherFixture::cliWithKey(byCli, passphrase, QStringLiteral("CREATE TABLE t (x TEXT); INSERT INTO t VALUES ('from the shell');")),
             qPrintable(CipherFixture::lastError()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("SQLITECIPHER"), QStringLiteral("keyed"));
        db.setDatabaseName(byCli);
        db.setPassword(passphrase);
        db.setConnectOptions(options);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("SELECT x FROM t")) && query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("from the shell"));
        db.close();
        db.setDatabaseName(byDriver);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery write(db);
        QVERIFY(write.exec(QStringLiteral("CREATE TABLE t (x TEXT)")));
        QVERIFY(write.exec(QStringLiteral("INSERT INTO t VALUES ('from the driver')")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("keyed"));
    QString out;
    QVERIFY2(CipherFixture::cliWithKey(byDriver, passphrase, QStringLiteral("SELECT x FROM t;"), &out),
             qPrintable(CipherFixture::lastError()));
    QCOMPARE(out.trimmed(), QStringLiteral("from the driver"));
    // The key matters: the shell with another one cannot read the file.
    QVERIFY(!CipherFixture::cliWithKey(byDriver, QStringLiteral("another key"), QStringLiteral("SELECT x FROM t;")));
}

QTEST_GUILESS_MAIN(TestPassphrase)
#include "tst_passphrase.moc"
