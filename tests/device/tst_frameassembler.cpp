// Whole frames out of reads that cut and glue them, as a USB bridge does.
#include "device/frameassembler.h"
#include "v2deviceprobe.h"

#include <QTest>

namespace {
QByteArray frame(char status)
{
    return V2DeviceProbe::frameWith(static_cast<quint8>(status));
}
} // namespace

class TestFrameAssembler : public QObject {
    Q_OBJECT
private slots:
    void reads_data();
    void reads();
    void garbageStaysBounded();
};

void TestFrameAssembler::reads_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QByteArray>("statuses"); // status byte of each frame that comes out, in order
    QTest::addColumn<int>("left");            // bytes still waiting afterwards

    const QByteArray a = frame('\x01');
    const QByteArray b = frame('\x00');
    QTest::newRow("one frame per read") << QList<QByteArray>{a, b} << QByteArray("\x01\x00", 2) << 0;
    QTest::newRow("split over two reads") << QList<QByteArray>{a.left(9), a.mid(9)} << QByteArray("\x01") << 0;
    QTest::newRow("glued, one read") << QList<QByteArray>{a + b} << QByteArray("\x01\x00", 2) << 0;
    QTest::newRow("frame and a half, then the rest")
        << QList<QByteArray>{a + b.left(11), b.mid(11)} << QByteArray("\x01\x00", 2) << 0;
    QTest::newRow("noise before a frame") << QList<QByteArray>{QByteArray("\x00\xff*x#", 5) + a}
                                          << QByteArray("\x01") << 0;
    QByteArray damaged = a;
    damaged[19] = static_cast<char>(damaged.at(19) + 1);
    QTest::newRow("damaged frame, then a good one") << QList<QByteArray>{damaged + b} << QByteArray("\x00", 1) << 0;
    QTest::newRow("marker cut after '*'") << QList<QByteArray>{QByteArray("zz*"), a.mid(1)} << QByteArray("\x01") << 0;
    QTest::newRow("incomplete frame waits") << QList<QByteArray>{a.left(20)} << QByteArray() << 20;
}

void TestFrameAssembler::reads()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QByteArray, statuses);
    QFETCH(int, left);

    FrameAssembler assembler;
    QByteArray seen;
    for (const QByteArray& read : reads) {
        for (const QByteArray& f : assembler.feed(read)) {
            QVERIFY(V2Device::checkFrame(f));
            seen.append(f.at(2));
        }
    }
    QCOMPARE(seen.toHex(), statuses.toHex());
    QCOMPARE(assembler.pending(), left);
}

void TestFrameAssembler::garbageStaysBounded()
{
    FrameAssembler assembler;
    // Hostile input full of start markers never grows the buffer past one frame.
    QByteArray junk;
    for (int i = 0; i < 5000; ++i)
        junk += "*/";
    QVERIFY(assembler.feed(junk).isEmpty());
    QVERIFY(assembler.pending() < 23);
    QCOMPARE(assembler.feed(frame('\x01')).size(), 1);
}

QTEST_GUILESS_MAIN(TestFrameAssembler)
#include "tst_frameassembler.moc"
