#include "protocol/packet.h"
#include "protocol/packetfactory.h"

#include <QTest>

class TestPacket : public QObject {
    Q_OBJECT
private slots:
    void encode_data();
    void encode();
    void decode_data();
    void decode();
    void progressBuilders();
    void names_data();
    void names();
    void setDbPathBytesSurvive();
};

void TestPacket::encode_data()
{
    QTest::addColumn<int>("opcode");
    QTest::addColumn<int>("payload");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("greeting") << 0 << 100 << QByteArray::fromHex("0064000000");
    QTest::newRow("unknown packet error") << 9 << 900 << QByteArray::fromHex("0984030000");
    QTest::newRow("progress 40000") << 3 << 40000 << QByteArray::fromHex("03409c0000");
    QTest::newRow("negative payload") << 1 << -1 << QByteArray::fromHex("01ffffffff");
    QTest::newRow("opcode 255") << 255 << 0 << QByteArray::fromHex("ff00000000");
}

void TestPacket::encode()
{
    QFETCH(int, opcode);
    QFETCH(int, payload);
    QFETCH(QByteArray, bytes);
    QCOMPARE(makePacket(static_cast<opcodes>(opcode), payload), bytes);
}

void TestPacket::decode_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("opcode");
    QTest::addColumn<int>("payload");
    QTest::newRow("empty") << QByteArray() << 0 << 0;
    QTest::newRow("one byte") << QByteArray::fromHex("02") << 2 << 0;
    QTest::newRow("four bytes") << QByteArray::fromHex("06010000") << 6 << 0;
    QTest::newRow("five bytes") << QByteArray::fromHex("0207000000") << 2 << 7;
    QTest::newRow("longer") << QByteArray::fromHex("06010000000801") << 6 << 1;
    QTest::newRow("0xff is 255") << QByteArray::fromHex("ff01000000") << 255 << 1;
    QTest::newRow("negative") << QByteArray::fromHex("02feffffff") << 2 << -2;
}

void TestPacket::decode()
{
    QFETCH(QByteArray, message);
    QFETCH(int, opcode);
    QFETCH(int, payload);
    const Packet p = readPacket(message);
    QCOMPARE(static_cast<int>(p.opcode), opcode);
    QCOMPARE(p.payload, payload);
}

void TestPacket::progressBuilders()
{
    QCOMPARE(PacketFactory::progressPacket(40000), QByteArray::fromHex("03409c0000"));
    QCOMPARE(PacketFactory::progressPacket(opcodes::saving_progress, 100), QByteArray::fromHex("0764000000"));
}

void TestPacket::names_data()
{
    QTest::addColumn<bool>("isOpcode");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("name");
    QTest::newRow("op 0") << true << 0 << "initialization";
    QTest::newRow("op 11") << true << 11 << "set_db";
    QTest::newRow("op 12") << true << 12 << "ping";
    QTest::newRow("op 13") << true << 13 << "unknown";
    QTest::newRow("op 14") << true << 14 << "";
    QTest::newRow("op 255") << true << 255 << "";
    QTest::newRow("st 0") << false << 0 << "ok";
    QTest::newRow("st 100") << false << 100 << "service_ready";
    QTest::newRow("st 102") << false << 102 << "";
    QTest::newRow("st 103") << false << 103 << "";
    QTest::newRow("st 205") << false << 205 << "device_error";
    QTest::newRow("st 308") << false << 308 << "measurement_calibration_error";
    QTest::newRow("st 401") << false << 401 << "database_dynamic_path";
    QTest::newRow("st 900") << false << 900 << "unknown_packet";
}

void TestPacket::names()
{
    QFETCH(bool, isOpcode);
    QFETCH(int, value);
    QFETCH(QString, name);
    const QString got = isOpcode ? opcodeName(static_cast<opcodes>(value))
                                 : statusCodeName(static_cast<status_codes>(value));
    QCOMPARE(got, name);
}

void TestPacket::setDbPathBytesSurvive()
{
    const QString path = QStringLiteral("/home/ülla/db");
    const QByteArray message = QByteArray(1, '\x0b') + path.toUtf8();
    QCOMPARE(static_cast<int>(readPacket(message).opcode), 11);
    QCOMPARE(QString::fromUtf8(message.mid(1)), path);
}

QTEST_GUILESS_MAIN(TestPacket)
#include "tst_packet.moc"
