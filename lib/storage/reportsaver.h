#pragma once

#include "storage/person.h"
#include "storage/progresscallback.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <spdlog/logger.h>

// Looks up the person being measured and saves a finished measurement as one
// report: a Reports row, one Results row per reference parameter and the score,
// written together or not at all.
class ReportSaver {
public:
    ReportSaver();
    ~ReportSaver();

    // True when the person was found and stored; otherwise the stored one stays.
    bool loadPerson(quint32 personId);
    void resetPerson();
    // Logs "Cannot save" and returns false when resultsReady is false.
    bool saveReport(bool resultsReady, const ProgressCallback& progress);
    const Person* person() const;

    // Text of the Reports row's time stamp for the given moment.
    static QString timeStamp(const QDateTime& moment);

private:
    // Writes Results and the score of the current report; false on any failure.
    bool summarize(const ProgressCallback& progress);
    bool abandonReport(const QString& previousReportId);

    std::shared_ptr<spdlog::logger> logger;
    std::unique_ptr<Person> current;
};
