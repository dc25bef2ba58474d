#include "link/packetreader.h"

#include <QTest>

// Reads are given as a list of chunks; "|" between chunks means the
// fragment wait ran out there.
namespace {
QList<QByteArray> drive(PacketReader& reader, const QList<QByteArray>& chunks)
{
    QList<QByteArray> requests;
    for (const QByteArray& chunk : chunks) {
        if (chunk == "|")
            reader.expire();
        else if (!reader.append(chunk))
            requests.append("overflow");
        while (const auto request = reader.next())
            requests.append(*request);
    }
    return requests;
}
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}
const QByteArray setDb = hex("0b");
} // namespace

class TestPacketReader : public QObject {
    Q_OBJECT
private slots:
    void splitsIntoRequests_data();
    void splitsIntoRequests();
    void overLongPathIsCutJustOverTheLimit();
    void heldBytesAreBounded();
};

void TestPacketReader::splitsIntoRequests_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<bool>("waiting");
    const QByteArray state = hex("0100000000");
    const QByteArray save = hex("0601000000");
    const QByteArray path = setDb + QByteArray("/data/db");
    QTest::newRow("one packet") << QList{state} << QList{state} << false;
    QTest::newRow("two in one read") << QList{state + save} << QList{state, save} << false;
    QTest::newRow("save split 1+4") << QList{save.left(1), save.mid(1)} << QList{save} << false;
    QTest::newRow("split 3+4+3") << QList{(state + save).left(3), (state + save).mid(3, 4), (state + save).mid(7)}
                                 << QList{state, save} << false;
    QTest::newRow("short packet waits") << QList{hex("08")} << QList<QByteArray>{} << true;
    QTest::newRow("short packet after the wait") << QList<QByteArray>{hex("08"), "|", state}
                                                 << QList{hex("08"), state} << false;
    QTest::newRow("packet then short tail") << QList<QByteArray>{state + hex("0601"), "|"}
                                            << QList{state, hex("0601")} << false;
    QTest::newRow("path waits for its end") << QList{path} << QList<QByteArray>{} << true;
    QTest::newRow("path from several reads") << QList<QByteArray>{setDb, "/data", "/db", "|"}
                                             << QList{path} << false;
    QTest::newRow("packet before a path") << QList<QByteArray>{state + path, "|", save}
                                          << QList{state, path, save} << false;
    QTest::newRow("opcode byte only") << QList<QByteArray>{setDb, "|"} << QList{setDb} << false;
    // A control byte ends a path without any wait: it is the next opcode.
    QTest::newRow("path ended by a request") << QList{path + state} << QList{path, state} << false;
    QTest::newRow("empty path, then requests") << QList{setDb + state + save} << QList{setDb, state, save} << false;
    const QByteArray tooLong = setDb + QByteArray(PacketReader::maxPathBytes + 10, 'a');
    QTest::newRow("too long a path ended by a request")
        << QList{tooLong + state} << QList{tooLong.left(PacketReader::maxPathBytes + 2), state} << false;
    QTest::newRow("set_db byte inside a payload") << QList{hex("010b000000")} << QList{hex("010b000000")} << false;
    QTest::newRow("wait without a fragment") << QList<QByteArray>{"|", state} << QList{state} << false;
    QTest::newRow("nothing") << QList<QByteArray>{} << QList<QByteArray>{} << false;
}

void TestPacketReader::splitsIntoRequests()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(bool, waiting);
    PacketReader reader;
    QCOMPARE(drive(reader, chunks), requests);
    QCOMPARE(reader.waiting(), waiting);
    QCOMPARE(reader.hasRequest(), false);
}

void TestPacketReader::overLongPathIsCutJustOverTheLimit()
{
    PacketReader reader;
    const QByteArray path(1024 * 1024, 'a');
    // A megabyte in reads of 64 KiB minus one: never over the held bound.
    for (qsizetype at = 0; at < path.size(); at += PacketReader::heldLimit - 1)
        QVERIFY(reader.append((at == 0 ? setDb : QByteArray()) + path.mid(at, PacketReader::heldLimit - 1)));
    QVERIFY(reader.heldBytes() <= PacketReader::maxPathBytes + 2);
    reader.expire();
    const auto request = reader.next();
    QVERIFY(request.has_value());
    QCOMPARE(request->size(), 1 + PacketReader::maxPathBytes + 1);
    QVERIFY(!reader.next().has_value());
}

void TestPacketReader::heldBytesAreBounded()
{
    PacketReader reader;
    const QByteArray chunk = hex("0100000000").repeated(1000);
    qsizetype taken = 0;
    while (reader.append(chunk))
        taken += chunk.size();
    QVERIFY(taken <= PacketReader::heldLimit);
    QVERIFY(taken + chunk.size() > PacketReader::heldLimit);
    QCOMPARE(reader.heldBytes(), taken); // the refused read was not kept
    // Answered requests no longer count.
    while (reader.next()) {
    }
    QVERIFY(reader.append(chunk));
    QCOMPARE(reader.heldBytes(), chunk.size());
}

QTEST_GUILESS_MAIN(TestPacketReader)
#include "tst_packetreader.moc"
