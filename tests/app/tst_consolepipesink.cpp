// Console lines into a pipe that nobody reads for a while: whatever the
// reader finally gets is whole lines in order; the rest is dropped and counted.
#include "consolepipesink.h"

#include <QtTest>
#include <fcntl.h>
#include <spdlog/logger.h>
#include <unistd.h>

class TestConsolePipeSink : public QObject {
    Q_OBJECT
private slots:
    void linesGoWholeOrNotAtAll_data();
    void linesGoWholeOrNotAtAll();
};

namespace {

QByteArray lineText(int index, int length)
{
    QByteArray text = QByteArray::number(index) + ':';
    return text + QByteArray(qMax(0, length - int(text.size())), char('a' + index % 26));
}

QByteArray drain(int fd)
{
    QByteArray all;
    char buffer[8192];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        all.append(buffer, got);
    return all;
}

} // namespace

void TestConsolePipeSink::linesGoWholeOrNotAtAll_data()
{
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("lines");
    QTest::newRow("short lines") << 100 << 300;
    QTest::newRow("lines of the atomic size") << 4095 << 6;
    QTest::newRow("lines longer than the pipe") << 10000 << 4;
}

void TestConsolePipeSink::linesGoWholeOrNotAtAll()
{
    QFETCH(int, lineLength);
    QFETCH(int, lines);
    int ends[2];
    QCOMPARE(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
    // The smallest pipe the system gives: one page.
    QVERIFY(::fcntl(ends[1], F_SETPIPE_SZ, 4096) >= 4096);
    auto sink = std::make_shared<ConsolePipeSink>(ends[1]);
    spdlog::logger logger("console", sink);
    logger.set_pattern("%v");

    for (int i = 0; i < lines; ++i)
        logger.info(lineText(i, lineLength).toStdString());
    // The reader comes back: it gets what is there and any unfinished rest.
    QByteArray received;
    for (QByteArray more = drain(ends[0]); !more.isEmpty(); more = drain(ends[0])) {
        received += more;
        logger.flush();
    }
    ::close(ends[0]);

    QVERIFY(received.endsWith('\n'));
    const QList<QByteArray> got = received.chopped(1).split('\n');
    int last = -1;
    for (const QByteArray& line : got) {
        const int index = line.left(line.indexOf(':')).toInt();
        QVERIFY2(index > last, line.left(20).constData());
        QCOMPARE(line, lineText(index, lineLength));
        last = index;
    }
    QCOMPARE(got.first(), lineText(0, lineLength));
    QVERIFY(sink->droppedLines() > 0);
    QCOMPARE(qsizetype(sink->droppedLines()) + got.size(), qsizetype(lines));
}

QTEST_GUILESS_MAIN(TestConsolePipeSink)
#include "tst_consolepipesink.moc"
