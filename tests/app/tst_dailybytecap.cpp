// The log file's daily share: what passes, the one notice, and the next day.
#include "dailybytecap.h"

#include <QTest>
#include <spdlog/sinks/ostream_sink.h>
#include <sstream>

namespace {

spdlog::details::log_msg message(const std::string& text, int dayOffset)
{
    const auto when = spdlog::log_clock::now() + std::chrono::hours(24 * dayOffset);
    return spdlog::details::log_msg(when, spdlog::source_loc{}, "backend", spdlog::level::info, text);
}

} // namespace

class TestDailyByteCap : public QObject {
    Q_OBJECT
private slots:
    void passesUntilTheDaysShareIsUsed_data();
    void passesUntilTheDaysShareIsUsed();
};

void TestDailyByteCap::passesUntilTheDaysShareIsUsed_data()
{
    QTest::addColumn<int>("cap");
    QTest::addColumn<QList<int>>("days"); // day of each 52-byte message (4 bytes of text)
    QTest::addColumn<QStringList>("written");
    QTest::newRow("under the share") << 200 << QList{0, 0, 0} << QStringList{"m0", "m1", "m2"};
    QTest::newRow("share used: one notice, then nothing")
        << 110 << QList{0, 0, 0, 0} << QStringList{"m0", "m1", "Log limit of 110 bytes"};
    QTest::newRow("the next day starts afresh")
        << 110 << QList{0, 0, 0, 1, 1} << QStringList{"m0", "m1", "Log limit of 110 bytes", "m3", "m4"};
    QTest::newRow("one line over the share") << 10 << QList{0} << QStringList{"Log limit of 10 bytes"};
}

void TestDailyByteCap::passesUntilTheDaysShareIsUsed()
{
    QFETCH(int, cap);
    QFETCH(QList<int>, days);
    QFETCH(QStringList, written);
    std::ostringstream out;
    auto target = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
    target->set_pattern("%v");
    DailyByteCap sink(target, static_cast<std::size_t>(cap));
    for (int i = 0; i < days.size(); ++i)
        sink.log(message("m" + std::to_string(i) + "..", days.at(i)));
    sink.flush();
    const QStringList lines = QString::fromStdString(out.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), written.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(lines.at(i).startsWith(written.at(i)), qPrintable(lines.join(QLatin1Char('|'))));
}

QTEST_GUILESS_MAIN(TestDailyByteCap)
#include "tst_dailybytecap.moc"
