#include "correctnesspattern.h"

std::optional<CorrectnessPattern> CorrectnessPattern::parse(const QString& text)
{
    CorrectnessPattern pattern;
    if (text == QLatin1String("always")) {
        pattern.steps = {true};
    } else if (text == QLatin1String("never")) {
        pattern.steps = {false};
    } else if (text == QLatin1String("alternate")) {
        pattern.steps = {true, false};
    } else if (text.startsWith(QLatin1String("script:"))) {
        const QString digits = text.mid(7);
        for (QChar c : digits) {
            if (c != QLatin1Char('0') && c != QLatin1Char('1'))
                return std::nullopt;
            pattern.steps.append(c == QLatin1Char('1'));
        }
        if (pattern.steps.isEmpty())
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    return pattern;
}

bool CorrectnessPattern::next()
{
    const bool value = steps.at(position);
    position = (position + 1) % steps.size();
    return value;
}

void CorrectnessPattern::restart()
{
    position = 0;
}
