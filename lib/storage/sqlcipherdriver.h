#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QSqlDriver>
#include <QSqlError>
#include <QString>

struct sqlite3;
class SqlCipherResult;

// Qt SQL driver over libsqlcipher, registered under the name "SQLITECIPHER".
// Understands the connect options QSQLITE_USE_CIPHER, SQLCIPHER_LEGACY,
// QSQLITE_OPEN_READONLY, QSQLITE_BUSY_TIMEOUT and SQLITECIPHER_STATEMENT_TIMEOUT;
// unknown options are ignored.
//
// The databases come from folders the frontend names, so a statement may meet
// a view that never ends (a recursive one) or yields rows without end. A
// statement is therefore stopped after the statement time-out (plus the busy
// time-out it may spend waiting for a lock), or when its thread is asked to
// stop; a value (and a row) holds at most maxValueBytes, and a result at most
// maxRows rows and maxResultBytes of values, so none can exhaust the memory.
class SqlCipherDriver : public QSqlDriver {
    Q_OBJECT
    friend class SqlCipherResult;

public:
    static constexpr const char* driverName = "SQLITECIPHER";
    static constexpr int defaultStatementTimeoutMs = 60000;
    static constexpr qsizetype maxRows = 100000;
    static constexpr int maxValueBytes = 16 * 1024 * 1024;
    static constexpr qsizetype maxResultBytes = 64 * 1024 * 1024;

    // Makes the driver known to QSqlDatabase; safe to call any number of times.
    static void registerDriver();

    explicit SqlCipherDriver(QObject* parent = nullptr);
    ~SqlCipherDriver() override;

    bool hasFeature(DriverFeature feature) const override;
    bool open(const QString& db, const QString& user, const QString& password,
              const QString& host, int port, const QString& connectOptions) override;
    void close() override;
    QSqlResult* createResult() const override;
    QVariant handle() const override;

    bool beginTransaction() override;
    bool commitTransaction() override;
    bool rollbackTransaction() override;

    QStringList tables(QSql::TableType type) const override;
    QSqlRecord record(const QString& tableName) const override;
    QString escapeIdentifier(const QString& identifier, IdentifierType type) const override;

private:
    bool applyKey(const QString& password);
    bool applyCipherOptions(int legacyVersion);
    bool execSimple(const QString& sql, QString* error = nullptr) const;
    void fail(const QString& what, QSqlError::ErrorType type, int code, const QString& text);
    void abandon(const QString& what, QSqlError::ErrorType type);
    // Called by sqlite while a statement runs; non-zero stops it.
    static int onProgress(void* driver);
    // Starts the running time of the next statement.
    void startStatement() const;

    sqlite3* connection = nullptr;
    // Statements still alive when the connection closes are finalized first,
    // otherwise sqlite refuses to release the file.
    mutable QList<SqlCipherResult*> results;
    int statementLimitMs = defaultStatementTimeoutMs;
    mutable QDeadlineTimer statementDeadline;
};
