#pragma once

#include "storage/parameterinfo.h"
#include "ulvex_export.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <expected>
#include <memory>
#include <optional>
#include <spdlog/logger.h>

// The one gateway to parameters.db (read-only reference data) and personal.db
// (the frontend's persons, reports and results). Use only on the thread that
// first called instance(), until release().
class Database {
public:
    static Database& instance();
    // Closes both connections and ends the gateway, on the thread that used
    // it; the next instance() opens anew on its caller's thread. A session
    // calls this as its thread ends, so no connection outlives it.
    static void release();

    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    bool createNewReport(const QString& timeStamp, quint32 personId);
    QString reportId(const QString& timeStamp, quint32 personId);
    QStringList personValues(const QString& sql);
    QList<quint32> parameterIds(bool female);
    QList<ParameterInfo> parameters(bool female);
    // As above, but a file that is missing or did not open, or a failed query,
    // is an error text rather than an empty list.
    std::expected<QList<quint32>, QString> readParameterIds(bool female);
    std::expected<QList<ParameterInfo>, QString> readParameters(bool female);
    bool insertResults(const QVariantList& values, const QVariantList& reportIds,
                       const QVariantList& parameterIds, const QVariantList& scales);
    bool runQuery(const QString& sql);

    QString currentReportId() const;
    void setCurrentReportId(const QString& id);

    // Id of the Reports row the last successful createNewReport inserted
    // (the frontend's schema decides what `id` is); empty when it cannot be told.
    QString lastInsertedReportId() const;
    // Score of report `id`; false (error text kept) unless exactly that row changed.
    bool updateReportScore(const QString& id, qint32 score);

    // A report is written as one unit on the personal connection, to
    // personal.db in `personalDirectory` (where its person was looked up).
    bool beginTransaction(const QString& personalDirectory);
    bool commitTransaction();
    bool rollbackTransaction();
    // Whether personal.db has a transaction open right now, as SQLite sees it:
    // some failed writes (a full disk) end the transaction by themselves.
    bool transactionOpen();
    // Text of the last failed statement on personal.db.
    QString personalErrorText() const;

    bool parametersOpen() const;
    bool personalOpen();
    // Where personal.db is expected right now (follows Settings).
    static QString personalDirectory();
    static QString parametersRelativePath();

    // Closes both connections and opens them again the way construction does.
    void reopen();

    // Closes and removes both connections for good; every later call fails
    // cleanly. Qt's connection registry goes with the application object, so
    // this runs before it: from the program's shutdown, and at the latest from
    // the application's destruction. Harmless when nothing was opened.
    ULVEX_EXPORT static void endAll();

private:
    friend std::default_delete<Database>;
    Database();
    ~Database();

    void openParametersDatabase();
    void openPersonalDatabase(const QString& directory = personalDirectory());
    // Re-opens personal.db when it is wanted in another directory.
    void followPersonalDirectory(const QString& wanted = personalDirectory());
    bool personalReady();
    void end();

    std::shared_ptr<spdlog::logger> logger;
    QSqlDatabase parametersDb;
    QSqlDatabase personalDb;
    QString currentReportIdValue;
    QString insertedReportId;
    QString personalDirOpened;
    QString personalError;
    bool inTransaction = false;
    bool ended = false;
};
