#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

// Where a measurement through the real program keeps its files: the program
// finds parameters.db at ../../../data/common from its working directory, and
// personal.db where set_db points. Suites fill the databases their own way.
struct MeasurementSite {
    QTemporaryDir root;
    QString workDir = root.filePath(QStringLiteral("install/bin/a/b"));
    QString personalDir = root.filePath(QStringLiteral("personal"));
    QString personalDb = personalDir + QStringLiteral("/personal.db");
    QString parametersDb = root.filePath(QStringLiteral("install/data/common/parameters.db"));
    quint32 personId = 0;

    bool makeFolders() const
    {
        return QDir().mkpath(workDir) && QDir().mkpath(personalDir) && QDir().mkpath(QFileInfo(parametersDb).path());
    }
};
