#pragma once

#include <QList>
#include <QString>
#include <optional>

// Which successive data frames report a correct measurement:
// "always", "never", "alternate" (correct first) or "script:1101..." whose
// digits are played in order and then repeated from the start.
class CorrectnessPattern {
public:
    static std::optional<CorrectnessPattern> parse(const QString& text);

    // Correctness of the next data frame.
    bool next();
    // Starts again from the first step (each start of the sensor does).
    void restart();

private:
    QList<bool> steps;
    qsizetype position = 0;
};
