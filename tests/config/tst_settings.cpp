#include "config/settings.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using analyzer::enums::DeviceType;

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void freshInstance();
    void editions_data();
    void editions();
    void dynamicPathIsStoredVerbatim();
    void detectEdition_data();
    void detectEdition();
};

void TestSettings::freshInstance()
{
    Settings& s = Settings::instance();
    QCOMPARE(s.applicationName(), QStringLiteral("Ulvex Analyzer"));
    QCOMPARE(s.key(), QStringLiteral("Q7#mR2&vX9!k"));
    QCOMPARE(s.dynamicDbPath(), QStringLiteral("-1"));
    QCOMPARE(s.analyzerSerial(), QStringLiteral("0000000000000000"));
    QVERIFY(!s.debugMode());
    QCOMPARE(&s, &Settings::instance());
}

void TestSettings::editions_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::newRow("1000") << 1000 << "Ulvex Analyzer" << "Q7#mR2&vX9!k";
    QTest::newRow("1001 shares 1000") << 1001 << "Ulvex Analyzer" << "Q7#mR2&vX9!k";
    QTest::newRow("2000") << 2000 << "Morvane Scanner" << "H4$tW8&pL1*z";
    QTest::newRow("3000") << 3000 << "Kestrin Scanner" << "N6%bC3^fJ5?y";
    QTest::newRow("4000") << 4000 << "moXSCAN" << "T2!gK9#sV4=w";
    QTest::newRow("5000") << 5000 << "Halvion Check-Up" << "P8*dM1%hY6+q";
    QTest::newRow("1500 unknown") << 1500 << "Unknown" << "Unknown";
}

void TestSettings::editions()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QFETCH(QString, key);
    Settings& s = Settings::instance();
    s.setDeviceCode(static_cast<DeviceType>(code));
    QCOMPARE(s.applicationName(), name);
    QCOMPARE(s.deviceName(), name);
    QCOMPARE(s.key(), key);
    QCOMPARE(static_cast<int>(s.deviceCode()), code);
    if (key != QLatin1String("Unknown"))
        QCOMPARE(key.size(), 12);
    s.setDeviceCode(DeviceType::UlvexAnalyzer);
}

void TestSettings::dynamicPathIsStoredVerbatim()
{
    Settings& s = Settings::instance();
    s.setDynamicDbPath(QString());
    QCOMPARE(s.dynamicDbPath(), QString());
    s.setDynamicDbPath(QStringLiteral("  C:\\data\\ü "));
    QCOMPARE(s.dynamicDbPath(), QStringLiteral("  C:\\data\\ü "));
    s.setDynamicDbPath(QStringLiteral("-1"));
    s.setAnalyzerSerial(QStringLiteral("ABC"));
    QCOMPARE(s.analyzerSerial(), QStringLiteral("ABC"));
    s.setAnalyzerSerial(QStringLiteral("0000000000000000"));
}

void TestSettings::detectEdition_data()
{
    QTest::addColumn<QString>("subdir");
    QTest::addColumn<int>("index");
    QTest::newRow("kestrin") << "Program Files/Kestrin Scanner/bin" << 3;
    QTest::newRow("case matters") << "apps/kestrin scanner" << -1;
    QTest::newRow("first in list wins") << "moXSCAN/Ulvex Analyzer" << 0;
    QTest::newRow("tarrow has no code") << "Tarrow Scanner" << 2;
    QTest::newRow("none") << "plain" << -1;
}

void TestSettings::detectEdition()
{
    QFETCH(QString, subdir);
    QFETCH(int, index);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(QDir(tmp.path()).mkpath(subdir));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tmp.filePath(subdir)));
    const int detected = Settings::detectApplicationEdition();
    QDir::setCurrent(before);
    QCOMPARE(detected, index);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
