// The transcript format, the capture's frame splitting and the replay's
// choice of what to answer.
#include "framesplitter.h"
#include "replayscript.h"
#include "transcript.h"

#include "device/v2frame.h"

#include <QTest>

namespace {
QByteArray frame(quint8 command)
{
    return V2Frame::build(command);
}

QByteArray text(const QByteArray& body)
{
    return QByteArray(Transcript::header) + '\n' + body;
}

using Dir = Transcript::Direction;
} // namespace

class TestTranscript : public QObject {
    Q_OBJECT
private slots:
    void roundTrip();
    void rejects_data();
    void rejects();
    void longRunsAreSplit();
    void splitter_data();
    void splitter();
    void replayDecisions_data();
    void replayDecisions();
    void replayTimesRepliesFromTheFirstOfARun();
};

void TestTranscript::roundTrip()
{
    Transcript t;
    t.addComment(QStringLiteral("port /dev/pts/7\nsecond line"));
    t.append(417, Dir::ToDevice, frame('Y'));
    t.append(612001, Dir::FromDevice, QByteArray::fromHex("00ff2a"));
    t.append(612001, Dir::FromDevice, frame('R'));
    t.append(5, Dir::ToDevice, frame('C')); // earlier than the last: kept in order
    const auto parsed = Transcript::parse(t.toText());
    QVERIFY2(parsed.has_value(), qPrintable(parsed ? QString() : parsed.error()));
    QCOMPARE(parsed->comments(), QStringList{QStringLiteral("port /dev/pts/7 second line")});
    QCOMPARE(parsed->entries().size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(parsed->entries().at(i).bytes, t.entries().at(i).bytes);
        QCOMPARE(parsed->entries().at(i).direction, t.entries().at(i).direction);
        QCOMPARE(parsed->entries().at(i).offsetUs, t.entries().at(i).offsetUs);
    }
    QCOMPARE(parsed->entries().at(3).offsetUs, 612001);
    QVERIFY(t.toText().contains("   612.001 < 00ff2a\n"));
}

void TestTranscript::rejects_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("error");
    QTest::newRow("no header") << QByteArray("1.000 > 2a2f\n") << QStringLiteral("line 1: expected the header");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("line 1: expected the header");
    QTest::newRow("two fields") << text("1.000 >\n") << QStringLiteral("line 2: expected an offset");
    QTest::newRow("bad offset") << text("1.0000 > 2a\n") << QStringLiteral("line 2: bad time offset");
    QTest::newRow("negative offset") << text("-1 > 2a\n") << QStringLiteral("line 2: bad time offset");
    QTest::newRow("offset too large") << text("999999999 > 2a\n") << QStringLiteral("line 2: bad time offset");
    QTest::newRow("backwards") << text("5 > 2a\n4.999 < 2a\n") << QStringLiteral("line 3: time offset goes backwards");
    QTest::newRow("direction") << text("1 = 2a\n") << QStringLiteral("line 2: direction");
    QTest::newRow("odd hex") << text("1 > 2a2\n") << QStringLiteral("line 2: bytes must be");
    QTest::newRow("not hex") << text("1 > 2g\n") << QStringLiteral("line 2: bytes must be");
    QTest::newRow("line too long") << text("1 > " + QByteArray(2 * Transcript::maxBytesPerLine + 2, 'a') + "\n")
                                   << QStringLiteral("line 2: bytes must be");
}

void TestTranscript::rejects()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, error);
    const auto parsed = Transcript::parse(input);
    QVERIFY(!parsed.has_value());
    QVERIFY2(parsed.error().startsWith(error), qPrintable(parsed.error()));
}

void TestTranscript::longRunsAreSplit()
{
    Transcript t;
    t.append(1, Dir::FromDevice, QByteArray(Transcript::maxBytesPerLine * 2 + 1, 'x'));
    QCOMPARE(t.entries().size(), 3);
    QCOMPARE(t.entries().at(2).bytes.size(), 1);
    QVERIFY(Transcript::parse(t.toText()).has_value());
}

void TestTranscript::splitter_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QByteArray>("left");
    const QByteArray a = frame('R');
    const QByteArray b = frame(0x01);
    QByteArray bad = frame('C');
    bad[19] = static_cast<char>(bad.at(19) + 1);
    QTest::newRow("one frame") << QList<QByteArray>{a} << QList<QByteArray>{a} << QByteArray();
    QTest::newRow("two glued") << QList<QByteArray>{a + b} << QList<QByteArray>{a, b} << QByteArray();
    QTest::newRow("split over reads") << QList<QByteArray>{a.left(10), a.mid(10)} << QList<QByteArray>{a}
                                      << QByteArray();
    const QByteArray stray = QByteArray::fromHex("00ff2a");
    QTest::newRow("stray before") << QList<QByteArray>{stray + a} << QList<QByteArray>{stray, a} << QByteArray();
    QTest::newRow("bad checksum kept as stray") << QList<QByteArray>{bad + b} << QList<QByteArray>{bad, b}
                                                << QByteArray();
    QTest::newRow("partial waits") << QList<QByteArray>{a + b.left(5)} << QList<QByteArray>{a} << b.left(5);
}

void TestTranscript::splitter()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QByteArray, left);
    FrameSplitter splitter;
    QList<QByteArray> got;
    for (const QByteArray& read : reads)
        got += splitter.feed(read);
    QCOMPARE(got, pieces);
    QCOMPARE(splitter.flush(), left);
}

void TestTranscript::replayDecisions_data()
{
    // Recorded: Y, R (answered), C (answered), X X (stream), Y. Each step is a
    // command letter, whether replies are still playing, and the expected
    // group (its first reply's command byte, '-' for none).
    QTest::addColumn<QByteArray>("letters");
    QTest::addColumn<QByteArray>("playing");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("as recorded") << QByteArray("YRCXY") << QByteArray("00000") << QByteArray("-RCd-");
    QTest::newRow("retry while streaming") << QByteArray("YRCXX") << QByteArray("00001") << QByteArray("-RCd-");
    QTest::newRow("repeat after replies replays")
        << QByteArray("RR") << QByteArray("00") << QByteArray("RR");
    QTest::newRow("unknown letter") << QByteArray("W") << QByteArray("0") << QByteArray("-");
    QTest::newRow("skips ahead, then wraps") << QByteArray("CYR") << QByteArray("000") << QByteArray("C-R");
}

void TestTranscript::replayDecisions()
{
    QFETCH(QByteArray, letters);
    QFETCH(QByteArray, playing);
    QFETCH(QByteArray, expected);
    Transcript t;
    t.append(0, Dir::ToDevice, frame('Y'));
    t.append(600000, Dir::ToDevice, frame('R'));
    t.append(620000, Dir::FromDevice, frame('R'));
    t.append(1100000, Dir::ToDevice, frame('C'));
    t.append(1120000, Dir::FromDevice, frame('C'));
    t.append(1600000, Dir::ToDevice, frame('X'));
    t.append(1700000, Dir::FromDevice, frame('d'));
    t.append(2000000, Dir::ToDevice, frame('X'));
    t.append(2100000, Dir::FromDevice, frame('d'));
    t.append(3000000, Dir::ToDevice, frame('Y'));
    ReplayScript script(t);
    QCOMPARE(script.groups().size(), 5);
    for (int i = 0; i < letters.size(); ++i) {
        const auto* group = script.onCommand(static_cast<quint8>(letters.at(i)), playing.at(i) == '1');
        const char got = (group && !group->replies.isEmpty()) ? group->replies.first().bytes.at(2) : '-';
        QVERIFY2(got == expected.at(i), qPrintable(QStringLiteral("step %1 ('%2'): got '%3'")
                                                       .arg(i).arg(QChar(letters.at(i))).arg(QChar(got))));
    }
}

void TestTranscript::replayTimesRepliesFromTheFirstOfARun()
{
    Transcript t;
    t.append(50, Dir::FromDevice, frame(0x01)); // before any command: not played
    t.append(1000, Dir::ToDevice, frame('X'));
    t.append(101000, Dir::FromDevice, frame(0x01));
    t.append(401000, Dir::ToDevice, frame('X'));
    t.append(501000, Dir::FromDevice, frame(0x00));
    ReplayScript script(t);
    QCOMPARE(script.unplayedLead(), qsizetype(V2Frame::size));
    QCOMPARE(script.groups().size(), 1);
    const auto& replies = script.groups().first().replies;
    QCOMPARE(replies.size(), 2);
    QCOMPARE(replies.at(0).delayUs, 100000);
    QCOMPARE(replies.at(1).delayUs, 500000);
}

QTEST_GUILESS_MAIN(TestTranscript)
#include "tst_transcript.moc"
