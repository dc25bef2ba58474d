#include "telemetry/osinfo.h"
#include "telemetry/physicalmemory.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QSysInfo>
#include <QTest>
#include <limits>

class TestOsInfo : public QObject {
    Q_OBJECT
private slots:
    void gib_data();
    void gib();
    void userName_data();
    void userName();
    void jsonForms();
    void physicalMemory();
};

void TestOsInfo::gib_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << quint64(0) << "0.00";
    QTest::newRow("one GiB") << (quint64(1) << 30) << "1.00";
    QTest::newRow("half") << (quint64(1) << 29) << "0.50";
    QTest::newRow("16 GiB less a bit") << (quint64(16) << 30) - 1 << "16.00";
    QTest::newRow("unknown total") << std::numeric_limits<quint64>::max() << "17179869184.00";
}

void TestOsInfo::gib()
{
    QFETCH(quint64, bytes);
    QTEST(gibText(bytes), "text");
}

void TestOsInfo::userName_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("username");
    QTest::addColumn<QString>("expected");
    QTest::newRow("USER wins") << QByteArray("alice") << QByteArray("bob") << "alice";
    QTest::newRow("empty USER") << QByteArray("") << QByteArray("bob") << "bob";
    QTest::newRow("neither") << QByteArray() << QByteArray() << "Unknown";
}

void TestOsInfo::userName()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, username);
    const QByteArray savedUser = qgetenv("USER");
    const QByteArray savedUsername = qgetenv("USERNAME");
    user.isNull() ? qunsetenv("USER") : qputenv("USER", user);
    username.isNull() ? qunsetenv("USERNAME") : qputenv("USERNAME", username);
    const OsInfo info = osInfo();
    qputenv("USER", savedUser);
    qputenv("USERNAME", savedUsername);
    QTEST(info.userName, "expected");
}

// The total is the system's own figure, not an estimate: on Linux the same as
// the kernel's MemTotal.
void TestOsInfo::physicalMemory()
{
    const quint64 total = PhysicalMemory::total();
    QVERIFY(total != PhysicalMemory::unknown);
#if defined(Q_OS_LINUX)
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    QVERIFY(meminfo.open(QIODevice::ReadOnly | QIODevice::Text));
    const QRegularExpression memTotal(QStringLiteral("^MemTotal:\\s+(\\d+) kB$"),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = memTotal.match(QString::fromLatin1(meminfo.readAll()));
    QVERIFY(match.hasMatch());
    QCOMPARE(total, match.captured(1).toULongLong() * 1024);
#else
    QVERIFY(total > 0);
#endif
}

void TestOsInfo::jsonForms()
{
    const OsInfo info = osInfo();
    QVERIFY(info.totalMemory > 0);
    const QJsonObject json = toJson(info);
    const QStringList keys{"name", "version", "totalVirtualMemory", "locale", "countryCode", "architecture",
        "build", "hostName", "userName", "storages"};
    QCOMPARE(json.size(), keys.size());
    const QRegularExpression twoDecimals(QStringLiteral("^\\d+\\.\\d\\d$"));
    for (const QString& key : keys) {
        QVERIFY2(json.contains(key), qPrintable(key));
        if (key != QLatin1String("storages"))
            QVERIFY2(json.value(key).isString(), qPrintable(key));
    }
    QVERIFY(twoDecimals.match(json.value("totalVirtualMemory").toString()).hasMatch());
    QCOMPARE(json.value("architecture").toString(), QSysInfo::currentCpuArchitecture());
    QCOMPARE(json.value("build").toString(), QSysInfo::kernelVersion());
    QVERIFY(!json.value("locale").toString().contains('-'));
    const QJsonArray storages = json.value("storages").toArray();
    QCOMPARE(storages.size(), QStorageInfo::mountedVolumes().size());
    for (const QJsonValue& volume : storages) {
        const QJsonObject object = volume.toObject();
        QCOMPARE(object.size(), 4);
        QVERIFY(object.value("Name").isString());
        for (const char* size : {"Total size (in GB)", "Free size (in GB)", "Available size (in GB)"})
            QVERIFY2(twoDecimals.match(object.value(size).toString()).hasMatch(), size);
    }
}

QTEST_GUILESS_MAIN(TestOsInfo)
#include "tst_osinfo.moc"
