#include "capturesink.h"
#include "telemetry/cpuinfo.h"
#include "telemetry/proccpuinfo.h"
#include "telemetry/wmicquery.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QJsonValue>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCpuInfo : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void wmicRules_data();
    void wmicRules();
    void emptyRecord();
    void capturedListing();
    void wmicDecoding_data();
    void wmicDecoding();
    void wmicOnPath_data();
    void wmicOnPath();
    void kernelTables();

private:
    static bool write(const QString& path, const QByteArray& text);
    std::shared_ptr<CaptureSink> sink;
};

void TestCpuInfo::initTestCase()
{
    sink = CaptureSink::install();
}

bool TestCpuInfo::write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

void TestCpuInfo::wmicRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("carriage return trimmed") << "Name=Intel(R) Core(TM) i7-8700\r\n" << "Name"
                                             << QJsonValue("Intel(R) Core(TM) i7-8700");
    QTest::newRow("three parts ignored") << "Name=a=b\r\n" << "Name" << QJsonValue("");
    QTest::newRow("blanks around") << "  Description  =  x64 Family 6  \r" << "Description"
                                   << QJsonValue("x64 Family 6");
    QTest::newRow("key is case-sensitive") << "name=lower\n" << "Name" << QJsonValue("");
    QTest::newRow("not a number") << "MaxClockSpeed=fast\r\n" << "SpeedMHz" << QJsonValue("0");
    QTest::newRow("speed") << "MaxClockSpeed=3401\r\n" << "SpeedMHz" << QJsonValue("3401");
    QTest::newRow("leading zeros dropped") << "ThreadCount=007\r\n" << "Threads" << QJsonValue("7");
    QTest::newRow("16-bit overflow") << "AddressWidth=65536\r\n" << "AddressWidth" << QJsonValue(0);
    QTest::newRow("16-bit maximum") << "DataWidth=65535\r\n" << "DataWidth" << QJsonValue(65535);
    QTest::newRow("negative") << "Architecture=-1\r\n" << "Architecture" << QJsonValue(0);
    QTest::newRow("32-bit overflow") << "L2CacheSize=4294967296\r\n" << "L2Cache" << QJsonValue("0");
    QTest::newRow("32-bit maximum") << "L3CacheSize=4294967295\r\n" << "L3Cache" << QJsonValue("4294967295");
    QTest::newRow("last one wins") << "NumberOfCores=8\r\nNumberOfCores=16\r\n" << "Cores" << QJsonValue("16");
    QTest::newRow("external clock") << "ExtClock=100\r\n" << "BusSpeedMHz" << QJsonValue("100");
    QTest::newRow("device id") << "DeviceID=CPU0\r\n" << "ID" << QJsonValue("CPU0");
    QTest::newRow("socket") << "SocketDesignation=LGA1151\r\n" << "Socket" << QJsonValue("LGA1151");
    QTest::newRow("empty value kept") << "Name=\r\n" << "Name" << QJsonValue("");
}

void TestCpuInfo::wmicRules()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QJsonValue, expected);
    const QJsonObject json = toJson(parseWmicCpuList(text));
    QCOMPARE(json.value(key), expected);
}

void TestCpuInfo::emptyRecord()
{
    const QJsonObject json = toJson(CpuInfo{});
    const QStringList keys{"ID", "Socket", "Name", "Description", "AddressWidth", "DataWidth", "Architecture",
        "SpeedMHz", "BusSpeedMHz", "L2Cache", "L3Cache", "Cores", "Threads"};
    QCOMPARE(json.size(), keys.size());
    for (const QString& key : keys)
        QVERIFY2(json.contains(key), qPrintable(key));
    for (const char* key : {"AddressWidth", "DataWidth", "Architecture"})
        QCOMPARE(json.value(key), QJsonValue(0));
    for (const char* key : {"SpeedMHz", "BusSpeedMHz", "L2Cache", "L3Cache", "Cores", "Threads"})
        QCOMPARE(json.value(key), QJsonValue("0"));
}

void TestCpuInfo::capturedListing()
{
    // The tool ends its lines with "\r\r\n" and separates records with blank lines.
    const QString text = QStringLiteral("\r\r\n\r\r\nAddressWidth=64\r\r\nArchitecture=9\r\r\nDataWidth=64\r\r\n"
                                        "DeviceID=CPU0\r\r\nExtClock=100\r\r\nL2CacheSize=1536\r\r\nL3CacheSize=12288\r\r\n"
                                        "MaxClockSpeed=3192\r\r\nName=Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\r\r\n"
                                        "NumberOfCores=6\r\r\nSocketDesignation=LGA1151\r\r\nThreadCount=12\r\r\n"
                                        "ProcessorId=BFEBFBFF000906EA\r\r\n\r\r\n");
    const CpuInfo info = parseWmicCpuList(text);
    QCOMPARE(info.deviceId, QStringLiteral("CPU0"));
    QCOMPARE(info.socket, QStringLiteral("LGA1151"));
    QCOMPARE(info.name, QStringLiteral("Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"));
    QCOMPARE(info.addressWidth, quint16(64));
    QCOMPARE(info.architecture, quint16(9));
    QCOMPARE(info.maxClockSpeed, 3192u);
    QCOMPARE(info.l2CacheSize, 1536u);
    QCOMPARE(info.l3CacheSize, 12288u);
    QCOMPARE(info.numberOfCores, 6u);
    QCOMPARE(info.threadCount, 12u);
    QCOMPARE(info.description, QString());
}

namespace {
QByteArray utf16Le(const QString& text, bool bom)
{
    QByteArray bytes = bom ? QByteArray("\xFF\xFE", 2) : QByteArray();
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}
const QString listing = QStringLiteral("\r\nName=Test\u00AE CPU\r\nNumberOfCores=4\r\n\r\n");
} // namespace

// The tool prints UTF-16LE into a pipe or file on most systems, 8-bit text on some.
void TestCpuInfo::wmicDecoding_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("cores");
    QTest::newRow("UTF-16LE with BOM") << utf16Le(listing, true) << "Test\u00AE CPU" << 4u;
    QTest::newRow("UTF-16LE without BOM") << utf16Le(listing, false) << "Test\u00AE CPU" << 4u;
    QTest::newRow("UTF-16LE, odd last byte") << utf16Le(listing, true) + 'x' << "Test\u00AE CPU" << 4u;
    QTest::newRow("UTF-16LE, CR CR LF") << utf16Le("Name=A\r\r\nNumberOfCores=2\r\r\n", true) << "A" << 2u;
    QTest::newRow("8-bit") << listing.toUtf8() << "Test\u00AE CPU" << 4u;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBFName=B\nNumberOfCores=1\n"_ba << "B" << 1u;
    QTest::newRow("8-bit, LF only") << "Name=C\nNumberOfCores=8"_ba << "C" << 8u;
    QTest::newRow("empty") << QByteArray() << "" << 0u;
    QTest::newRow("zeros only") << QByteArray(64, '\0') << "" << 0u;
}

void TestCpuInfo::wmicDecoding()
{
    QFETCH(QByteArray, output);
    const CpuInfo info = parseWmicCpuList(WmicQuery::decode(output));
    QTEST(info.name, "name");
    QTEST(uint(info.numberOfCores), "cores");
}

// The tool path runs whatever "wmic" the search path offers. Like the real
// tool, this one waits for the end of its input before it answers.
void TestCpuInfo::wmicOnPath_data()
{
    QTest::addColumn<QByteArray>("output"); // printed by the stand-in; empty: endless
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("8-bit") << "Name=Fake CPU\r\r\nNumberOfCores=3\r\r\nBad=line=x\r\r\n"_ba << "Fake CPU"
                           << "lines 4";
    QTest::newRow("UTF-16LE") << utf16Le("\r\nName=Wide CPU\r\nNumberOfCores=3\r\n", true) << "Wide CPU"
                              << "lines 4";
    QTest::newRow("endless output") << QByteArray() << ""
                                    << QStringLiteral("wmic printed more than %1 bytes").arg(WmicQuery::maxOutputBytes);
}

void TestCpuInfo::wmicOnPath()
{
#if defined(Q_OS_WIN)
    QSKIP("The stand-in is a shell script; Windows runs its own tool");
#endif
    QFETCH(QByteArray, output);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QTemporaryDir bin;
    QVERIFY(write(bin.filePath("output"), output));
    const QByteArray print = output.isEmpty() ? "yes Name=x" : "cat '" + bin.filePath("output").toUtf8() + "'";
    QVERIFY(write(bin.filePath("wmic"), "#!/bin/sh\ncat >/dev/null\n" + print + "\n"));
    QVERIFY(QFile::setPermissions(bin.filePath("wmic"), QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
    sink->clear();
    QElapsedTimer clock;
    clock.start();
    const CpuInfo info = cpuInfo();
    qputenv("PATH", path);
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(info.name, name);
    QCOMPARE(info.numberOfCores, name.isEmpty() ? 0u : 3u);
    QVERIFY(sink->contains(spdlog::level::trace, "Getting CPU info begin"));
    QVERIFY2(sink->contains(spdlog::level::debug, message), qPrintable(message));
    QCOMPARE(sink->contains(spdlog::level::trace, "Getting CPU info end"), !name.isEmpty());
}

void TestCpuInfo::kernelTables()
{
    QTemporaryDir sys;
    const QByteArray cpuinfo = "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
                               "model name\t: Test CPU @ 3.40GHz\nstepping\t: 10\ncpu MHz\t\t: 800.000\n"
                               "physical id\t: 0\nsiblings\t: 2\ncpu cores\t: 1\n\n"
                               "processor\t: 1\nvendor_id\t: GenuineIntel\nmodel name\t: Test CPU @ 3.40GHz\n"
                               "physical id\t: 0\nsiblings\t: 2\ncpu cores\t: 1\n\n";
    const QString d = sys.path();
    QVERIFY(write(d + "/cpu0/cpufreq/cpuinfo_max_freq", "3400000\n"));
    for (const char* cpu : {"cpu0", "cpu1"}) {
        const QString cache = d + "/" + cpu + "/cache/";
        const QByteArray self = QByteArray(cpu).mid(3);
        QVERIFY(write(cache + "index0/level", "1\n") && write(cache + "index0/type", "Data\n")
            && write(cache + "index0/size", "32K\n") && write(cache + "index0/shared_cpu_list", self));
        QVERIFY(write(cache + "index1/level", "1\n") && write(cache + "index1/type", "Instruction\n")
            && write(cache + "index1/size", "32K\n") && write(cache + "index1/shared_cpu_list", self));
        QVERIFY(write(cache + "index2/level", "2\n") && write(cache + "index2/type", "Unified\n")
            && write(cache + "index2/size", "256K\n") && write(cache + "index2/shared_cpu_list", self));
        QVERIFY(write(cache + "index3/level", "3\n") && write(cache + "index3/type", "Unified\n")
            && write(cache + "index3/size", "8M\n") && write(cache + "index3/shared_cpu_list", "0-1\n"));
    }
    const CpuInfo info = ProcCpuInfo::parse(QString::fromUtf8(cpuinfo), d);
    QCOMPARE(info.deviceId, QStringLiteral("CPU0"));
    QCOMPARE(info.name, QStringLiteral("Test CPU @ 3.40GHz"));
    QCOMPARE(info.description, QStringLiteral("Intel64 Family 6 Model 158 Stepping 10"));
    QCOMPARE(info.maxClockSpeed, 3400u);
    QCOMPARE(info.l2CacheSize, 512u);
    QCOMPARE(info.l3CacheSize, 8192u);
    QCOMPARE(info.numberOfCores, 1u);
    QCOMPARE(info.threadCount, 2u);
    QCOMPARE(info.addressWidth, quint16(QSysInfo::WordSize));

    const CpuInfo none = ProcCpuInfo::parse(QString(), d + "/missing");
    QCOMPARE(none.name, QString());
    QCOMPARE(none.maxClockSpeed, 0u);
}

QTEST_GUILESS_MAIN(TestCpuInfo)
#include "tst_cpuinfo.moc"
