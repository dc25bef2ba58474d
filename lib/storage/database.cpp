#include "storage/database.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"
#include "config/settings.h"
#include "storage/passphrase.h"
#include "storage/reportrows.h"
#include "storage/sqlcipherdriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSqlDriver>
#include <QVariant>
#include <atomic>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

namespace {

const QString personalConnection = QStringLiteral("personal");
const QString cipherOptions = QStringLiteral("QSQLITE_USE_CIPHER=sqlcipher;SQLCIPHER_LEGACY=3");

// Organ groups left out of a person's parameters: 16 and 28 for men, 17 and 18 for women.
quint32 excludedGroup1(bool female)
{
    return 16U + (female ? 1U : 0U);
}

quint32 excludedGroup2(bool female)
{
    return female ? 18U : 28U;
}

const char* joinedParameters = " FROM OrganGroups INNER JOIN Parameters on OrganGroups.id = "
                               "Parameters.organid WHERE OrganGroups.id != :id1 and "
                               "OrganGroups.id != :id2";

} // namespace

namespace {
std::unique_ptr<Database>& gateway()
{
    static std::unique_ptr<Database> current;
    return current;
}
// Set once access has ended for good; a Database made after that opens nothing.
std::atomic<bool> accessEnded = false;
} // namespace

Database& Database::instance()
{
    std::unique_ptr<Database>& current = gateway();
    if (!current)
        current.reset(new Database());
    return *current;
}

void Database::release()
{
    gateway().reset();
}

Database::Database()
    : logger(backendLogger())
{
    if (accessEnded || !QCoreApplication::instance()) {
        ended = true;
        return;
    }
    // A backstop: whatever is still open ends before the application object.
    static const bool endsWithTheApplication = [] {
        qAddPostRoutine(&Database::endAll);
        return true;
    }();
    Q_UNUSED(endsWithTheApplication);
    SqlCipherDriver::registerDriver();
    logger->debug("Supported SQL drivers: {}", QSqlDatabase::drivers().join(QStringLiteral(", ")));
    parametersDb = QSqlDatabase::addDatabase(QString::fromLatin1(SqlCipherDriver::driverName));
    personalDb = QSqlDatabase::addDatabase(QString::fromLatin1(SqlCipherDriver::driverName),
                                           personalConnection);
    openParametersDatabase();
    openPersonalDatabase();
}

Database::~Database()
{
    end();
}

void Database::endAll()
{
    accessEnded = true;
    release();
}

void Database::end()
{
    if (ended)
        return;
    ended = true;
    inTransaction = false;
    parametersDb.close();
    personalDb.close();
    parametersDb = QSqlDatabase();
    personalDb = QSqlDatabase();
    // Without the application the registry is gone (Qt 6.6 and later warn).
    if (QCoreApplication::instance()) {
        QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
        QSqlDatabase::removeDatabase(personalConnection);
    }
}

QString Database::parametersRelativePath()
{
    return QStringLiteral("../../../data/common/parameters.db");
}

QString Database::personalDirectory()
{
    const QString dynamic = Settings::instance().dynamicDbPath();
    if (dynamic != QLatin1String("-1"))
        return dynamic;
    QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString own = QCoreApplication::applicationName();
    // Without an application name of our own there is nothing to cut; keep a separator.
    if (!own.isEmpty() && base.endsWith(own))
        base.chop(own.size());
    else
        base += QLatin1Char('/');
    return base + Settings::instance().applicationName();
}

void Database::openParametersDatabase()
{
    const QString password = Passphrase::build();
    const QString path = parametersRelativePath();
    if (!QFileInfo::exists(path)) {
        logger->info("Couldn't find db file at {}", path);
        return;
    }
    logger->debug("Opening static database file: {}", path);
    parametersDb.setDatabaseName(path);
    parametersDb.setPassword(password);
    parametersDb.setConnectOptions(cipherOptions);
    if (parametersDb.open()) {
        QSqlQuery pragma(parametersDb);
        pragma.exec(QStringLiteral("PRAGMA foreign_keys=off;"));
        if (pragma.size() != 0)
            logger->info("Parameters database has been opened successfully");
    } else {
        logger->error("Couldn't open the parameters.db");
        logger->error("{}", parametersDb.lastError().text());
    }
}

void Database::openPersonalDatabase(const QString& directory)
{
    const QString password = Passphrase::build();
    personalDirOpened = directory;
    const QString file = personalDirOpened + QStringLiteral("/personal.db");
    logger->debug("Opening personal database file: {}", QFileInfo(file).absoluteFilePath());
    logger->trace("personal.db exists: {}", QFileInfo::exists(file));
    personalDb.setDatabaseName(file);
    personalDb.setPassword(password);
    personalDb.setConnectOptions(cipherOptions);
    if (personalDb.open()) {
        QSqlQuery pragma(personalDb);
        pragma.exec(QStringLiteral("PRAGMA foreign_keys=off;"));
        if (pragma.size() != 0) {
            logger->info("Database (dynamic) has been opened successfully");
        } else {
            logger->trace("Database (dynamic) running PRAGMA was unsuccessful.");
            logger->error("Database (dynamic) has not been opened");
        }
    } else {
        logger->error("Couldn't open the personal.db");
        logger->error("{}", personalDb.lastError().text());
    }
}

void Database::followPersonalDirectory(const QString& wanted)
{
    if (inTransaction || ended || wanted == personalDirOpened)
        return;
    logger->info("Personal database directory changed to {}, re-opening", wanted);
    personalDb.close();
    openPersonalDatabase(wanted);
}

void Database::reopen()
{
    if (ended)
        return;
    parametersDb.close();
    personalDb.close();
    inTransaction = false;
    openParametersDatabase();
    openPersonalDatabase();
}

bool Database::parametersOpen() const
{
    return parametersDb.isOpen();
}

bool Database::personalReady()
{
    // Qt warns on every statement against a closed connection; answer here instead.
    if (personalDb.isOpen())
        return true;
    personalError = ended ? QStringLiteral("database access has ended") : QStringLiteral("personal.db is not open");
    return false;
}

bool Database::personalOpen()
{
    followPersonalDirectory();
    return personalDb.isOpen();
}

bool Database::createNewReport(const QString& timeStamp, quint32 personId)
{
    followPersonalDirectory();
    insertedReportId.clear();
    personalError.clear();
    if (!personalReady())
        return false;
    QSqlQuery query(personalDb);
    query.prepare(QStringLiteral(
        "INSERT INTO Reports (date, personid, score) VALUES (:timeStamp, :id, 0)"));
    query.bindValue(QStringLiteral(":timeStamp"), timeStamp);
    query.bindValue(QStringLiteral(":id"), personId);
    if (!query.exec()) {
        personalError = query.lastError().text();
        return false;
    }
    const auto id = ReportRows::insertedId(personalDb, query.lastInsertId(), timeStamp, personId);
    if (id)
        insertedReportId = *id;
    else
        personalError = id.error(); // the row exists; the caller reports the missing id
    return true;
}

bool Database::updateReportScore(const QString& id, qint32 score)
{
    followPersonalDirectory();
    if (!personalReady())
        return false;
    const auto updated = ReportRows::setScore(personalDb, id, score);
    if (!updated)
        personalError = updated.error();
    return updated.has_value();
}

QString Database::reportId(const QString& timeStamp, quint32 personId)
{
    followPersonalDirectory();
    if (!personalReady())
        return QString();
    QSqlQuery query(personalDb);
    query.prepare(QStringLiteral("SELECT id FROM Reports WHERE personid=:id and date=:timeStamp"));
    query.bindValue(QStringLiteral(":timeStamp"), timeStamp);
    query.bindValue(QStringLiteral(":id"), personId);
    if (query.exec() && query.first())
        return query.value(0).toString();
    return QString();
}

QStringList Database::personValues(const QString& sql)
{
    followPersonalDirectory();
    if (!personalReady())
        return QStringList(9, QString());
    QSqlQuery query(personalDb);
    const bool found = query.exec(sql) && query.first();
    QStringList values;
    for (int i = 0; i < 9; ++i)
        values << (found ? query.value(i).toString() : QString());
    return values;
}

QList<quint32> Database::parameterIds(bool female)
{
    return readParameterIds(female).value_or(QList<quint32>());
}

QList<ParameterInfo> Database::parameters(bool female)
{
    return readParameters(female).value_or(QList<ParameterInfo>());
}

std::expected<QList<quint32>, QString> Database::readParameterIds(bool female)
{
    // A query on a connection that is not there would fall back to Qt's default one.
    if (!parametersDb.isOpen()) {
        logger->error("Couldn't get parameter ids from parameters database.");
        return std::unexpected(QStringLiteral("parameters.db is not open"));
    }
    QSqlQuery query(parametersDb);
    query.prepare(QStringLiteral("SELECT Parameters.id") + QLatin1String(joinedParameters));
    query.bindValue(QStringLiteral(":id1"), excludedGroup1(female));
    query.bindValue(QStringLiteral(":id2"), excludedGroup2(female));
    if (!query.exec()) {
        logger->error("Couldn't get parameter ids from parameters database.");
        return std::unexpected(query.lastError().text());
    }
    QList<quint32> ids;
    while (query.next())
        ids << query.value(0).toUInt();
    // A read that stops early (a page that cannot be decrypted) is no empty table.
    if (query.lastError().isValid())
        return std::unexpected(query.lastError().text());
    return ids;
}

std::expected<QList<ParameterInfo>, QString> Database::readParameters(bool female)
{
    if (!parametersDb.isOpen()) {
        logger->error("Couldn't get parameters from parameters database.");
        return std::unexpected(QStringLiteral("parameters.db is not open"));
    }
    QSqlQuery query(parametersDb);
    query.prepare(QStringLiteral("SELECT Parameters.id, Parameters.min, Parameters.max, "
                                 "OrganGroups.name_en, OrganGroups.id")
                  + QLatin1String(joinedParameters));
    query.bindValue(QStringLiteral(":id1"), excludedGroup1(female));
    query.bindValue(QStringLiteral(":id2"), excludedGroup2(female));
    if (!query.exec()) {
        logger->error("Couldn't get parameters from parameters database.");
        return std::unexpected(query.lastError().text());
    }
    QList<ParameterInfo> list;
    while (query.next()) {
        list.append(ParameterInfo{query.value(0).toUInt(), query.value(1).toFloat(),
                                  query.value(2).toFloat(), query.value(3).toString(),
                                  query.value(4).toUInt()});
    }
    if (query.lastError().isValid())
        return std::unexpected(query.lastError().text());
    return list;
}

bool Database::insertResults(const QVariantList& values, const QVariantList& reportIds,
                             const QVariantList& parameterIds, const QVariantList& scales)
{
    followPersonalDirectory();
    const qsizetype rows = values.size();
    if (reportIds.size() != rows || parameterIds.size() != rows || scales.size() != rows) {
        logger->error("Result lists differ in length: {}, {}, {}, {}", rows, reportIds.size(),
                      parameterIds.size(), scales.size());
        return false;
    }
    if (!personalReady())
        return false;
    QSqlQuery query(personalDb);
    if (!query.prepare(QStringLiteral(
            "insert into Results (value, reportid, parameterid, scale) values (?, ?, ?, ?)"))) {
        personalError = query.lastError().text();
        return false;
    }
    query.addBindValue(values);
    query.addBindValue(reportIds);
    query.addBindValue(parameterIds);
    query.addBindValue(scales);
    if (!query.execBatch()) {
        personalError = query.lastError().text();
        return false;
    }
    return true;
}

bool Database::runQuery(const QString& sql)
{
    followPersonalDirectory();
    logger->debug("Running query: {}", sql);
    if (!personalReady())
        return false;
    QSqlQuery query(personalDb);
    if (!query.exec(sql)) {
        personalError = query.lastError().text();
        return false;
    }
    return true;
}

QString Database::currentReportId() const
{
    return currentReportIdValue;
}

void Database::setCurrentReportId(const QString& id)
{
    currentReportIdValue = id;
}

QString Database::lastInsertedReportId() const
{
    return insertedReportId;
}

bool Database::beginTransaction(const QString& personalDirectory)
{
    followPersonalDirectory(personalDirectory);
    if (!personalReady())
        return false;
    inTransaction = personalDb.transaction();
    if (!inTransaction)
        personalError = personalDb.lastError().text();
    return inTransaction;
}

bool Database::commitTransaction()
{
    if (!personalReady())
        return false;
    const bool ok = personalDb.commit();
    if (ok)
        inTransaction = false;
    else
        personalError = personalDb.lastError().text();
    return ok;
}

bool Database::rollbackTransaction()
{
    inTransaction = false;
    if (!personalReady())
        return false;
    const bool ok = personalDb.rollback();
    if (!ok)
        personalError = personalDb.lastError().text();
    return ok;
}

bool Database::transactionOpen()
{
    if (!personalDb.isOpen() || !personalDb.driver())
        return false;
    auto* handle = static_cast<sqlite3*>(personalDb.driver()->handle().value<void*>());
    return handle && sqlite3_get_autocommit(handle) == 0;
}

QString Database::personalErrorText() const
{
    return personalError;
}
