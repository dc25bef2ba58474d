#include "storage/reportsaver.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"
#include "storage/database.h"
#include "storage/randomdraw.h"
#include "storage/scoring.h"

#include <QDateTime>
#include <QVariantList>
#include <spdlog/spdlog.h>

ReportSaver::ReportSaver()
    : logger(backendLogger())
{
}

ReportSaver::~ReportSaver() = default;

const Person* ReportSaver::person() const
{
    return current.get();
}

QString ReportSaver::timeStamp(const QDateTime& moment)
{
    return moment.date().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('_')
        + moment.time().toString(QStringLiteral("hh-mm-ss"));
}

bool ReportSaver::loadPerson(quint32 personId)
{
    const QStringList values = Database::instance().personValues(
        QStringLiteral("select name, gender, birthday, height, weight, mobilenumber, phonenumber, "
                       "email, address from Persons where id=%1;")
            .arg(personId));
    if (values.value(0).isEmpty()) {
        logger->info("Cannot find user. Query result is empty.");
        return false;
    }
    auto person = std::make_unique<Person>();
    person->name = values.at(0);
    person->female = values.at(1) != QLatin1String("Male");
    person->birthday = values.at(2);
    person->height = values.at(3).toDouble();
    person->weight = values.at(4).toDouble();
    person->id = personId;
    current = std::move(person);
    return true;
}

void ReportSaver::resetPerson()
{
    if (!current)
        return;
    current->name.clear();
    current->birthday.clear();
    current->female = false;
    current->height = 0.0;
    current->weight = 0.0;
    current->id = 0;
    current->rangesComputed = false;
}

bool ReportSaver::referenceParametersReadable(bool female)
{
    const auto read = Database::instance().readParameters(female);
    if (!read)
        backendLogger()->error("The reference parameters cannot be read: {}", read.error());
    return read.has_value();
}

bool ReportSaver::abandonReport(const QString& previousReportId)
{
    Database& db = Database::instance();
    if (!db.rollbackTransaction()) {
        // A full disk, for one, makes SQLite end the transaction itself.
        if (db.transactionOpen())
            logger->error("Couldn't roll back the report: {}", db.personalErrorText());
        else
            logger->warn("The database has already rolled back the report");
    }
    db.setCurrentReportId(previousReportId);
    return false;
}

bool ReportSaver::saveReport(bool resultsReady, const QString& personalDirectory, const ProgressCallback& progress)
{
    if (!resultsReady) {
        logger->error("Cannot save");
        return false;
    }
    if (!current) {
        logger->error("Cannot save: no person has been looked up");
        return false;
    }
    const QString stamp = timeStamp(QDateTime::currentDateTime());
    // The progress pauses serve events; take what the write needs now.
    const quint32 personId = current->id;
    const std::optional<Drawn> drawn = summarize(progress);
    if (!drawn)
        return false;
    return writeReport(stamp, personId, *drawn, personalDirectory);
}

bool ReportSaver::writeReport(const QString& stamp, quint32 personId, const Drawn& drawn,
                              const QString& personalDirectory)
{
    Database& db = Database::instance();
    const QString previousReportId = db.currentReportId();
    // Reports row, Results and score form one unit: a failure leaves nothing behind.
    if (!db.beginTransaction(personalDirectory)) {
        logger->error("Couldn't start writing the report: {}", db.personalErrorText());
        logger->error("createNewReport failed, cannot create new report.");
        return false;
    }
    if (!db.createNewReport(stamp, personId)) {
        logger->error("createNewReport failed, cannot create new report.");
        logger->error("{}", db.personalErrorText());
        return abandonReport(previousReportId);
    }
    // The row just inserted, so two saves within one second never share a report.
    const QString id = db.lastInsertedReportId();
    if (id.isEmpty()) {
        logger->error("Report id query result is empty, cannot be empty.\nCurrent person id: {}",
                      personId);
        if (!db.personalErrorText().isEmpty())
            logger->error("{}", db.personalErrorText());
        return abandonReport(previousReportId);
    }
    logger->debug("Report id: {}", id);
    db.setCurrentReportId(id);

    QVariantList reportIds;
    reportIds.reserve(drawn.values.size());
    for (qsizetype i = 0; i < drawn.values.size(); ++i)
        reportIds.append(id);
    logger->trace("values: {}, reportids: {}, parameterids: {}, scales: {}", drawn.values.size(),
                  reportIds.size(), drawn.parameterIds.size(), drawn.scales.size());
    logger->trace("Summarization finished");

    if (!db.insertResults(drawn.values, reportIds, drawn.parameterIds, drawn.scales)) {
        logger->error("Couldn't save results to database");
        logger->error("{}", db.personalErrorText());
        return abandonReport(previousReportId);
    }
    if (!db.updateReportScore(id, drawn.score)) {
        logger->error("Couldn't save the report score: {}", db.personalErrorText());
        return abandonReport(previousReportId);
    }
    if (!db.commitTransaction()) {
        logger->error("Couldn't commit the report: {}", db.personalErrorText());
        return abandonReport(previousReportId);
    }
    return true;
}

std::optional<ReportSaver::Drawn> ReportSaver::summarize(const ProgressCallback& progress)
{
    Database& db = Database::instance();
    const bool female = current->female;
    const Person::Bounds bounds = current->markCountRanges();
    // randomInt orders its bounds, which settles the classes whose minimum
    // exceeds their maximum.
    const qint32 count10 = randomInt(bounds[0], bounds[1]);
    const qint32 count100 = randomInt(bounds[2], bounds[3]);
    const qint32 count1000 = randomInt(bounds[4], bounds[5]);

    // A reference that cannot be read is a failed save, not an empty report.
    const auto ids = db.readParameterIds(female);
    const auto params = ids ? db.readParameters(female) : std::unexpected(ids.error());
    if (!params) {
        logger->error("The reference parameters cannot be read: {}", params.error());
        return std::nullopt;
    }
    const Marks marks = drawMarks(*ids, female, count10, count100, count1000);

    const auto total = static_cast<qint32>(params->size()) - 1;
    Drawn drawn;
    qint32 index = 0;
    bool group27Done = false;
    for (const ParameterInfo& p : *params) {
        int scale = 0;
        double value = 0.0;
        if (const auto mark = marks.find(p.id); mark != marks.end())
            value = abnormalValue(p, mark->second, group27Done, drawn.score, scale);
        else
            value = static_cast<double>(randomFloat(p.min, p.max));
        drawn.values.append(QString::number(value, 'f', 3));
        drawn.parameterIds.append(p.id);
        drawn.scales.append(static_cast<qint32>(scale));

        logger->trace("progress {}/{}", index, total);
        if (progress)
            progress(index, total);
        ++index;
    }
    return drawn;
}
