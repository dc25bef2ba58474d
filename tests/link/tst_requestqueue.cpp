#include "link/requestqueue.h"

#include <QtTest>

class TestRequestQueue : public QObject {
    Q_OBJECT
private slots:
    void nothingWhileBusy_data();
    void nothingWhileBusy();
};

void TestRequestQueue::nothingWhileBusy_data()
{
    QTest::addColumn<bool>("settingUp");
    QTest::addColumn<bool>("dispatching");
    QTest::addColumn<bool>("measurementEnding");
    QTest::newRow("setting up") << true << false << false;
    QTest::newRow("dispatching") << false << true << false;
    QTest::newRow("measurement ending") << false << false << true;
}

void TestRequestQueue::nothingWhileBusy()
{
    QFETCH(bool, settingUp);
    QFETCH(bool, dispatching);
    QFETCH(bool, measurementEnding);
    RequestQueue queue;
    queue.settingUp = settingUp;
    queue.dispatching = dispatching;
    queue.measurementEnding = measurementEnding;
    QVERIFY(queue.reader.append(QByteArray::fromHex("0100000000") + QByteArray::fromHex("0800000000")));
    QVERIFY(queue.hasWork());
    QVERIFY(!queue.next().has_value());
    queue.settingUp = queue.dispatching = queue.measurementEnding = false;
    QCOMPARE(queue.next(), std::optional(QByteArray::fromHex("0100000000")));
    QCOMPARE(queue.next(), std::optional(QByteArray::fromHex("0800000000")));
    QVERIFY(!queue.hasWork());
}

QTEST_GUILESS_MAIN(TestRequestQueue)
#include "tst_requestqueue.moc"
