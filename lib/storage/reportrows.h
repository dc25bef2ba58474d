#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <expected>

// The Reports row of the report being written, whatever shape the frontend
// gave the table: `id` need not be the rowid, and the table may have no rowid.
class ReportRows {
public:
    // Id of the row just inserted with these values. Read by its rowid; a table
    // without rowids (or a rowid that finds nothing) falls back to the values:
    // the one row of that person and time stamp whose score and Results are not
    // written yet. An error text when the id cannot be told for certain.
    static std::expected<QString, QString> insertedId(QSqlDatabase& db, const QVariant& rowid,
                                                      const QString& timeStamp, quint32 personId);
    // Writes the score of report `id`; the id is bound, never part of the text.
    static std::expected<void, QString> setScore(QSqlDatabase& db, const QString& id, qint32 score);

private:
    static std::expected<QString, QString> idByRowid(QSqlDatabase& db, const QVariant& rowid);
    static std::expected<QString, QString> idByValues(QSqlDatabase& db, const QString& timeStamp,
                                                      quint32 personId);
};
