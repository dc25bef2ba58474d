#include "storage/sqlcipherdriver.h"

#include "storage/sqlcipherresult.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QThread>
#include <mutex>
#include <sqlite3.h>

namespace {

struct ConnectOptions {
    bool readOnly = false;
    int busyTimeoutMs = 5000;
    int statementTimeoutMs = SqlCipherDriver::defaultStatementTimeoutMs;
    int legacyVersion = 0; // 0: leave the library's own format
};

ConnectOptions parseOptions(const QString& text)
{
    ConnectOptions options;
    const QStringList parts = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        const QString key = part.left(eq).trimmed().toUpper();
        const QString value = eq < 0 ? QString() : part.mid(eq + 1).trimmed();
        bool ok = false;
        if (key == QLatin1String("QSQLITE_OPEN_READONLY")) {
            options.readOnly = value.isEmpty() || value == QLatin1String("1")
                || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        } else if (key == QLatin1String("QSQLITE_BUSY_TIMEOUT")) {
            const int ms = value.toInt(&ok);
            if (ok && ms >= 0)
                options.busyTimeoutMs = ms;
        } else if (key == QLatin1String("SQLITECIPHER_STATEMENT_TIMEOUT")) {
            const int ms = value.toInt(&ok);
            if (ok && ms > 0)
                options.statementTimeoutMs = ms;
        } else if (key == QLatin1String("SQLCIPHER_LEGACY")) {
            const int version = value.toInt(&ok);
            if (ok && version >= 1 && version <= 4)
                options.legacyVersion = version;
        }
        // QSQLITE_USE_CIPHER names the cipher; sqlcipher is the only one here.
    }
    return options;
}

QString quoted(const QString& text, QChar quote)
{
    QString copy = text;
    copy.replace(quote, QString(2, quote));
    return quote + copy + quote;
}

} // namespace

void SqlCipherDriver::registerDriver()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QSqlDatabase::registerSqlDriver(QString::fromLatin1(driverName),
                                        new QSqlDriverCreator<SqlCipherDriver>);
    });
}

SqlCipherDriver::SqlCipherDriver(QObject* parent)
    : QSqlDriver(parent)
{
}

SqlCipherDriver::~SqlCipherDriver()
{
    close();
}

bool SqlCipherDriver::hasFeature(DriverFeature feature) const
{
    switch (feature) {
    case Transactions:
    case BLOB:
    case Unicode:
    case PreparedQueries:
    case PositionalPlaceholders:
    case LastInsertId:
    case SimpleLocking:
    case FinishQuery:
    case LowPrecisionNumbers:
        return true;
    default:
        return false;
    }
}

void SqlCipherDriver::fail(const QString& what, QSqlError::ErrorType type, int code,
                           const QString& text)
{
    setLastError(QSqlError(what, text, type, QString::number(code)));
}

void SqlCipherDriver::abandon(const QString& what, QSqlError::ErrorType type)
{
    const int code = connection ? sqlite3_extended_errcode(connection) : SQLITE_NOMEM;
    const QString text = connection
        ? QString::fromUtf8(sqlite3_errmsg(connection))
        : QStringLiteral("out of memory");
    fail(what, type, code, text);
    if (connection)
        sqlite3_close_v2(connection);
    connection = nullptr;
    setOpenError(true);
}

int SqlCipherDriver::onProgress(void* driver)
{
    const auto* self = static_cast<const SqlCipherDriver*>(driver);
    return self->statementDeadline.hasExpired() || QThread::currentThread()->isInterruptionRequested();
}

void SqlCipherDriver::startStatement() const
{
    statementDeadline.setRemainingTime(statementLimitMs);
}

bool SqlCipherDriver::execSimple(const QString& sql, QString* error) const
{
    startStatement();
    char* message = nullptr;
    const int rc = sqlite3_exec(connection, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK && error)
        *error = QString::fromUtf8(message ? message : sqlite3_errmsg(connection));
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

bool SqlCipherDriver::applyKey(const QString& password)
{
    // The key pragma never reports a bad key; the first read of the schema does.
    if (!password.isEmpty()
        && !execSimple(QStringLiteral("PRAGMA key = ") + quoted(password, QLatin1Char('\'')))) {
        abandon(QStringLiteral("Unable to set the database key"), QSqlError::ConnectionError);
        return false;
    }
    return true;
}

bool SqlCipherDriver::applyCipherOptions(int legacyVersion)
{
    if (legacyVersion == 0)
        return true;
    sqlite3_stmt* stmt = nullptr;
    int major = 0;
    if (sqlite3_prepare_v2(connection, "PRAGMA cipher_version", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        major = text ? QByteArray(text).split('.').value(0).toInt() : 0;
    }
    sqlite3_finalize(stmt);
    if (major == 0)
        return true; // plain sqlite: nothing to apply

    QStringList pragmas;
    if (major >= 4) {
        pragmas << QStringLiteral("PRAGMA cipher_compatibility = %1").arg(legacyVersion);
    } else if (legacyVersion < 3) {
        // 3.x libraries write the version-3 format natively; 1 and 2 differ in
        // key derivation rounds and, for 1, the missing page HMAC.
        pragmas << QStringLiteral("PRAGMA kdf_iter = 4000");
        if (legacyVersion == 1)
            pragmas << QStringLiteral("PRAGMA cipher_use_hmac = OFF");
    }
    for (const QString& pragma : pragmas) {
        if (!execSimple(pragma)) {
            abandon(QStringLiteral("Unable to apply cipher settings"), QSqlError::ConnectionError);
            return false;
        }
    }
    return true;
}

bool SqlCipherDriver::open(const QString& db, const QString& /*user*/, const QString& password,
                           const QString& /*host*/, int /*port*/, const QString& connectOptions)
{
    if (isOpen())
        close();
    const ConnectOptions options = parseOptions(connectOptions);
    const int flags = (options.readOnly ? SQLITE_OPEN_READONLY
                                        : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
        | SQLITE_OPEN_FULLMUTEX;

    if (sqlite3_open_v2(db.toUtf8().constData(), &connection, flags, nullptr) != SQLITE_OK) {
        abandon(QStringLiteral("Error opening database"), QSqlError::ConnectionError);
        return false;
    }
    sqlite3_extended_result_codes(connection, 1);
    sqlite3_busy_timeout(connection, options.busyTimeoutMs);
    // SQLite would build values of up to a gigabyte (zeroblob, replace) before
    // a result could refuse them.
    sqlite3_limit(connection, SQLITE_LIMIT_LENGTH, maxValueBytes);
    statementLimitMs = options.statementTimeoutMs + options.busyTimeoutMs;
    startStatement();
    sqlite3_progress_handler(connection, 1000, &SqlCipherDriver::onProgress, this);

    if (!applyKey(password) || !applyCipherOptions(options.legacyVersion))
        return false;

    // Reading the schema is the first access that decrypts a page: a wrong key
    // or a file that is not a database of this kind fails here.
    QString error;
    if (!execSimple(QStringLiteral("SELECT count(*) FROM sqlite_master"), &error)) {
        abandon(QStringLiteral("Cannot open database: wrong key or not an encrypted database"),
                QSqlError::ConnectionError);
        return false;
    }

    setOpen(true);
    setOpenError(false);
    return true;
}

void SqlCipherDriver::close()
{
    const QList<SqlCipherResult*> alive = results;
    for (SqlCipherResult* result : alive)
        result->finalize();
    if (connection)
        sqlite3_close_v2(connection);
    connection = nullptr;
    if (isOpen()) {
        setOpen(false);
        setOpenError(false);
    }
}

QSqlResult* SqlCipherDriver::createResult() const
{
    return new SqlCipherResult(this);
}

QVariant SqlCipherDriver::handle() const
{
    return QVariant::fromValue(static_cast<void*>(connection));
}

bool SqlCipherDriver::beginTransaction()
{
    QString error;
    if (!isOpen() || !execSimple(QStringLiteral("BEGIN"), &error)) {
        fail(QStringLiteral("Unable to begin transaction"), QSqlError::TransactionError,
             connection ? sqlite3_extended_errcode(connection) : SQLITE_MISUSE, error);
        return false;
    }
    return true;
}

bool SqlCipherDriver::commitTransaction()
{
    QString error;
    if (!isOpen() || !execSimple(QStringLiteral("COMMIT"), &error)) {
        fail(QStringLiteral("Unable to commit transaction"), QSqlError::TransactionError,
             connection ? sqlite3_extended_errcode(connection) : SQLITE_MISUSE, error);
        return false;
    }
    return true;
}

bool SqlCipherDriver::rollbackTransaction()
{
    QString error;
    if (!isOpen() || !execSimple(QStringLiteral("ROLLBACK"), &error)) {
        fail(QStringLiteral("Unable to roll back transaction"), QSqlError::TransactionError,
             connection ? sqlite3_extended_errcode(connection) : SQLITE_MISUSE, error);
        return false;
    }
    return true;
}

QStringList SqlCipherDriver::tables(QSql::TableType type) const
{
    QStringList names;
    if (!isOpen())
        return names;
    QStringList kinds;
    if (type & QSql::Tables)
        kinds << QStringLiteral("'table'");
    if (type & QSql::Views)
        kinds << QStringLiteral("'view'");
    if (!kinds.isEmpty()) {
        QSqlQuery query(createResult());
        query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN (%1) "
                                  "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name")
                       .arg(kinds.join(QLatin1Char(','))));
        while (query.next())
            names << query.value(0).toString();
    }
    if (type & QSql::SystemTables)
        names << QStringLiteral("sqlite_master");
    return names;
}

QSqlRecord SqlCipherDriver::record(const QString& tableName) const
{
    QSqlRecord fields;
    if (!isOpen())
        return fields;
    QSqlQuery query(createResult());
    query.exec(QStringLiteral("PRAGMA table_info(%1)")
                   .arg(escapeIdentifier(tableName, TableName)));
    while (query.next()) {
        const QString declared = query.value(2).toString().toUpper();
        QMetaType type(QMetaType::QString);
        if (declared.contains(QLatin1String("INT")))
            type = QMetaType(QMetaType::LongLong);
        else if (declared.contains(QLatin1String("REAL")) || declared.contains(QLatin1String("FLOA"))
                 || declared.contains(QLatin1String("DOUB")))
            type = QMetaType(QMetaType::Double);
        else if (declared.contains(QLatin1String("BLOB")))
            type = QMetaType(QMetaType::QByteArray);
        QSqlField field(query.value(1).toString(), type, tableName);
        field.setRequired(query.value(3).toInt() != 0);
        fields.append(field);
    }
    return fields;
}

QString SqlCipherDriver::escapeIdentifier(const QString& identifier, IdentifierType) const
{
    if (identifier.size() > 1 && identifier.startsWith(QLatin1Char('"'))
        && identifier.endsWith(QLatin1Char('"')))
        return identifier;
    return quoted(identifier, QLatin1Char('"'));
}
