#include "storage/reportrows.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

const QString byRowid = QStringLiteral("SELECT id FROM Reports WHERE rowid = :rowid");
// A save writes its score (never 0 once written: at least 10000 minus the
// deductions, or it rolls back) and its Results in the same transaction, so an
// unscored row without Results is the one this save just inserted.
const QString byValues = QStringLiteral(
    "SELECT id FROM Reports WHERE personid = :id AND date = :timeStamp AND score = 0 "
    "AND NOT EXISTS (SELECT 1 FROM Results WHERE Results.reportid = Reports.id) LIMIT 2");

} // namespace

std::expected<QString, QString> ReportRows::insertedId(QSqlDatabase& db, const QVariant& rowid,
                                                       const QString& timeStamp, quint32 personId)
{
    const auto id = idByRowid(db, rowid);
    if (id && !id->isEmpty())
        return id;
    backendLogger()->debug("Report id by rowid unavailable ({}), looking it up by its values",
                           id ? QStringLiteral("no row") : id.error());
    return idByValues(db, timeStamp, personId);
}

std::expected<QString, QString> ReportRows::idByRowid(QSqlDatabase& db, const QVariant& rowid)
{
    // A table without rowids leaves no rowid of its own behind.
    if (!rowid.isValid())
        return std::unexpected(QStringLiteral("no rowid"));
    backendLogger()->debug("Saving - Reports query: {} ({})", byRowid, rowid.toLongLong());
    QSqlQuery query(db);
    query.prepare(byRowid);
    query.bindValue(QStringLiteral(":rowid"), rowid);
    if (!query.exec())
        return std::unexpected(query.lastError().text());
    return query.first() ? query.value(0).toString() : QString();
}

std::expected<QString, QString> ReportRows::idByValues(QSqlDatabase& db, const QString& timeStamp,
                                                       quint32 personId)
{
    backendLogger()->debug("Saving - Reports query: {} ({}, {})", byValues, personId, timeStamp);
    QSqlQuery query(db);
    query.prepare(byValues);
    query.bindValue(QStringLiteral(":id"), personId);
    query.bindValue(QStringLiteral(":timeStamp"), timeStamp);
    if (!query.exec())
        return std::unexpected(query.lastError().text());
    if (!query.next())
        return QString();
    const QString id = query.value(0).toString();
    if (query.next())
        return std::unexpected(QStringLiteral("more than one unscored report of person %1 at %2")
                                   .arg(personId)
                                   .arg(timeStamp));
    return id;
}

std::expected<void, QString> ReportRows::setScore(QSqlDatabase& db, const QString& id, qint32 score)
{
    const QString statement = QStringLiteral("UPDATE Reports SET score = :score WHERE id = :id");
    backendLogger()->debug("Running query: {} ({}, {})", statement, score, id);
    QSqlQuery query(db);
    query.prepare(statement);
    query.bindValue(QStringLiteral(":score"), score);
    // A whole number goes as a number: it then matches an id column of any
    // type (SQLite converts it for text columns, not the other way round).
    bool numeric = false;
    const qlonglong number = id.toLongLong(&numeric);
    if (numeric && QString::number(number) == id)
        query.bindValue(QStringLiteral(":id"), number);
    else
        query.bindValue(QStringLiteral(":id"), id);
    if (!query.exec())
        return std::unexpected(query.lastError().text());
    if (query.numRowsAffected() != 1)
        return std::unexpected(QStringLiteral("%1 rows carry report id %2").arg(query.numRowsAffected()).arg(id));
    return {};
}
