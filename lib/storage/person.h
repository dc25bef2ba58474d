#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

// The person being measured, as read from personal.db.
class Person {
public:
    // level10Min, level10Max, level100Min, level100Max, level1000Min, level1000Max
    using Bounds = std::array<qint32, 6>;

    // Adds the body-mass-index and age contributions once, then returns the
    // six bounds of the number of marks per deviation level.
    Bounds markCountRanges();

    double bodyMassIndex() const;
    // Current year minus the birth year; an unreadable birthday counts as year 0.
    int age() const;

    QString name;
    bool female = false;
    QString birthday;
    double height = 0.0;
    double weight = 0.0;
    quint32 id = 0;
    qint32 level10Min = 0;
    qint32 level10Max = 0;
    qint32 level100Min = 0;
    qint32 level100Max = 0;
    qint32 level1000Min = 0;
    qint32 level1000Max = 0;
    bool rangesComputed = false;
};
