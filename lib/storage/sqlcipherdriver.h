#pragma once

#include <QList>
#include <QSqlDriver>
#include <QSqlError>
#include <QString>

struct sqlite3;
class SqlCipherResult;

// Qt SQL driver over libsqlcipher, registered under the name "SQLITECIPHER".
// Understands the connect options QSQLITE_USE_CIPHER, SQLCIPHER_LEGACY,
// QSQLITE_OPEN_READONLY and QSQLITE_BUSY_TIMEOUT; unknown options are ignored.
class SqlCipherDriver : public QSqlDriver {
    Q_OBJECT
    friend class SqlCipherResult;

public:
    static constexpr const char* driverName = "SQLITECIPHER";

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

    sqlite3* connection = nullptr;
    // Statements still alive when the connection closes are finalized first,
    // otherwise sqlite refuses to release the file.
    mutable QList<SqlCipherResult*> results;
};
