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

bool ReportSaver::abandonReport(const QString& previousReportId)
{
    Database& db = Database::instance();
    if (!db.rollbackTransaction())
        logger->error("Couldn't roll back the report: {}", db.personalErrorText());
    db.setCurrentReportId(previousReportId);
    return false;
}

bool ReportSaver::saveReport(bool resultsReady, const ProgressCallback& progress)
{
    if (!resultsReady) {
        logger->error("Cannot save");
        return false;
    }
    if (!current) {
        logger->error("Cannot save: no person has been looked up");
        return false;
    }
    Database& db = Database::instance();
    const QString stamp = timeStamp(QDateTime::currentDateTime());
    const QString previousReportId = db.currentReportId();

    // Reports row, Results and score form one unit: a failure leaves nothing behind.
    if (!db.beginTransaction()) {
        logger->error("Couldn't start writing the report: {}", db.personalErrorText());
        logger->error("createNewReport failed, cannot create new report.");
        return false;
    }
    if (!db.createNewReport(stamp, current->id)) {
        logger->error("createNewReport failed, cannot create new report.");
        logger->error("{}", db.personalErrorText());
        return abandonReport(previousReportId);
    }
    logger->debug("Saving - Reports query: {}",
                  QStringLiteral("select id from Reports where personid=%1 and date='%2';")
                      .arg(current->id)
                      .arg(stamp));
    // The row just inserted, so two saves within one second never share a report.
    const QString id = db.lastInsertedReportId();
    if (id.isEmpty()) {
        logger->error("Report id query result is empty, cannot be empty.\nCurrent person id: {}",
                      current->id);
        return abandonReport(previousReportId);
    }
    logger->debug("Report id: {}", id);
    db.setCurrentReportId(id);
    if (!summarize(progress))
        return abandonReport(previousReportId);
    if (!db.commitTransaction()) {
        logger->error("Couldn't commit the report: {}", db.personalErrorText());
        return abandonReport(previousReportId);
    }
    return true;
}

bool ReportSaver::summarize(const ProgressCallback& progress)
{
    Database& db = Database::instance();
    const bool female = current->female;
    const Person::Bounds bounds = current->markCountRanges();
    // randomInt orders its bounds, which settles the classes whose minimum
    // exceeds their maximum.
    const qint32 count10 = randomInt(bounds[0], bounds[1]);
    const qint32 count100 = randomInt(bounds[2], bounds[3]);
    const qint32 count1000 = randomInt(bounds[4], bounds[5]);

    const Marks marks = drawMarks(db.parameterIds(female), female, count10, count100, count1000);

    const QList<ParameterInfo> params = db.parameters(female);
    const auto total = static_cast<qint32>(params.size()) - 1;
    int score = 10000;
    qint32 index = 0;
    bool group27Done = false;
    const QString reportId = db.currentReportId();

    QVariantList values;
    QVariantList reportIds;
    QVariantList parameterIds;
    QVariantList scales;
    for (const ParameterInfo& p : params) {
        int scale = 0;
        double value = 0.0;
        if (const auto mark = marks.find(p.id); mark != marks.end())
            value = abnormalValue(p, mark->second, group27Done, score, scale);
        else
            value = static_cast<double>(randomFloat(p.min, p.max));
        values.append(QString::number(value, 'f', 3));
        reportIds.append(reportId);
        parameterIds.append(p.id);
        scales.append(static_cast<qint32>(scale));

        logger->trace("progress {}/{}", index, total);
        if (progress)
            progress(index, total);
        ++index;
    }
    logger->trace("values: {}, reportids: {}, parameterids: {}, scales: {}", values.size(),
                  reportIds.size(), parameterIds.size(), scales.size());
    logger->trace("Summarization finished");

    if (!db.insertResults(values, reportIds, parameterIds, scales)) {
        logger->error("Couldn't save results to database");
        logger->error("{}", db.personalErrorText());
        return false;
    }
    if (!db.runQuery(QStringLiteral("update Reports set score=%0 where id=%1")
                         .arg(score)
                         .arg(reportId))) {
        logger->error("Couldn't save the report score: {}", db.personalErrorText());
        return false;
    }
    return true;
}
