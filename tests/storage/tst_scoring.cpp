#include "storage/person.h"
#include "storage/randomdraw.h"
#include "storage/scoring.h"

#include <QDate>
#include <QSet>
#include <QTest>

using Bounds = Person::Bounds;
Q_DECLARE_METATYPE(Bounds)

namespace {

Bounds sum(const Bounds& a, const Bounds& b)
{
    Bounds total{};
    for (std::size_t i = 0; i < total.size(); ++i)
        total[i] = a[i] + b[i];
    return total;
}

const Bounds bmi1{10, 20, 6, 8, 1, 3};
const Bounds bmi2{5, 15, 4, 6, 2, 2};
const Bounds bmi3{8, 16, 8, 6, 4, 5};
const Bounds bmi4{9, 18, 10, 10, 10, 12};
const Bounds bmi5{15, 20, 3, 12, 12, 12};
const Bounds ageChild{20, 20, 15, 15, 3, 15};
const Bounds age10to30{10, 15, 6, 10, 1, 4};
const Bounds age31to45{5, 10, 2, 10, 3, 4};
const Bounds age46to60{13, 15, 4, 12, 6, 10};
const Bounds ageOld{20, 20, 15, 15, 3, 15};

QString bornYearsAgo(int years)
{
    // The last day of the year: months and days must not matter.
    return QStringLiteral("%1-12-31").arg(QDate::currentDate().year() - years, 4, 10, QLatin1Char('0'));
}

constexpr int draws = 400;

} // namespace

class TestScoring : public QObject {
    Q_OBJECT
private slots:
    void bmiClasses_data();
    void bmiClasses();
    void ageClasses_data();
    void ageClasses();
    void rangesAccumulateOnce();
    void randomIntStaysInRange_data();
    void randomIntStaysInRange();
    void randomRealsStayInRange_data();
    void randomRealsStayInRange();
    void exclusionTables();
    void abnormalValue_data();
    void abnormalValue();
    void unknownLevelLeavesScore();
    void group27OnlyFirstDeviates();
    void drawMarks_data();
    void drawMarks();
    void marksKeepFirstLevel();
};

void TestScoring::bmiClasses_data()
{
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("weight");
    QTest::addColumn<Bounds>("expected");
    QTest::newRow("20.7 exactly: first") << 100.0 << 20.7 << sum(bmi1, age31to45);
    QTest::newRow("just above 20.7: second") << 100.0 << 20.71 << sum(bmi2, age31to45);
    QTest::newRow("27.8 exactly: second") << 100.0 << 27.8 << sum(bmi2, age31to45);
    QTest::newRow("just above 27.8: third") << 100.0 << 27.81 << sum(bmi3, age31to45);
    QTest::newRow("31.1 exactly: third") << 100.0 << 31.1 << sum(bmi3, age31to45);
    QTest::newRow("just above 31.1: fourth") << 100.0 << 31.11 << sum(bmi4, age31to45);
    QTest::newRow("45.4 exactly: fourth") << 100.0 << 45.4 << sum(bmi4, age31to45);
    QTest::newRow("just above 45.4: last") << 100.0 << 45.41 << sum(bmi5, age31to45);
    QTest::newRow("height 0: infinite, last") << 0.0 << 70.0 << sum(bmi5, age31to45);
    QTest::newRow("height and weight 0: NaN, last") << 0.0 << 0.0 << sum(bmi5, age31to45);
    QTest::newRow("adult 175/70") << 175.0 << 70.0 << sum(bmi2, age31to45);
}

void TestScoring::bmiClasses()
{
    QFETCH(double, height);
    QFETCH(double, weight);
    QFETCH(Bounds, expected);
    Person person;
    person.height = height;
    person.weight = weight;
    person.birthday = bornYearsAgo(40);
    QCOMPARE(person.markCountRanges(), expected);
    QVERIFY(person.rangesComputed);
}

void TestScoring::ageClasses_data()
{
    QTest::addColumn<QString>("birthday");
    QTest::addColumn<Bounds>("expected");
    QTest::newRow("9: below 10") << bornYearsAgo(9) << sum(bmi2, ageChild);
    QTest::newRow("10") << bornYearsAgo(10) << sum(bmi2, age10to30);
    QTest::newRow("30") << bornYearsAgo(30) << sum(bmi2, age10to30);
    QTest::newRow("31") << bornYearsAgo(31) << sum(bmi2, age31to45);
    QTest::newRow("45") << bornYearsAgo(45) << sum(bmi2, age31to45);
    QTest::newRow("46") << bornYearsAgo(46) << sum(bmi2, age46to60);
    QTest::newRow("60") << bornYearsAgo(60) << sum(bmi2, age46to60);
    QTest::newRow("61: above 60") << bornYearsAgo(61) << sum(bmi2, ageOld);
    QTest::newRow("unreadable birthday: year 0") << QStringLiteral("03/02/1990") << sum(bmi2, ageOld);
    QTest::newRow("empty birthday") << QString() << sum(bmi2, ageOld);
}

void TestScoring::ageClasses()
{
    QFETCH(QString, birthday);
    QFETCH(Bounds, expected);
    Person person;
    person.height = 175;
    person.weight = 70;
    person.birthday = birthday;
    QCOMPARE(person.markCountRanges(), expected);
}

void TestScoring::rangesAccumulateOnce()
{
    Person person;
    person.height = 100;
    person.weight = 30; // third class
    person.birthday = bornYearsAgo(5);
    const Bounds first = person.markCountRanges();
    QCOMPARE(first, sum(bmi3, ageChild));
    // The level-100 bounds come out reversed: 23 and 21.
    QCOMPARE(first[2], 23);
    QCOMPARE(first[3], 21);
    QCOMPARE(person.markCountRanges(), first);
    QCOMPARE(person.level10Min, first[0]);
}

void TestScoring::randomIntStaysInRange_data()
{
    QTest::addColumn<int>("lo");
    QTest::addColumn<int>("hi");
    QTest::newRow("ordinary") << 3 << 7;
    QTest::newRow("single value") << 5 << 5;
    QTest::newRow("bounds reversed") << 23 << 21;
    QTest::newRow("negative") << -2 << 1;
}

void TestScoring::randomIntStaysInRange()
{
    QFETCH(int, lo);
    QFETCH(int, hi);
    const int low = std::min(lo, hi);
    const int high = std::max(lo, hi);
    QSet<int> seen;
    for (int i = 0; i < draws; ++i) {
        const int v = randomInt(lo, hi);
        QVERIFY2(v >= low && v <= high, qPrintable(QString::number(v)));
        seen.insert(v);
    }
    QCOMPARE(seen.size(), high - low + 1); // every value turns up in 400 draws
}

void TestScoring::randomRealsStayInRange_data()
{
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::newRow("unit") << 0.0 << 1.0;
    QTest::newRow("narrow") << 1.03 << 1.1;
    QTest::newRow("reversed") << 0.9 << 0.8;
}

void TestScoring::randomRealsStayInRange()
{
    QFETCH(double, lo);
    QFETCH(double, hi);
    const double low = std::min(lo, hi);
    const double high = std::max(lo, hi);
    double mean = 0;
    for (int i = 0; i < draws; ++i) {
        const double d = randomDouble(lo, hi);
        const float f = randomFloat(static_cast<float>(lo), static_cast<float>(hi));
        QVERIFY(d >= low && d < high);
        QVERIFY(f >= static_cast<float>(low) && f < static_cast<float>(high));
        mean += d / draws;
    }
    // Mean of 400 uniform draws lies within 5 standard errors of the centre.
    const double sigma = (high - low) / std::sqrt(12.0 * draws);
    QVERIFY(std::abs(mean - (low + high) / 2) < 5 * sigma);
    QCOMPARE(randomDouble(lo, lo), lo);
}

void TestScoring::exclusionTables()
{
    QCOMPARE(neverMarkedParameters(false),
             (QList<quint32>{70, 71, 72, 73, 74, 75, 76, 77, 78, 146, 147, 148, 149, 150, 195, 196, 197, 198}));
    QCOMPARE(neverMarkedParameters(true), (QList<quint32>{79, 80, 81, 123, 124, 125}));
    QVERIFY(deviatesLow(15) && deviatesLow(25) && deviatesLow(27));
    QVERIFY(!deviatesLow(16) && !deviatesLow(26) && !deviatesLow(1));
    QCOMPARE(scaleOfLevel(10), 1);
    QCOMPARE(scaleOfLevel(100), 2);
    QCOMPARE(scaleOfLevel(1000), 3);
    QCOMPARE(scaleOfLevel(0), 0);
}

void TestScoring::abnormalValue_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<quint32>("group");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("deductMin");
    QTest::addColumn<int>("deductMax");
    QTest::addColumn<double>("lowMin");
    QTest::addColumn<double>("lowMax");
    QTest::addColumn<double>("highMin");
    QTest::addColumn<double>("highMax");
    QTest::addColumn<bool>("alwaysLow");
    const quint32 groups[] = {3, 15, 25};
    for (quint32 g : groups) {
        const bool low = g != 3;
        QTest::addRow("10, group %u", g) << 10 << g << 1 << 50 << 60 << 0.8 << 0.9 << 1.03 << 1.1 << low;
        QTest::addRow("100, group %u", g) << 100 << g << 2 << 101 << 123 << 0.7 << 0.79 << 1.11 << 1.2 << low;
        QTest::addRow("1000, group %u", g) << 1000 << g << 3 << 142 << 163 << 0.6 << 0.69 << 1.21 << 1.3 << low;
    }
}

void TestScoring::abnormalValue()
{
    QFETCH(int, level);
    QFETCH(quint32, group);
    QFETCH(int, scale);
    QFETCH(int, deductMin);
    QFETCH(int, deductMax);
    QFETCH(double, lowMin);
    QFETCH(double, lowMax);
    QFETCH(double, highMin);
    QFETCH(double, highMax);
    QFETCH(bool, alwaysLow);
    const ParameterInfo p{9, 40.0F, 50.0F, QStringLiteral("G"), group};
    int lows = 0;
    QSet<int> deductions;
    for (int i = 0; i < draws; ++i) {
        bool group27Done = false;
        int score = 10000;
        int gotScale = -1;
        const double v = ::abnormalValue(p, level, group27Done, score, gotScale);
        QCOMPARE(gotScale, scale);
        const int deduction = 10000 - score;
        QVERIFY(deduction >= deductMin && deduction <= deductMax);
        deductions.insert(deduction);
        QVERIFY2(v < 40.0 || v > 50.0, qPrintable(QString::number(v)));
        if (v < 40.0) {
            ++lows;
            QVERIFY(v >= 40.0 * lowMin && v <= 40.0 * lowMax);
        } else {
            QVERIFY(v >= 50.0 * highMin && v <= 50.0 * highMax);
        }
        QVERIFY(!group27Done);
    }
    QCOMPARE(deductions.size(), deductMax - deductMin + 1);
    if (alwaysLow) {
        QCOMPARE(lows, draws);
    } else {
        // P(low) = 49/100: 400 draws stay well inside 120..270.
        QVERIFY2(lows > 120 && lows < 270, qPrintable(QString::number(lows)));
    }
}

void TestScoring::unknownLevelLeavesScore()
{
    const ParameterInfo p{9, 1.0F, 2.0F, QString(), 27};
    bool done = false;
    int score = 10000;
    int scale = 0;
    QCOMPARE(::abnormalValue(p, 50, done, score, scale), 0.0);
    QCOMPARE(score, 10000);
    QCOMPARE(scale, 0);
    QVERIFY(!done);
}

void TestScoring::group27OnlyFirstDeviates()
{
    const ParameterInfo p{9, 40.0F, 50.0F, QStringLiteral("Group 27"), 27};
    for (int i = 0; i < draws / 4; ++i) {
        bool done = false;
        int score = 10000;
        int scale = 0;
        const double first = ::abnormalValue(p, 100, done, score, scale);
        QVERIFY(done);
        QVERIFY(first >= 40.0 * 0.7 && first <= 40.0 * 0.79); // always low
        const int afterFirst = score;
        const double second = ::abnormalValue(p, 1000, done, score, scale);
        QVERIFY(done);
        QVERIFY2(second >= 40.0 && second < 50.0, qPrintable(QString::number(second)));
        QCOMPARE(scale, 3);
        QVERIFY(afterFirst - score >= 142 && afterFirst - score <= 163);
    }
}

void TestScoring::drawMarks_data()
{
    QTest::addColumn<QList<quint32>>("ids");
    QTest::addColumn<bool>("female");
    QTest::addColumn<int>("count10");
    QTest::addColumn<int>("count100");
    QTest::addColumn<int>("count1000");
    QTest::addColumn<int>("maxMarks");
    QList<quint32> many;
    for (quint32 id = 60; id < 130; ++id)
        many << id;
    QTest::newRow("empty list") << QList<quint32>{} << false << 5 << 5 << 5 << 0;
    QTest::newRow("all excluded, male") << QList<quint32>{70, 71, 146, 198} << false << 3 << 2 << 1 << 0;
    QTest::newRow("all excluded, female") << QList<quint32>{79, 80, 123, 125} << true << 3 << 2 << 1 << 0;
    QTest::newRow("female ids fine for a man") << QList<quint32>{79, 80} << false << 3 << 3 << 3 << 2;
    QTest::newRow("one markable id") << QList<quint32>{70, 5, 71} << false << 4 << 4 << 4 << 1;
    QTest::newRow("many, male") << many << false << 10 << 5 << 3 << 18;
    QTest::newRow("many, female") << many << true << 20 << 10 << 5 << 35;
    QTest::newRow("zero counts") << many << true << 0 << 0 << 0 << 0;
}

void TestScoring::drawMarks()
{
    QFETCH(QList<quint32>, ids);
    QFETCH(bool, female);
    QFETCH(int, count10);
    QFETCH(int, count100);
    QFETCH(int, count1000);
    QFETCH(int, maxMarks);
    for (int round = 0; round < 20; ++round) {
        const Marks marks = ::drawMarks(ids, female, count10, count100, count1000);
        QVERIFY(static_cast<int>(marks.size()) <= maxMarks);
        std::map<int, int> perLevel;
        for (const auto& [id, level] : marks) {
            QVERIFY(ids.contains(id));
            QVERIFY(!neverMarkedParameters(female).contains(id));
            QVERIFY(level == 10 || level == 100 || level == 1000);
            ++perLevel[level];
        }
        QVERIFY(perLevel[10] <= count10 && perLevel[100] <= count100 && perLevel[1000] <= count1000);
        if (maxMarks > 0 && count10 > 0)
            QVERIFY(perLevel[10] >= 1); // the first draw of level 10 always marks
    }
}

void TestScoring::marksKeepFirstLevel()
{
    // With one markable id the first level takes it and later levels add nothing.
    const Marks marks = ::drawMarks({70, 5, 71}, false, 2, 3, 4);
    QCOMPARE(marks.size(), std::size_t(1));
    QCOMPARE(marks.at(5), 10);
    const Marks later = ::drawMarks({5}, false, 0, 2, 4);
    QCOMPARE(later.at(5), 100);
}

QTEST_GUILESS_MAIN(TestScoring)
#include "tst_scoring.moc"
