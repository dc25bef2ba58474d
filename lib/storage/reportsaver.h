#pragma once

#include "storage/person.h"
#include "storage/progresscallback.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>
#include <memory>
#include <optional>
#include <spdlog/logger.h>

// Looks up the person being measured and saves a finished measurement as one
// report: a Reports row, one Results row per reference parameter and the score,
// written together or not at all. The report is drawn and paced first; the
// personal database is locked only for the short write at the end.
class ReportSaver {
public:
    ReportSaver();
    ~ReportSaver();

    // True when the person was found and stored; otherwise the stored one stays.
    bool loadPerson(quint32 personId);
    void resetPerson();
    // Writes to personal.db in `personalDirectory`. Logs "Cannot save" and
    // returns false when resultsReady is false.
    bool saveReport(bool resultsReady, const QString& personalDirectory, const ProgressCallback& progress);
    const Person* person() const;

    // Text of the Reports row's time stamp for the given moment.
    static QString timeStamp(const QDateTime& moment);

    // False, with an error line, when parameters.db is missing, does not open
    // or cannot be queried; a readable but empty table is fine.
    static bool referenceParametersReadable(bool female);

private:
    // Results of one report, drawn before anything is written.
    struct Drawn {
        QVariantList values;
        QVariantList parameterIds;
        QVariantList scales;
        int score = 10000;
    };

    // Reads the reference parameters, draws every value and calls progress once
    // per parameter; nothing when the reference cannot be read.
    std::optional<Drawn> summarize(const ProgressCallback& progress);
    // One transaction: Reports row, its id, Results, score.
    bool writeReport(const QString& stamp, quint32 personId, const Drawn& drawn, const QString& personalDirectory);
    bool abandonReport(const QString& previousReportId);

    std::shared_ptr<spdlog::logger> logger;
    std::unique_ptr<Person> current;
};
