#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTextStream>

// Creates and inspects the encrypted personal.db and parameters.db for tests,
// demos and the frontend team. Every file is keyed with the backend's passphrase.
class DbTool {
public:
    DbTool();
    ~DbTool();

    // Runs one subcommand; returns the process exit code.
    int run(const QStringList& arguments);

private:
    int createPersonal(const QStringList& args);
    int addPerson(const QStringList& args);
    int createParameters(const QStringList& args);
    int listReports(const QStringList& args);
    int usage(int code);

    QSqlDatabase open(const QString& file, bool readOnly);
    bool execAll(QSqlDatabase& db, const QStringList& statements);
    int fail(const QString& message, int code = 1);

    QTextStream out;
    QTextStream err;
    int connections = 0;
};
