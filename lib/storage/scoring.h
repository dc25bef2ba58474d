#pragma once

#include "storage/parameterinfo.h"

#include <QList>
#include <QtGlobal>
#include <map>

// Marked parameters and their deviation level (10, 100 or 1000).
using Marks = std::map<quint32, int>;

// Parameters that are never marked for a person of the given sex.
const QList<quint32>& neverMarkedParameters(bool female);

// Organ groups whose marked parameters always deviate below the range.
bool deviatesLow(quint32 organGroupId);

// Results.scale of a deviation level: 1, 2, 3, or 0 for an unmarked parameter.
int scaleOfLevel(int level);

// Marks up to count10 + count100 + count1000 parameters drawn from ids, levels
// in the order 10, 100, 1000; an earlier mark is never overwritten. With no
// markable id in the list nothing is marked.
Marks drawMarks(const QList<quint32>& ids, bool female, qint32 count10, qint32 count100,
                qint32 count1000);

// Out-of-range value for a marked parameter. Sets scale and deducts from score;
// only the first marked parameter of organ group 27 (tracked by group27Done)
// keeps its out-of-range value, later ones get an in-range value.
double abnormalValue(const ParameterInfo& parameter, int level, bool& group27Done, int& score,
                     int& scale);
