#include "cipherfixture.h"

#include "storage/passphrase.h"

#include <QProcess>
#include <QSet>

namespace {
QString failure;
}

bool CipherFixture::cliWithKey(const QString& file, const QString& key, const QString& sql,
                               QString* output, int format)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlcipher"), {QStringLiteral("-bail"), file});
    if (!shell.waitForStarted(10000)) {
        failure = QStringLiteral("sqlcipher did not start");
        return false;
    }
    QString script;
    if (!key.isEmpty()) {
        // Files here are in SQLCipher's version-3 format, as the driver and the
        // frontend write them, unless the caller names another. SQLCipher 4
        // shells default to their version-4 format unless told; 3.x shells
        // ignore the pragma. Newer shells answer "ok" to the key, so the set-up
        // prints nowhere. Quotes in the key are doubled, as SQL wants them.
        script += QStringLiteral(".output /dev/null\nPRAGMA key='%1';\n"
                                 "PRAGMA cipher_compatibility = %2;\n.output stdout\n")
                      .arg(QString(key).replace(QLatin1Char('\''), QStringLiteral("''")))
                      .arg(format);
    }
    script += sql + QLatin1Char('\n');
    shell.write(script.toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(60000);
    if (output)
        *output = QString::fromUtf8(shell.readAllStandardOutput());
    failure = QString::fromUtf8(shell.readAllStandardError());
    return shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0;
}

bool CipherFixture::cli(const QString& file, const QString& sql, QString* output)
{
    return cliWithKey(file, Passphrase::build(), sql, output);
}

QString CipherFixture::lastError()
{
    return failure;
}

bool CipherFixture::createPersonal(const QString& file)
{
    return cli(file, QStringLiteral(
        "CREATE TABLE Persons (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, "
        "gender TEXT, birthday TEXT, height TEXT, weight TEXT, mobilenumber TEXT, "
        "phonenumber TEXT, email TEXT, address TEXT);\n"
        "CREATE TABLE Reports (id INTEGER PRIMARY KEY AUTOINCREMENT, date TEXT NOT NULL, "
        "personid INTEGER NOT NULL, score INTEGER NOT NULL DEFAULT 0);\n"
        "CREATE TABLE Results (id INTEGER PRIMARY KEY AUTOINCREMENT, value TEXT NOT NULL, "
        "reportid INTEGER NOT NULL, parameterid INTEGER NOT NULL, scale INTEGER NOT NULL);"));
}

quint32 CipherFixture::addPerson(const QString& file, const QString& name, const QString& gender,
                                 const QString& birthday, const QString& height,
                                 const QString& weight)
{
    QString out;
    const QString sql = QStringLiteral(
        "INSERT INTO Persons (name, gender, birthday, height, weight, mobilenumber, phonenumber, "
        "email, address) VALUES ('%1', '%2', '%3', '%4', '%5', '+100', '200', 'a@b.c', 'Street 1');\n"
        "SELECT last_insert_rowid();")
        .arg(name, gender, birthday, height, weight);
    if (!cli(file, sql, &out))
        return 0;
    return out.trimmed().toUInt();
}

bool CipherFixture::createParameters(const QString& file, const QList<Parameter>& parameters)
{
    QString sql = QStringLiteral(
        "CREATE TABLE OrganGroups (id INTEGER PRIMARY KEY, name_en TEXT NOT NULL);\n"
        "CREATE TABLE Parameters (id INTEGER PRIMARY KEY, name_en TEXT, min REAL, max REAL, "
        "organid INTEGER NOT NULL);\nBEGIN;\n");
    QSet<quint32> groups;
    for (const Parameter& p : parameters) {
        if (!groups.contains(p.groupId)) {
            groups.insert(p.groupId);
            sql += QStringLiteral("INSERT INTO OrganGroups VALUES (%1, 'Group %1');\n").arg(p.groupId);
        }
        sql += QStringLiteral("INSERT INTO Parameters VALUES (%1, 'Parameter %1', %2, %3, %4);\n")
                   .arg(p.id)
                   .arg(p.min, 0, 'g', 17)
                   .arg(p.max, 0, 'g', 17)
                   .arg(p.groupId);
    }
    sql += QStringLiteral("COMMIT;");
    return cli(file, sql);
}

QStringList CipherFixture::rows(const QString& file, const QString& sql, int format)
{
    QString out;
    if (!cliWithKey(file, Passphrase::build(), sql, &out, format))
        return {QStringLiteral("<error: %1>").arg(failure.trimmed())};
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
