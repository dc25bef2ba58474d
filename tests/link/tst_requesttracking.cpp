#include "link/correlatedclienthandler.h"
#include "link/correlatedpacket.h"
#include "link/requesttracker.h"

#include <QDateTime>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class TestRequestTracking : public QObject {
    Q_OBJECT
private slots:
    void handleTimeout_data();
    void handleTimeout();
    void packetIds();
};

void TestRequestTracking::handleTimeout_data()
{
    QTest::addColumn<bool>("registered");
    QTest::addColumn<bool>("withOnError");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("timeouts");
    QTest::newRow("not pending") << false << false << 0 << 0;
    QTest::newRow("pending without onError") << true << false << 0 << 1;
    QTest::newRow("pending with onError") << true << true << 1 << 1;
}

void TestRequestTracking::handleTimeout()
{
    QFETCH(bool, registered);
    QFETCH(bool, withOnError);
    QFETCH(int, errors);
    QFETCH(int, timeouts);

    CorrelatedClientHandler handler;
    RequestTracker* tracker = handler.tracker();
    QCOMPARE(tracker->parent(), &handler);
    QSignalSpy spy(tracker, &RequestTracker::requestTimeout);
    QStringList errorTexts;
    QPointer<QObject> watcher = new QObject;
    const correlation_id_t id = 42;
    if (registered) {
        auto request = std::make_unique<PendingRequest>();
        request->timestamp = QDateTime::currentDateTime().addMSecs(-250);
        request->watcher.reset(watcher.data());
        if (withOnError)
            request->onError = [&](const QString& text) { errorTexts << text; };
        tracker->addPending(id, std::move(request));
    } else {
        delete watcher.data();
    }

    QVERIFY(QMetaObject::invokeMethod(tracker, "handleTimeout", Q_ARG(correlation_id_t, id)));

    QCOMPARE(spy.count(), timeouts);
    if (timeouts)
        QCOMPARE(spy.first().first().value<correlation_id_t>(), id);
    QVERIFY(!tracker->isPending(id));
    QVERIFY(watcher.isNull());
    QCOMPARE(errorTexts.size(), errors);
    if (errors) {
        const auto match = QRegularExpression(QStringLiteral("^Request timeout after (\\d+)ms$")).match(errorTexts.first());
        QVERIFY2(match.hasMatch(), qPrintable(errorTexts.first()));
        QVERIFY(match.captured(1).toLongLong() >= 250);
    }
}

void TestRequestTracking::packetIds()
{
    const CorrelatedPacket first;
    const CorrelatedPacket second;
    QCOMPARE(second.correlationId, first.correlationId + 1);
    const CorrelatedPacket copy = second;
    QCOMPARE(copy.correlationId, second.correlationId);
    CorrelatedPacket source = first;
    const CorrelatedPacket moved = std::move(source);
    QCOMPARE(moved.correlationId, first.correlationId);
    QCOMPARE(moved.headerByte, quint8(1));
    const CorrelatedClientHandler handler; // registers the meta-type
    QVERIFY(QMetaType::fromName("CorrelatedPacket").isValid());
    QCOMPARE(QMetaType::fromType<correlation_id_t>().name(), "uint");
}

QTEST_GUILESS_MAIN(TestRequestTracking)
#include "tst_requesttracking.moc"
