// The message classes of the remote service: layout, equality, setters,
// registration by the library itself; and the compiled-in certificate resources.
#include "analyzer.qpb.h"

#include <QFileInfo>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QResource>
#include <QTest>

using Ordering = QtProtobufPrivate::QProtobufPropertyOrdering;

class TestRemoteMessages : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void setters_data();
    void setters();
    void equality();
    void resources_data();
    void resources();
};

namespace {
struct Layout {
    const QMetaObject* meta;
    const Ordering* ordering;
    const QMetaObject* nested; // the _QtProtobufNested namespace
};
template<typename T>
Layout layoutOf(const QMetaObject& nested)
{
    return {&T::staticMetaObject, &T::staticPropertyOrdering, &nested};
}
} // namespace
Q_DECLARE_METATYPE(Layout)

void TestRemoteMessages::layout_data()
{
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QList<int>>("types");
    using namespace analyzer;
    const int s = QMetaType::QString;
    const int int32 = QMetaType::fromType<QtProtobuf::int32>().id();
    QTest::newRow("TelemetryRequest")
        << layoutOf<TelemetryRequest>(TelemetryRequest_QtProtobufNested::staticMetaObject) << "analyzer.TelemetryRequest"
        << QStringList{"ipAddress", "osInfo", "computerInfo", "analyzerVersion", "analyzerId", "ftdiSerial", "backendVersion"}
        << QList<int>{s, s, s, s, s, s, s};
    QTest::newRow("TelemetryReply") << layoutOf<TelemetryReply>(TelemetryReply_QtProtobufNested::staticMetaObject)
                                    << "analyzer.TelemetryReply" << QStringList{"status"} << QList<int>{int32};
    QTest::newRow("VersionRequest") << layoutOf<VersionRequest>(VersionRequest_QtProtobufNested::staticMetaObject)
                                    << "analyzer.VersionRequest" << QStringList{"version"} << QList<int>{int32};
    QTest::newRow("JsonReply") << layoutOf<JsonReply>(JsonReply_QtProtobufNested::staticMetaObject)
                               << "analyzer.JsonReply" << QStringList{"versionList"} << QList<int>{s};
    QTest::newRow("DownloadRequest") << layoutOf<DownloadRequest>(DownloadRequest_QtProtobufNested::staticMetaObject)
                                     << "analyzer.DownloadRequest" << QStringList{"version", "filename"}
                                     << QList<int>{int32, s};
    QTest::newRow("DownloadChunk") << layoutOf<DownloadChunk>(DownloadChunk_QtProtobufNested::staticMetaObject)
                                   << "analyzer.DownloadChunk" << QStringList{"buffer"} << QList<int>{QMetaType::QByteArray};
}

// Properties in field order, the ordering table and the field-number enum agree.
void TestRemoteMessages::layout()
{
    QFETCH(Layout, layout);
    QFETCH(QString, fullName);
    QFETCH(QStringList, fields);
    QFETCH(QList<int>, types);
    QCOMPARE(layout.meta->propertyCount() - layout.meta->propertyOffset(), fields.size());
    QCOMPARE(layout.ordering->messageFullName().toString(), fullName);
    QCOMPARE(layout.ordering->fieldCount(), fields.size());
    const QMetaEnum numbers = layout.nested->enumerator(layout.nested->indexOfEnumerator("QtProtobufFieldEnum"));
    QVERIFY(numbers.isValid());
    QCOMPARE(numbers.keyCount(), fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        const QMetaProperty property = layout.meta->property(layout.meta->propertyOffset() + i);
        QCOMPARE(QString::fromLatin1(property.name()), fields[i]);
        QCOMPARE(property.metaType().id(), types[i]);
        QCOMPARE(layout.ordering->jsonName(i).toString(), fields[i]);
        QCOMPARE(layout.ordering->propertyIndex(i), i);
        QCOMPARE(uint(layout.ordering->fieldFlags(i).toInt()), 0u);
        const QString key = fields[i].left(1).toUpper() + fields[i].mid(1) + "ProtoFieldNumber";
        QCOMPARE(numbers.keyToValue(key.toLatin1().constData()), layout.ordering->fieldNumber(i));
    }
    // The library registered the type when it was loaded; this program never does.
    const auto constructed = QProtobufMessage::constructByName(fullName);
    QVERIFY(constructed);
    QVERIFY(constructed->property(fields.first()).isValid());
    QVERIFY(QProtobufMessage::constructByName(QStringLiteral("analyzer.NoSuchMessage")) == nullptr);
}

void TestRemoteMessages::setters_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("equal value") << "ATX-1" << "ATX-1";
    QTest::newRow("new value") << "ATX-1" << "ATX-2";
    QTest::newRow("to empty") << "ATX-1" << "";
    QTest::newRow("non-ASCII") << "" << "Größe Ωμέγα";
}

// A setter leaves shared data alone for an equal value and detaches before
// writing a new one: the copy it was shared with never changes.
void TestRemoteMessages::setters()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    analyzer::TelemetryRequest original;
    original.setAnalyzerId(before);
    original.setOsInfo(QStringLiteral("Debian"));
    analyzer::TelemetryRequest copy = original;
    copy.setAnalyzerId(after);
    QCOMPARE(original.analyzerId(), before);
    QCOMPARE(copy.analyzerId(), after);
    // The getters return references into the data: one address while shared.
    const bool stillShared = &original.osInfo() == &copy.osInfo();
    QCOMPARE(stillShared, before == after);
    QString moved = after + "!";
    copy.setAnalyzerId(std::move(moved));
    QCOMPARE(copy.analyzerId(), after + "!");
    QCOMPARE(original.analyzerId(), before);
}

void TestRemoteMessages::equality()
{
    using namespace analyzer;
    DownloadRequest a;
    DownloadRequest b;
    QVERIFY(comparesEqual(a, b));
    a.setFilename(QStringLiteral("update.bin"));
    QVERIFY(!comparesEqual(a, b));
    b.setFilename(QStringLiteral("update.bin"));
    QVERIFY(comparesEqual(a, b));
    b.setVersion(-3);
    QVERIFY(a != b);
    DownloadChunk chunk;
    chunk.setBuffer(QByteArray(3, '\0'));
    DownloadChunk other;
    QVERIFY(!comparesEqual(chunk, other)); // zero bytes are not no bytes
    other = chunk;
    QVERIFY(other == chunk);
    TelemetryReply reply;
    reply.setStatus(7);
    TelemetryReply moved = std::move(reply);
    QCOMPARE(int(moved.status()), 7);
}

void TestRemoteMessages::resources_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("finalLineBreak");
    QTest::newRow("client.pem") << "client.pem" << QByteArray("CERTIFICATE") << true;
    QTest::newRow("client-key.pem") << "client-key.pem" << QByteArray("RSA PRIVATE KEY") << true;
    QTest::newRow("server.ca") << "server.ca" << QByteArray("CERTIFICATE") << false;
}

// Compiled in uncompressed, PEM with CRLF line ends.
void TestRemoteMessages::resources()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, block);
    QFETCH(bool, finalLineBreak);
    const QResource resource(":/cert/" + name);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    const QByteArray data = resource.uncompressedData();
    QVERIFY(data.startsWith("-----BEGIN " + block + "-----\r\n"));
    QCOMPARE(data.endsWith("\r\n"), finalLineBreak);
    QVERIFY(data.trimmed().endsWith("-----END " + block + "-----"));
    QCOMPARE(data.count('\n'), data.count("\r\n"));
}

QTEST_GUILESS_MAIN(TestRemoteMessages)
#include "tst_remotemessages.moc"
