#include "launchdate.h"

#include <QDate>
#include <QDateTime>
#include <QTest>
#include <QTime>

namespace {
// Seconds since the epoch of local noon on the given date.
qint32 noonOf(const QDate& date)
{
    return static_cast<qint32>(QDateTime(date, QTime(12, 0)).toSecsSinceEpoch());
}
} // namespace

class TestLaunchDate : public QObject {
    Q_OBJECT
private slots:
    void calendarDays_data();
    void calendarDays();
    void edgesOfTheDay();
};

void TestLaunchDate::calendarDays_data()
{
    QTest::addColumn<QDate>("received");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<bool>("accepted");
    const QDate d(2025, 10, 13);
    QTest::newRow("today") << d << d << true;
    QTest::newRow("yesterday") << d.addDays(-1) << d << true;
    QTest::newRow("tomorrow") << d.addDays(1) << d << false;
    QTest::newRow("two days ago") << d.addDays(-2) << d << false;
    QTest::newRow("month boundary") << QDate(2025, 10, 31) << QDate(2025, 11, 1) << true;
    QTest::newRow("year boundary") << QDate(2024, 12, 31) << QDate(2025, 1, 1) << true;
    QTest::newRow("same day-sum a month apart") << QDate(2025, 9, 14) << QDate(2025, 10, 13) << false;
    QTest::newRow("leap day") << QDate(2024, 2, 29) << QDate(2024, 3, 1) << true;
    QTest::newRow("a year ago") << QDate(2024, 10, 13) << d << false;
}

void TestLaunchDate::calendarDays()
{
    QFETCH(QDate, received);
    QFETCH(QDate, today);
    QFETCH(bool, accepted);
    QCOMPARE(launchDateAccepted(noonOf(received), today), accepted);
}

void TestLaunchDate::edgesOfTheDay()
{
    const QDate today(2025, 3, 10);
    const auto at = [](const QDate& day, const QTime& time) {
        return static_cast<qint32>(QDateTime(day, time).toSecsSinceEpoch());
    };
    QVERIFY(launchDateAccepted(at(today.addDays(-1), QTime(0, 0, 0)), today));
    QVERIFY(launchDateAccepted(at(today, QTime(23, 59, 59)), today));
    QVERIFY(!launchDateAccepted(at(today.addDays(-2), QTime(23, 59, 59)), today));
    QVERIFY(!launchDateAccepted(at(today.addDays(1), QTime(0, 0, 0)), today));
    QVERIFY(!launchDateAccepted(-1, today));
}

QTEST_GUILESS_MAIN(TestLaunchDate)
#include "tst_launchdate.moc"
