#include "link/requestqueue.h"

#include <QBuffer>
#include <QtTest>

class TestRequestQueue : public QObject {
    Q_OBJECT
private slots:
    void splitBacklog_data();
    void splitBacklog();
    void heldRequestsComeFirstThenUnreadData();
    void nothingWhileBusy();
};

void TestRequestQueue::splitBacklog_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("messages");
    const QByteArray state = QByteArray::fromHex("0100000000");
    const QByteArray save = QByteArray::fromHex("0601000000");
    const QByteArray setDb = QByteArray(1, '\x0b') + QByteArray("/data/db");
    QTest::newRow("one") << state << QList<QByteArray>{state};
    QTest::newRow("two packets") << state + save << QList<QByteArray>{state, save};
    QTest::newRow("set_db takes the rest") << state + setDb << QList<QByteArray>{state, setDb};
    QTest::newRow("short tail") << state + QByteArray::fromHex("08") << QList<QByteArray>{state, QByteArray::fromHex("08")};
    QTest::newRow("empty") << QByteArray() << QList<QByteArray>{};
}

void TestRequestQueue::splitBacklog()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, messages);
    QCOMPARE(RequestQueue::splitBacklog(bytes), messages);
}

void TestRequestQueue::heldRequestsComeFirstThenUnreadData()
{
    QByteArray unread = QByteArray::fromHex("0100000000") + QByteArray::fromHex("0800000000");
    QBuffer source(&unread);
    QVERIFY(source.open(QIODevice::ReadOnly));
    RequestQueue queue;
    QVERIFY(queue.hasWork(&source));
    queue.hold(QByteArray::fromHex("0400000000"));
    QVERIFY(queue.holding());
    QCOMPARE(queue.next(&source), std::optional(QByteArray::fromHex("0400000000")));
    QCOMPARE(source.bytesAvailable(), 10); // not read while something was held
    QCOMPARE(queue.next(&source), std::optional(QByteArray::fromHex("0100000000")));
    QCOMPARE(queue.next(&source), std::optional(QByteArray::fromHex("0800000000")));
    QVERIFY(!queue.next(&source).has_value());
    QVERIFY(!queue.hasWork(&source));
    QVERIFY(!queue.holding());
}

void TestRequestQueue::nothingWhileBusy()
{
    RequestQueue queue;
    queue.hold(QByteArray::fromHex("0100000000"));
    queue.dispatching = true;
    QVERIFY(!queue.next(nullptr).has_value());
    queue.dispatching = false;
    queue.measurementEnding = true;
    QVERIFY(queue.holding());
    QVERIFY(!queue.next(nullptr).has_value());
    queue.measurementEnding = false;
    QVERIFY(queue.next(nullptr).has_value());
}

QTEST_GUILESS_MAIN(TestRequestQueue)
#include "tst_requestqueue.moc"
