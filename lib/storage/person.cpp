#include "storage/person.h"

#include <QDate>

namespace {

Person::Bounds bmiContribution(double bmi)
{
    // A NaN index fails every comparison and lands in the last class.
    if (bmi <= 20.7)
        return {10, 20, 6, 8, 1, 3};
    if (bmi > 20.7 && bmi <= 27.8)
        return {5, 15, 4, 6, 2, 2};
    if (bmi > 27.8 && bmi <= 31.1)
        return {8, 16, 8, 6, 4, 5};
    if (bmi > 31.1 && bmi <= 45.4)
        return {9, 18, 10, 10, 10, 12};
    return {15, 20, 3, 12, 12, 12};
}

Person::Bounds ageContribution(int age)
{
    if (age < 10)
        return {20, 20, 15, 15, 3, 15};
    if (age <= 30)
        return {10, 15, 6, 10, 1, 4};
    if (age <= 45)
        return {5, 10, 2, 10, 3, 4};
    if (age <= 60)
        return {13, 15, 4, 12, 6, 10};
    return {20, 20, 15, 15, 3, 15};
}

} // namespace

double Person::bodyMassIndex() const
{
    const double metres = height / 100.0;
    return weight / (metres * metres);
}

int Person::age() const
{
    const QDate born = QDate::fromString(birthday, QStringLiteral("yyyy-MM-dd"));
    return QDate::currentDate().year() - (born.isValid() ? born.year() : 0);
}

Person::Bounds Person::markCountRanges()
{
    if (!rangesComputed) {
        const Bounds bmi = bmiContribution(bodyMassIndex());
        const Bounds years = ageContribution(age());
        qint32* fields[] = {&level10Min, &level10Max, &level100Min,
                            &level100Max, &level1000Min, &level1000Max};
        for (std::size_t i = 0; i < bmi.size(); ++i)
            *fields[i] += bmi[i] + years[i];
        rangesComputed = true;
    }
    return {level10Min, level10Max, level100Min, level100Max, level1000Min, level1000Max};
}
