// Prints how long saving a report takes for growing parameter counts, without
// the per-parameter pause the session adds, and how long personal.db is
// locked for writing: the write follows the last progress call, so the time
// from that call to the end of the save bounds the lock. Not part of the test
// suite.
#include "cipherfixture.h"
#include "config/settings.h"
#include "storage/database.h"
#include "storage/reportsaver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    QDir dir(root.path());
    if (!root.isValid() || !dir.mkpath(QStringLiteral("data/common")) || !dir.mkpath(QStringLiteral("x/y/z"))
        || !dir.mkpath(QStringLiteral("p")))
        return 1;
    const QString personal = root.filePath(QStringLiteral("p/personal.db"));
    const QString parameters = root.filePath(QStringLiteral("data/common/parameters.db"));
    if (!CipherFixture::createPersonal(personal))
        return 1;
    const quint32 person = CipherFixture::addPerson(personal, "Bench", "Male", "1980-01-01", "180", "80");
    QDir::setCurrent(root.filePath(QStringLiteral("x/y/z")));
    Settings::instance().setDynamicDbPath(root.filePath(QStringLiteral("p")));

    const int counts[] = {40, 200, 1000, 5000};
    const int repeats = 5;
    std::printf("%10s %14s %14s %18s %14s %14s\n", "params", "mean ms/save", "min ms/save", "us per parameter",
                "mean lock ms", "max lock ms");
    for (int n : counts) {
        QList<CipherFixture::Parameter> list;
        for (int i = 1; i <= n; ++i)
            list.append({quint32(i), 1.0 + i, 2.0 + i, quint32(i % 30)});
        QFile::remove(parameters);
        if (!CipherFixture::createParameters(parameters, list))
            return 1;
        Database::instance().reopen();
        ReportSaver saver;
        if (!saver.loadPerson(person))
            return 1;
        double total = 0;
        double best = 1e18;
        double lockTotal = 0;
        double lockWorst = 0;
        for (int r = 0; r < repeats; ++r) {
            QElapsedTimer timer;
            timer.start();
            qint64 lastProgressNs = 0;
            if (!saver.saveReport(true, Database::personalDirectory(), [&](qint32, qint32) { lastProgressNs = timer.nsecsElapsed(); }))
                return 1;
            const qint64 endNs = timer.nsecsElapsed();
            const double ms = static_cast<double>(endNs) / 1e6;
            const double lockMs = static_cast<double>(endNs - lastProgressNs) / 1e6;
            total += ms;
            best = std::min(best, ms);
            lockTotal += lockMs;
            lockWorst = std::max(lockWorst, lockMs);
        }
        const double mean = total / repeats;
        std::printf("%10d %14.2f %14.2f %18.1f %14.2f %14.2f\n", n, mean, best, mean * 1000.0 / n,
                    lockTotal / repeats, lockWorst);
    }
    return 0;
}
