#include "dbtool.h"

#include "storage/passphrase.h"
#include "storage/sqlcipherdriver.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

namespace {

const QStringList personalSchema{
    QStringLiteral("CREATE TABLE IF NOT EXISTS Persons (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                   "name TEXT NOT NULL, gender TEXT NOT NULL, birthday TEXT NOT NULL, "
                   "height TEXT, weight TEXT, mobilenumber TEXT, phonenumber TEXT, email TEXT, "
                   "address TEXT)"),
    QStringLiteral("CREATE TABLE IF NOT EXISTS Reports (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                   "date TEXT NOT NULL, personid INTEGER NOT NULL REFERENCES Persons(id), "
                   "score INTEGER NOT NULL DEFAULT 0)"),
    QStringLiteral("CREATE TABLE IF NOT EXISTS Results (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                   "value TEXT NOT NULL, reportid INTEGER NOT NULL REFERENCES Reports(id), "
                   "parameterid INTEGER NOT NULL, scale INTEGER NOT NULL DEFAULT 0)"),
};

const QStringList parametersSchema{
    QStringLiteral("CREATE TABLE OrganGroups (id INTEGER PRIMARY KEY, name_en TEXT NOT NULL)"),
    QStringLiteral("CREATE TABLE Parameters (id INTEGER PRIMARY KEY, name_en TEXT NOT NULL, "
                   "min REAL NOT NULL, max REAL NOT NULL, "
                   "organid INTEGER NOT NULL REFERENCES OrganGroups(id))"),
};

} // namespace

DbTool::DbTool()
    : out(stdout)
    , err(stderr)
{
    SqlCipherDriver::registerDriver();
}

DbTool::~DbTool()
{
    for (const QString& name : QSqlDatabase::connectionNames()) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

int DbTool::usage(int code)
{
    (code == 0 ? out : err)
        << "Usage: ulvex-dbtool <command> [arguments]\n"
           "  create-personal <personal.db>\n"
           "      create the Persons, Reports and Results tables (existing ones stay)\n"
           "  add-person <personal.db> <name> <yyyy-MM-dd> <Male|Female> <height cm> <weight kg>\n"
           "      add a person and print its id\n"
           "  create-parameters <parameters.db> [parameters.csv]\n"
           "      create a new reference database from a CSV file (default: built-in sample)\n"
           "  list-reports <personal.db> [parameters.db]\n"
           "      print every report with its score and results\n";
    (code == 0 ? out : err).flush();
    return code;
}

int DbTool::fail(const QString& message, int code)
{
    err << "ulvex-dbtool: " << message << '\n';
    err.flush();
    return code;
}

QSqlDatabase DbTool::open(const QString& file, bool readOnly)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QString::fromLatin1(SqlCipherDriver::driverName),
                                                QStringLiteral("dbtool%1").arg(++connections));
    db.setDatabaseName(file);
    db.setPassword(Passphrase::build());
    QString options = QStringLiteral("QSQLITE_USE_CIPHER=sqlcipher;SQLCIPHER_LEGACY=3");
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open())
        fail(QStringLiteral("cannot open %1: %2").arg(file, db.lastError().text()));
    return db;
}

bool DbTool::execAll(QSqlDatabase& db, const QStringList& statements)
{
    QSqlQuery query(db);
    for (const QString& sql : statements) {
        if (!query.exec(sql)) {
            fail(query.lastError().text());
            return false;
        }
    }
    return true;
}

int DbTool::run(const QStringList& arguments)
{
    const QString command = arguments.value(0);
    const QStringList args = arguments.mid(1);
    if (command == QLatin1String("create-personal"))
        return createPersonal(args);
    if (command == QLatin1String("add-person"))
        return addPerson(args);
    if (command == QLatin1String("create-parameters"))
        return createParameters(args);
    if (command == QLatin1String("list-reports"))
        return listReports(args);
    if (command == QLatin1String("help") || command == QLatin1String("--help"))
        return usage(0);
    return usage(2);
}

int DbTool::createPersonal(const QStringList& args)
{
    if (args.size() != 1)
        return usage(2);
    QSqlDatabase db = open(args[0], false);
    return db.isOpen() && execAll(db, personalSchema) ? 0 : 1;
}

int DbTool::addPerson(const QStringList& args)
{
    if (args.size() != 6)
        return usage(2);
    bool heightOk = false;
    bool weightOk = false;
    args[4].toDouble(&heightOk);
    args[5].toDouble(&weightOk);
    if (!QDate::fromString(args[2], QStringLiteral("yyyy-MM-dd")).isValid() || !heightOk || !weightOk)
        return fail(QStringLiteral("birthday must be yyyy-MM-dd, height and weight numbers"), 2);
    QSqlDatabase db = open(args[0], false);
    if (!db.isOpen())
        return 1;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO Persons (name, birthday, gender, height, weight) "
                                 "VALUES (:name, :birthday, :gender, :height, :weight)"));
    query.bindValue(QStringLiteral(":name"), args[1]);
    query.bindValue(QStringLiteral(":birthday"), args[2]);
    query.bindValue(QStringLiteral(":gender"), args[3]);
    query.bindValue(QStringLiteral(":height"), args[4]);
    query.bindValue(QStringLiteral(":weight"), args[5]);
    if (!query.exec())
        return fail(query.lastError().text());
    out << query.lastInsertId().toString() << '\n';
    out.flush();
    return 0;
}

int DbTool::createParameters(const QStringList& args)
{
    if (args.isEmpty() || args.size() > 2)
        return usage(2);
    if (QFileInfo::exists(args[0]))
        return fail(QStringLiteral("%1 exists; remove it first").arg(args[0]));
    QFile csv(args.size() == 2 ? args[1] : QStringLiteral(":/dbtool/sample-parameters.csv"));
    if (!csv.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(QStringLiteral("cannot read %1").arg(csv.fileName()));

    QSqlDatabase db = open(args[0], false);
    if (!db.isOpen() || !execAll(db, parametersSchema) || !db.transaction())
        return 1;
    QSqlQuery group(db);
    QSqlQuery parameter(db);
    group.prepare(QStringLiteral("INSERT OR IGNORE INTO OrganGroups (id, name_en) VALUES (?, ?)"));
    parameter.prepare(QStringLiteral(
        "INSERT INTO Parameters (id, name_en, min, max, organid) VALUES (?, ?, ?, ?, ?)"));
    int count = 0;
    int lineNumber = 0;
    while (!csv.atEnd()) {
        const QString line = QString::fromUtf8(csv.readLine()).trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = line.split(QLatin1Char(','));
        bool ok[4] = {false, false, false, false};
        const uint id = f.value(0).toUInt(&ok[0]);
        const double min = f.value(2).toDouble(&ok[1]);
        const double max = f.value(3).toDouble(&ok[2]);
        const uint groupId = f.value(4).toUInt(&ok[3]);
        if (f.size() != 6 || !ok[0] || !ok[1] || !ok[2] || !ok[3] || !(min < max)) {
            db.rollback();
            return fail(QStringLiteral("line %1: expected id,name,min,max,group id,group name with min < max")
                            .arg(lineNumber));
        }
        group.addBindValue(groupId);
        group.addBindValue(f[5].trimmed());
        parameter.addBindValue(id);
        parameter.addBindValue(f[1].trimmed());
        parameter.addBindValue(min);
        parameter.addBindValue(max);
        parameter.addBindValue(groupId);
        if (!group.exec() || !parameter.exec()) {
            const QString text = (group.lastError().isValid() ? group : parameter).lastError().text();
            db.rollback();
            return fail(QStringLiteral("line %1: %2").arg(lineNumber).arg(text));
        }
        ++count;
    }
    if (!db.commit())
        return fail(db.lastError().text());
    out << count << " parameters written to " << args[0] << '\n';
    out.flush();
    return 0;
}

int DbTool::listReports(const QStringList& args)
{
    if (args.isEmpty() || args.size() > 2)
        return usage(2);
    QSqlDatabase db = open(args[0], true);
    if (!db.isOpen())
        return 1;
    QHash<qlonglong, QString> names;
    if (args.size() == 2) {
        QSqlDatabase params = open(args[1], true);
        if (!params.isOpen())
            return 1;
        QSqlQuery q(params);
        if (!q.exec(QStringLiteral("SELECT id, name_en, min, max FROM Parameters")))
            return fail(q.lastError().text());
        while (q.next()) {
            names.insert(q.value(0).toLongLong(), QStringLiteral("%1 [%2 .. %3]")
                             .arg(q.value(1).toString())
                             .arg(q.value(2).toDouble())
                             .arg(q.value(3).toDouble()));
        }
    }
    QSqlQuery reports(db);
    if (!reports.exec(QStringLiteral("SELECT Reports.id, Reports.date, Reports.personid, Reports.score, "
                                     "Persons.name FROM Reports LEFT JOIN Persons ON "
                                     "Persons.id = Reports.personid ORDER BY Reports.id")))
        return fail(reports.lastError().text());
    QSqlQuery results(db);
    results.prepare(QStringLiteral("SELECT parameterid, value, scale FROM Results WHERE reportid = ? ORDER BY id"));
    int count = 0;
    while (reports.next()) {
        ++count;
        out << "Report " << reports.value(0).toString() << "  date " << reports.value(1).toString()
            << "  person " << reports.value(2).toString() << " (" << reports.value(4).toString()
            << ")  score " << reports.value(3).toString() << '\n';
        results.addBindValue(reports.value(0));
        if (!results.exec())
            return fail(results.lastError().text());
        int rows = 0;
        while (results.next()) {
            ++rows;
            const qlonglong id = results.value(0).toLongLong();
            out << "  parameter " << id << "  value " << results.value(1).toString() << "  scale "
                << results.value(2).toString();
            if (names.contains(id))
                out << "  " << names.value(id);
            out << '\n';
        }
        out << "  " << rows << " results\n";
    }
    out << count << " reports\n";
    out.flush();
    return 0;
}
