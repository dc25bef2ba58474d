#pragma once

#include "cipherfixture.h"
#include "testtools.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

// parameters.db where the backend looks for it (../../../data/common from
// its working folder), and two personal folders: X holds persons A and B,
// Y two other persons with the same ids.
struct TwoFolderSite {
    QTemporaryDir root;
    QString workDir = root.filePath(QStringLiteral("install/bin/a/b"));
    QString parametersDb = root.filePath(QStringLiteral("install/data/common/parameters.db"));
    QString dirX = root.filePath(QStringLiteral("x"));
    QString dirY = root.filePath(QStringLiteral("y"));
    QString dbX = dirX + QStringLiteral("/personal.db");
    QString dbY = dirY + QStringLiteral("/personal.db");
    qint32 personA = 0;
    qint32 personB = 0;

    qint32 add(const QString& db, const QString& name, bool* ok)
    {
        bool step = false;
        const QString out = dbtool({QStringLiteral("add-person"), db, name, QStringLiteral("1975-03-02"),
                                    QStringLiteral("Male"), QStringLiteral("180"), QStringLiteral("80")}, &step);
        *ok = *ok && step;
        return out.section(QLatin1Char(' '), -1).toInt();
    }
    bool prepare()
    {
        bool ok = QDir().mkpath(workDir) && QDir().mkpath(dirX) && QDir().mkpath(dirY)
            && QDir().mkpath(QFileInfo(parametersDb).path());
        for (const QStringList& args : {QStringList{QStringLiteral("create-parameters"), parametersDb},
                                        QStringList{QStringLiteral("create-personal"), dbX},
                                        QStringList{QStringLiteral("create-personal"), dbY}}) {
            bool step = false;
            dbtool(args, &step);
            ok = ok && step;
        }
        personA = add(dbX, QStringLiteral("Person A"), &ok);
        personB = add(dbX, QStringLiteral("Person B"), &ok);
        const qint32 otherA = add(dbY, QStringLiteral("Other A"), &ok);
        const qint32 otherB = add(dbY, QStringLiteral("Other B"), &ok);
        return ok && personA > 0 && personB > 0 && otherA == personA && otherB == personB;
    }
    QString count(const QString& db, const QString& table) const
    {
        return CipherFixture::rows(db, QStringLiteral("SELECT count(*) FROM %1;").arg(table)).value(0);
    }
};
