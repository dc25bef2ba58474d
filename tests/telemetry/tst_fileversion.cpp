#include "capturesink.h"
#include "peimagebuilder.h"
#include "telemetry/fileversion.h"
#include "telemetry/peversionreader.h"

#include <QBuffer>
#include <QLocalServer>
#include <cerrno>
#include <future>
#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestFileVersion : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void versions_data();
    void versions();
    void failures_data();
    void failures();
    void missingFile();
    void notARegularFile_data();
    void notARegularFile();
    void truncatedImages();

private:
    std::shared_ptr<CaptureSink> sink;
    QTemporaryDir dir;
};

void TestFileVersion::initTestCase()
{
    sink = CaptureSink::install();
    QVERIFY(dir.isValid());
}

void TestFileVersion::init()
{
    sink->clear();
}

void TestFileVersion::versions_data()
{
    QTest::addColumn<bool>("pe32Plus");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("build");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    QTest::newRow("PE32+ 1.4.0.12") << true << 1 << 4 << 0 << 12 << "1.4.0.12";
    QTest::newRow("PE32 10.2.3.4") << false << 10 << 2 << 3 << 4 << "10.2.3.4";
    QTest::newRow("16-bit parts") << true << 65535 << 0 << 65535 << 1 << "65535.0.65535.1";
}

void TestFileVersion::versions()
{
    QFETCH(bool, pe32Plus);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, build);
    QFETCH(int, revision);
    PeImageBuilder pe;
    pe.pe32Plus = pe32Plus;
    pe.fileVersion = {quint16(major), quint16(minor), quint16(build), quint16(revision)};
    pe.productVersion = {7, 7, 7, 7}; // must not be reported
    const QString path = dir.filePath(QStringLiteral("Frontend %1.exe").arg(QTest::currentDataTag()));
    QVERIFY(pe.writeTo(path));
    QTEST(fileVersionString(path), "expected");
    QVERIFY(sink->contains(spdlog::level::trace, "Frontend exe found"));
    QVERIFY(sink->contains(spdlog::level::trace, "Frontends file info"));
    QVERIFY(sink->contains(spdlog::level::trace, "Frontends version extracted"));
}

void TestFileVersion::failures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    PeImageBuilder noFixed;
    noFixed.fixedFileInfo = false;
    PeImageBuilder iconOnly;
    iconOnly.resourceType = 3;
    PeImageBuilder outside;
    outside.resourceBeyondFile = true;
    QByteArray badSignature = PeImageBuilder().build();
    badSignature[0x200 + 0x58 + 40] = 0; // first byte of the fixed-info signature
    QTest::newRow("no fixed file information") << noFixed.build() << "Could not run VerQueryValue";
    QTest::newRow("bad fixed-info signature") << badSignature << "Could not run VerQueryValue";
    QTest::newRow("no version resource") << iconOnly.build() << "GetFileVersionInfoSize failed";
#if defined(Q_OS_WIN)
    // The system's loader refuses such an image already when asked for the size.
    QTest::newRow("resource outside the file") << outside.build() << "GetFileVersionInfoSize failed";
#else
    QTest::newRow("resource outside the file") << outside.build() << "Could not run GetFileVersionInfo";
#endif
    QTest::newRow("not a PE file") << QByteArray("#!/bin/sh\necho hi\n") << "GetFileVersionInfoSize failed";
    QTest::newRow("empty file") << QByteArray() << "GetFileVersionInfoSize failed";
}

void TestFileVersion::failures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString path = dir.filePath(QStringLiteral("bad.exe"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    QCOMPARE(fileVersionString(path), QStringLiteral("0.0.0"));
    QVERIFY(sink->contains(spdlog::level::err, message));
    QCOMPARE(sink->indexOf("Frontends version extracted"), -1);
}

void TestFileVersion::missingFile()
{
    QCOMPARE(fileVersionString(QStringLiteral("Could not detect frontend")), QStringLiteral("0.0.0"));
    QVERIFY(sink->contains(spdlog::level::warn, "Getting version string for file: Could not detect frontend"));
    QCOMPARE(sink->indexOf("Frontend exe found"), -1);
}

void TestFileVersion::notARegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("socket") << "socket";
    QTest::newRow("link to a device") << "device";
    QTest::newRow("link to a FIFO") << "link to fifo";
}

// A FIFO, socket or device named like the frontend counts as no frontend: it is
// never opened, so nothing can block the read.
void TestFileVersion::notARegularFile()
{
#if !defined(Q_OS_UNIX)
    QSKIP("FIFOs, sockets and device links by name are POSIX's");
#else
    QFETCH(QString, kind);
    const QString fifo = dir.filePath(QStringLiteral("Foo fifo"));
    const QString path = dir.filePath(QStringLiteral("Foo %1.exe").arg(kind));
    QLocalServer socket;
    if (kind == QLatin1String("fifo") || kind == QLatin1String("link to fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0 || errno == EEXIST, true);
    if (kind == QLatin1String("fifo"))
        QVERIFY(QFile::rename(fifo, path));
    else if (kind == QLatin1String("link to fifo"))
        QVERIFY(QFile::link(fifo, path));
    else if (kind == QLatin1String("socket"))
        QVERIFY(socket.listen(path));
    else
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));

    auto version = std::async(std::launch::async, [path] { return fileVersionString(path); });
    if (version.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        // Blocked in open(): a writer lets it go, and the test fails.
        QFile writer(path);
        writer.open(QIODevice::WriteOnly);
        version.wait();
        QFAIL("the version read blocked");
    }
    QCOMPARE(version.get(), QStringLiteral("0.0.0"));
    QVERIFY(sink->contains(spdlog::level::warn, QStringLiteral("Getting version string for file: ") + path));
    QCOMPARE(sink->indexOf("Frontend exe found"), -1);
#endif
}

// Every prefix of a valid image is read safely and yields an error, never a version.
void TestFileVersion::truncatedImages()
{
    const QByteArray image = PeImageBuilder().build();
    // Section data at 0x200, version data 0x58 into it, 92 bytes long.
    const qsizetype versionEnd = 0x200 + 0x58 + 92;
    for (qsizetype size = 0; size < image.size(); ++size) {
        QByteArray prefix = image.left(size);
        QBuffer buffer(&prefix);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        PeVersionReader reader(buffer);
        const auto resource = reader.readVersionResource();
        const bool found = resource && PeVersionReader::fixedFileVersion(*resource).has_value();
        QVERIFY2(found == (size >= versionEnd), qPrintable(QString::number(size)));
    }
    QByteArray whole = image;
    QBuffer buffer(&whole);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    PeVersionReader reader(buffer);
    const auto resource = reader.readVersionResource();
    QVERIFY(resource.has_value());
    QCOMPARE(PeVersionReader::fixedFileVersion(*resource)->toString(), QStringLiteral("1.0.0.0"));
}

QTEST_GUILESS_MAIN(TestFileVersion)
#include "tst_fileversion.moc"
