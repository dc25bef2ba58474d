#include "capturesink.h"
#include "telemetry/findfrontend.h"
#include "telemetry/telemetryconfig.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#if defined(Q_OS_WIN)
#include <windows.h>
#endif

class TestFindFrontend : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void uninstallerNames_data();
    void uninstallerNames();
    void nothingFound();
    void nearestOfTwoWins();
    void sameDirectoryFollowsIterator();
    void depthBound();
    void entryBound();
    void linkLoopEnds();
    void hiddenEntriesSkipped_data();
    void hiddenEntriesSkipped();
    void defaultRootIsFourLevelsUp();

private:
    static bool touch(const QString& path);
    std::shared_ptr<CaptureSink> sink;
};

void TestFindFrontend::initTestCase()
{
    sink = CaptureSink::install();
}

bool TestFindFrontend::touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

void TestFindFrontend::uninstallerNames_data()
{
    QTest::addColumn<QString>("uninstaller");
    QTest::addColumn<QString>("frontend");
    QTest::newRow("Uninstall Foo") << "Apps/Uninstall Foo.exe" << "Apps/Foo.exe";
    QTest::newRow("upper case, no blank") << "Apps/UNINSTALL-tool.exe" << "Apps/-tool.exe";
    QTest::newRow("only the word") << "Apps/uninstall.exe" << "Apps/.exe";
#if !defined(Q_OS_WIN) // Windows allows no tab in a file name
    QTest::newRow("mixed case, tabs and blanks") << "x/UnInstall \t Bar.exe" << "x/Bar.exe";
#endif
    QTest::newRow("word in the middle") << "Foo Uninstaller.exe" << "Foo er.exe";
    QTest::newRow("upper-case extension") << "a/b/Uninstall Baz.EXE" << "a/b/Baz.EXE";
}

void TestFindFrontend::uninstallerNames()
{
    QFETCH(QString, uninstaller);
    QFETCH(QString, frontend);
    QTemporaryDir root;
    QVERIFY(touch(root.filePath("Apps/Foo.exe")));
    QVERIFY(touch(root.filePath("readme.txt")));
    QVERIFY(touch(root.filePath(uninstaller)));
    const auto found = findFrontend(root.path(), TelemetryConfig::kFrontendSearchDepth,
        TelemetryConfig::kFrontendSearchEntries);
    QVERIFY(found.has_value());
    QCOMPARE(*found, QDir(root.path()).absoluteFilePath(frontend));
    QVERIFY(QFileInfo(*found).isAbsolute());
}

void TestFindFrontend::nothingFound()
{
    QTemporaryDir root;
    QVERIFY(touch(root.filePath("Apps/Foo.exe")));
    QVERIFY(touch(root.filePath("Apps/uninstall.txt")));
    QVERIFY(touch(root.filePath("Apps/uninstall.exe.bak")));
    QVERIFY(QDir(root.path()).mkpath("Apps/Uninstall Dir.exe")); // a directory, not a file
    QCOMPARE(findFrontend(root.path(), 6, 1000), std::nullopt);
    QCOMPARE(findFrontend(root.filePath("does-not-exist"), 6, 1000), std::nullopt);
}

void TestFindFrontend::nearestOfTwoWins()
{
    QTemporaryDir root;
    QVERIFY(touch(root.filePath("a/b/c/Uninstall Deep.exe")));
    QVERIFY(touch(root.filePath("z/Uninstall Near.exe")));
    QCOMPARE(findFrontend(root.path(), 6, 1000), QDir(root.path()).absoluteFilePath("z/Near.exe"));
}

// Within one directory the iterator's order decides.
void TestFindFrontend::sameDirectoryFollowsIterator()
{
    QTemporaryDir root;
    QVERIFY(touch(root.filePath("App/Uninstall One.exe")));
    QVERIFY(touch(root.filePath("App/Uninstall Two.exe")));
    QDirIterator it(root.filePath("App"), QDir::Files);
    QVERIFY(it.hasNext());
    const QString first = QFileInfo(it.next()).fileName().mid(QStringLiteral("Uninstall ").size());
    QCOMPARE(findFrontend(root.path(), 6, 1000), QDir(root.path()).absoluteFilePath("App/" + first));
}

void TestFindFrontend::depthBound()
{
    QTemporaryDir root;
    QVERIFY(touch(root.filePath("1/2/3/Uninstall Foo.exe")));
    QCOMPARE(findFrontend(root.path(), 2, 1000), std::nullopt);
    QCOMPARE(findFrontend(root.path(), 3, 1000), QDir(root.path()).absoluteFilePath("1/2/3/Foo.exe"));
}

void TestFindFrontend::entryBound()
{
    QTemporaryDir root;
    for (int i = 0; i < 50; ++i)
        QVERIFY(touch(root.filePath(QStringLiteral("%1.dat").arg(i))));
    QVERIFY(touch(root.filePath("z/Uninstall Foo.exe")));
    // Root holds 50 files and z, z holds the uninstaller: 52 entries in all.
    QCOMPARE(findFrontend(root.path(), 6, 51), std::nullopt);
    QVERIFY(sink->contains(spdlog::level::debug, "Frontend search stopped after 51 entries"));
    QCOMPARE(findFrontend(root.path(), 6, 52), QDir(root.path()).absoluteFilePath("z/Foo.exe"));
}

void TestFindFrontend::linkLoopEnds()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("a/b"));
    QVERIFY(QFile::link(root.path(), root.filePath("a/b/loop")));
    QVERIFY(QFile::link(root.filePath("nowhere"), root.filePath("a/dangling")));
    QCOMPARE(findFrontend(root.path(), 1000, 1000000), std::nullopt);
}

void TestFindFrontend::hiddenEntriesSkipped_data()
{
    QTest::addColumn<QStringList>("uninstallers");
    QTest::addColumn<QString>("frontend");
    QTest::newRow("hidden folder") << QStringList{".wine/drive_c/Uninstall Foo.exe"} << "";
    QTest::newRow("hidden file") << QStringList{"App/.Uninstall Foo.exe"} << "";
    QTest::newRow("hidden copy nearer than the visible one")
        << QStringList{".copy/Uninstall Foo.exe", "Apps/x/Uninstall Foo.exe"} << "Apps/x/Foo.exe";
}

// A listing filtered to *.exe shows no hidden entries; neither does the search.
void TestFindFrontend::hiddenEntriesSkipped()
{
    QFETCH(QStringList, uninstallers);
    QFETCH(QString, frontend);
    QTemporaryDir root;
    for (const QString& path : uninstallers) {
        QVERIFY(touch(root.filePath(path)));
#if defined(Q_OS_WIN)
        // Windows hides by attribute, not by name: the dot entry gets it.
        QString hidden = root.path();
        for (const QString& part : path.split(QLatin1Char('/'))) {
            hidden += QLatin1Char('/') + part;
            if (part.startsWith(QLatin1Char('.')))
                QVERIFY(SetFileAttributesW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(hidden).utf16()),
                                           FILE_ATTRIBUTE_HIDDEN));
        }
#endif
    }
    const auto found = findFrontend(root.path(), 6, 1000);
    if (frontend.isEmpty())
        QCOMPARE(found, std::nullopt);
    else
        QCOMPARE(found, QDir(root.path()).absoluteFilePath(frontend));
}

void TestFindFrontend::defaultRootIsFourLevelsUp()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("Program/App/resources/bin/x64"));
    QVERIFY(touch(root.filePath("Program/Uninstall Ulvex.exe")));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root.filePath("Program/App/resources/bin/x64")));
    const QString searchRoot = TelemetryConfig::defaultFrontendSearchRoot();
    const auto found = findFrontend();
    QDir::setCurrent(previous);
    QCOMPARE(searchRoot, QDir(root.filePath("Program")).canonicalPath());
    QCOMPARE(found, QDir(root.filePath("Program")).canonicalPath() + "/Ulvex.exe");
}

QTEST_GUILESS_MAIN(TestFindFrontend)
#include "tst_findfrontend.moc"
