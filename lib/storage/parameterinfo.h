#pragma once

#include <QString>
#include <QtGlobal>

// One reference parameter with its normal range and organ group.
struct ParameterInfo {
    quint32 id = 0;
    float min = 0.0F;
    float max = 0.0F;
    QString organGroupName;
    quint32 organGroupId = 0;
};
