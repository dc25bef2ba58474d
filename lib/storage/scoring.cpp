#include "storage/scoring.h"

#include "storage/randomdraw.h"

#include <algorithm>

namespace {

constexpr quint32 singleDeviationGroup = 27;

struct LevelRule {
    int level;
    int scale;
    qint32 deductionMin, deductionMax;
    double lowMin, lowMax;
    double highMin, highMax;
};

constexpr LevelRule levelRules[] = {
    {10, 1, 50, 60, 0.8, 0.9, 1.03, 1.1},
    {100, 2, 101, 123, 0.7, 0.79, 1.11, 1.2},
    {1000, 3, 142, 163, 0.6, 0.69, 1.21, 1.3},
};

} // namespace

const QList<quint32>& neverMarkedParameters(bool female)
{
    static const QList<quint32> male{70,  71,  72,  73,  74,  75,  76,  77,  78,
                                     146, 147, 148, 149, 150, 195, 196, 197, 198};
    static const QList<quint32> women{79, 80, 81, 123, 124, 125};
    return female ? women : male;
}

bool deviatesLow(quint32 organGroupId)
{
    return organGroupId == 15 || organGroupId == 25 || organGroupId == 27;
}

int scaleOfLevel(int level)
{
    for (const LevelRule& rule : levelRules) {
        if (rule.level == level)
            return rule.scale;
    }
    return 0;
}

Marks drawMarks(const QList<quint32>& ids, bool female, qint32 count10, qint32 count100,
                qint32 count1000)
{
    Marks marks;
    const QList<quint32>& excluded = neverMarkedParameters(female);
    const auto markable = [&excluded](quint32 id) { return !excluded.contains(id); };
    // Without a markable id the redraw below could never end.
    if (std::none_of(ids.cbegin(), ids.cend(), markable))
        return marks;

    const auto last = static_cast<qint32>(ids.size() - 1);
    const std::pair<int, qint32> rounds[] = {{10, count10}, {100, count100}, {1000, count1000}};
    for (const auto& [level, count] : rounds) {
        for (qint32 i = 0; i < count; ++i) {
            quint32 candidate = ids.at(randomInt(0, last));
            if (markable(candidate) && !marks.contains(candidate)) {
                marks.emplace(candidate, level);
                continue;
            }
            do {
                candidate = ids.at(randomInt(0, last));
            } while (!markable(candidate));
            marks.emplace(candidate, level); // no effect when already marked
        }
    }
    return marks;
}

double abnormalValue(const ParameterInfo& parameter, int level, bool& group27Done, int& score,
                     int& scale)
{
    const bool low = deviatesLow(parameter.organGroupId) || randomInt(1, 100) > 51;
    const auto rule = std::find_if(std::begin(levelRules), std::end(levelRules),
                                   [level](const LevelRule& r) { return r.level == level; });
    if (rule == std::end(levelRules))
        return 0.0;

    scale = rule->scale;
    score -= randomInt(rule->deductionMin, rule->deductionMax);
    const double value = low
        ? static_cast<double>(parameter.min) * randomDouble(rule->lowMin, rule->lowMax)
        : static_cast<double>(parameter.max) * randomDouble(rule->highMin, rule->highMax);

    if (parameter.organGroupId == singleDeviationGroup) {
        if (group27Done)
            return static_cast<double>(randomFloat(parameter.min, parameter.max));
        group27Done = true;
    }
    return value;
}
