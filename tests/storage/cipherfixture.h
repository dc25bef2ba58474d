#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Builds and inspects encrypted database files with the sqlcipher command-line
// shell, an implementation independent of the code under test. Keyed files
// are read and written in SQLCipher's version-3 format with 3.x and 4.x shells,
// unless a call names another format (4 needs a 4.x shell).
class CipherFixture {
public:
    struct Parameter {
        quint32 id;
        double min;
        double max;
        quint32 groupId;
    };

    // Runs sql against file after keying it; output is the shell's standard output.
    static bool cli(const QString& file, const QString& sql, QString* output = nullptr);
    static bool cliWithKey(const QString& file, const QString& key, const QString& sql,
                           QString* output = nullptr, int format = 3);
    static QString lastError();

    static bool createPersonal(const QString& file);
    // Returns the new person's id, 0 on failure.
    static quint32 addPerson(const QString& file, const QString& name, const QString& gender,
                             const QString& birthday, const QString& height, const QString& weight);
    static bool createParameters(const QString& file, const QList<Parameter>& parameters);

    // Rows of a query as lines of '|' separated columns.
    static QStringList rows(const QString& file, const QString& sql, int format = 3);
};
