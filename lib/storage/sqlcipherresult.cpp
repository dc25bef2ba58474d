#include "storage/sqlcipherresult.h"

#include "storage/sqlcipherdriver.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <sqlite3.h>

SqlCipherResult::SqlCipherResult(const SqlCipherDriver* driver)
    : QSqlResult(driver)
{
    driver->results.append(this);
}

SqlCipherResult::~SqlCipherResult()
{
    if (const SqlCipherDriver* owner = cipherDriver())
        owner->results.removeOne(this);
    finalize();
}

const SqlCipherDriver* SqlCipherResult::cipherDriver() const
{
    return static_cast<const SqlCipherDriver*>(driver());
}

void SqlCipherResult::finalize()
{
    if (statement)
        sqlite3_finalize(statement);
    statement = nullptr;
}

void SqlCipherResult::setStatementError(const QString& what, QSqlError::ErrorType type)
{
    const SqlCipherDriver* owner = cipherDriver();
    sqlite3* db = owner ? owner->connection : nullptr;
    if (!db) {
        setLastError(QSqlError(what, QStringLiteral("database is not open"), type));
        return;
    }
    setLastError(QSqlError(what, QString::fromUtf8(sqlite3_errmsg(db)), type,
                           QString::number(sqlite3_extended_errcode(db))));
}

bool SqlCipherResult::reset(const QString& query)
{
    return prepare(query) && exec();
}

bool SqlCipherResult::prepare(const QString& query)
{
    finalize();
    rows.clear();
    columns.clear();
    affected = -1;
    insertId = QVariant();
    setActive(false);
    setAt(QSql::BeforeFirstRow);

    const SqlCipherDriver* owner = cipherDriver();
    if (!owner || !owner->connection) {
        setStatementError(QStringLiteral("Unable to prepare statement"), QSqlError::ConnectionError);
        return false;
    }
    const void* tail = nullptr;
    const auto bytes = static_cast<int>(query.size() * sizeof(QChar));
    if (sqlite3_prepare16_v2(owner->connection, query.utf16(), bytes, &statement, &tail)
        != SQLITE_OK) {
        setStatementError(QStringLiteral("Unable to prepare statement"), QSqlError::StatementError);
        finalize();
        return false;
    }
    if (tail) {
        const qsizetype used = static_cast<const QChar*>(tail) - query.constData();
        const QString rest = query.mid(used).trimmed();
        if (!rest.isEmpty() && rest != QLatin1String(";")) {
            setLastError(QSqlError(QStringLiteral("Unable to execute multiple statements at a time"),
                                   rest, QSqlError::StatementError));
            finalize();
            return false;
        }
    }
    if (!statement) {
        setLastError(QSqlError(QStringLiteral("Unable to prepare statement"),
                               QStringLiteral("empty statement"), QSqlError::StatementError));
        return false;
    }
    buildRecord();
    setSelect(sqlite3_column_count(statement) > 0);
    return true;
}

void SqlCipherResult::buildRecord()
{
    columns.clear();
    const int count = sqlite3_column_count(statement);
    for (int i = 0; i < count; ++i) {
        const auto* name = static_cast<const char16_t*>(sqlite3_column_name16(statement, i));
        const char* declared = sqlite3_column_decltype(statement, i);
        const QByteArray type = QByteArray(declared ? declared : "").toUpper();
        QMetaType meta(QMetaType::QString);
        if (type.contains("INT"))
            meta = QMetaType(QMetaType::LongLong);
        else if (type.contains("REAL") || type.contains("FLOA") || type.contains("DOUB"))
            meta = QMetaType(QMetaType::Double);
        else if (type.contains("BLOB"))
            meta = QMetaType(QMetaType::QByteArray);
        columns.append(QSqlField(QString::fromUtf16(name), meta));
    }
}

bool SqlCipherResult::bindAll()
{
    const QVariantList& values = boundValues();
    const int expected = sqlite3_bind_parameter_count(statement);
    if (values.size() != expected) {
        setLastError(QSqlError(QStringLiteral("Parameter count mismatch"),
                               QStringLiteral("%1 values bound, statement takes %2")
                                   .arg(values.size())
                                   .arg(expected),
                               QSqlError::StatementError));
        return false;
    }
    for (int i = 0; i < expected; ++i) {
        const QVariant& value = values.at(i);
        const int pos = i + 1;
        int rc = SQLITE_OK;
        if (value.isNull()) {
            rc = sqlite3_bind_null(statement, pos);
        } else {
            switch (value.typeId()) {
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Long:
            case QMetaType::ULong:
            case QMetaType::Char:
            case QMetaType::SChar:
            case QMetaType::UChar:
                rc = sqlite3_bind_int64(statement, pos, value.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(statement, pos, value.toDouble());
                break;
            case QMetaType::QByteArray: {
                const QByteArray blob = value.toByteArray();
                rc = sqlite3_bind_blob(statement, pos, blob.constData(),
                                       static_cast<int>(blob.size()), SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::QDateTime:
                rc = sqlite3_bind_text(statement, pos,
                                       value.toDateTime().toString(Qt::ISODateWithMs).toUtf8().constData(),
                                       -1, SQLITE_TRANSIENT);
                break;
            default: {
                const QString text = value.toString();
                rc = sqlite3_bind_text16(statement, pos, text.utf16(),
                                         static_cast<int>(text.size() * sizeof(QChar)),
                                         SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (rc != SQLITE_OK) {
            setStatementError(QStringLiteral("Unable to bind parameters"), QSqlError::StatementError);
            return false;
        }
    }
    return true;
}

bool SqlCipherResult::step()
{
    const int count = sqlite3_column_count(statement);
    qsizetype bytes = 0;
    for (;;) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE)
            return true;
        if (rc != SQLITE_ROW) {
            setStatementError(QStringLiteral("Unable to execute statement"), QSqlError::StatementError);
            return false;
        }
        if (rows.size() >= SqlCipherDriver::maxRows) {
            setLastError(QSqlError(QStringLiteral("Unable to execute statement"),
                                   QStringLiteral("more than %1 rows").arg(SqlCipherDriver::maxRows),
                                   QSqlError::StatementError));
            rows.clear();
            return false;
        }
        for (int i = 0; i < count; ++i) {
            const int type = sqlite3_column_type(statement, i);
            if (type == SQLITE_BLOB || type == SQLITE_TEXT)
                bytes += sqlite3_column_bytes(statement, i);
        }
        if (bytes > SqlCipherDriver::maxResultBytes) {
            setLastError(QSqlError(QStringLiteral("Unable to execute statement"),
                                   QStringLiteral("more than %1 bytes").arg(SqlCipherDriver::maxResultBytes),
                                   QSqlError::StatementError));
            rows.clear();
            return false;
        }
        QVariantList row;
        row.reserve(count);
        for (int i = 0; i < count; ++i) {
            switch (sqlite3_column_type(statement, i)) {
            case SQLITE_INTEGER:
                row.append(QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement, i))));
                break;
            case SQLITE_FLOAT:
                row.append(QVariant(sqlite3_column_double(statement, i)));
                break;
            case SQLITE_BLOB:
                row.append(QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, i)),
                                               sqlite3_column_bytes(statement, i))));
                break;
            case SQLITE_NULL:
                row.append(QVariant(columns.field(i).metaType()));
                break;
            default:
                row.append(QVariant(QString::fromUtf16(
                    static_cast<const char16_t*>(sqlite3_column_text16(statement, i)),
                    sqlite3_column_bytes16(statement, i) / static_cast<int>(sizeof(QChar)))));
                break;
            }
        }
        rows.append(row);
    }
}

bool SqlCipherResult::exec()
{
    rows.clear();
    affected = -1;
    insertId = QVariant();
    setActive(false);
    setAt(QSql::BeforeFirstRow);
    const SqlCipherDriver* owner = cipherDriver();
    if (!statement || !owner || !owner->connection) {
        setStatementError(QStringLiteral("Unable to execute statement"), QSqlError::StatementError);
        return false;
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (!bindAll())
        return false;

    const bool writes = !sqlite3_stmt_readonly(statement);
    owner->startStatement();
    const bool ok = step();
    // Resetting releases the statement's read lock so transactions can end.
    sqlite3_reset(statement);
    if (!ok)
        return false;
    if (writes) {
        affected = sqlite3_changes(owner->connection);
        if (affected > 0)
            insertId = QVariant(static_cast<qlonglong>(sqlite3_last_insert_rowid(owner->connection)));
    } else {
        affected = 0;
    }
    setActive(true);
    return true;
}

QVariant SqlCipherResult::data(int field)
{
    if (at() < 0 || at() >= rows.size() || field < 0 || field >= rows.at(at()).size())
        return QVariant();
    return rows.at(at()).at(field);
}

bool SqlCipherResult::isNull(int field)
{
    return data(field).isNull();
}

bool SqlCipherResult::fetch(int row)
{
    if (row < 0 || row >= rows.size())
        return false;
    setAt(row);
    return true;
}

bool SqlCipherResult::fetchFirst()
{
    return fetch(0);
}

bool SqlCipherResult::fetchLast()
{
    return fetch(static_cast<int>(rows.size()) - 1);
}

int SqlCipherResult::size()
{
    return -1;
}

int SqlCipherResult::numRowsAffected()
{
    return affected;
}

QSqlRecord SqlCipherResult::record() const
{
    return isSelect() ? columns : QSqlRecord();
}

QVariant SqlCipherResult::lastInsertId() const
{
    return insertId;
}

QVariant SqlCipherResult::handle() const
{
    return QVariant::fromValue(static_cast<void*>(statement));
}

void SqlCipherResult::detachFromResultSet()
{
    if (statement)
        sqlite3_reset(statement);
}
