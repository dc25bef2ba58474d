// Console lines into a pipe, socket or terminal that nobody reads for a while:
// the logger never waits; whatever the reader finally gets is whole lines in
// order; the rest is dropped, counted and reported to the log file.
#include "consolesink.h"

#include <QTemporaryFile>
#include <QTest>
#include <fcntl.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/ringbuffer_sink.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

class TestConsoleSink : public QObject {
    Q_OBJECT
private slots:
    void linesGoWholeOrNotAtAll_data();
    void linesGoWholeOrNotAtAll();
    void regularFileGetsADailyShare();
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

// A writing end nobody reads yet, with a buffer as small as the system allows,
// and the reading end (non-blocking); the writing end is the caller's.
bool makeTransport(const QString& kind, int& writer, int& reader)
{
    int ends[2];
    if (kind == QLatin1String("pipe")) {
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return false;
        ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
        reader = ends[0];
        writer = ends[1];
    } else if (kind == QLatin1String("socket")) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            return false;
        const int small = 4096;
        ::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        ::setsockopt(ends[0], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        reader = ends[0];
        writer = ends[1];
    } else {
        reader = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (reader < 0 || ::grantpt(reader) != 0 || ::unlockpt(reader) != 0)
            return false;
        writer = ::open(::ptsname(reader), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw {};
        if (writer < 0 || ::tcgetattr(writer, &raw) != 0)
            return false;
        ::cfmakeraw(&raw); // lines arrive as written, no CR added
        ::tcsetattr(writer, TCSANOW, &raw);
    }
    return ::fcntl(reader, F_SETFL, ::fcntl(reader, F_GETFL) | O_NONBLOCK) == 0;
}

} // namespace

void TestConsoleSink::linesGoWholeOrNotAtAll_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("lines");
    for (const char* transport : {"pipe", "socket", "terminal"}) {
        QTest::addRow("%s, short lines", transport) << transport << 100 << 3000;
        QTest::addRow("%s, lines of the atomic size", transport) << transport << 4095 << 60;
        QTest::addRow("%s, lines longer than the buffer", transport) << transport << 70000 << 8;
    }
}

void TestConsoleSink::linesGoWholeOrNotAtAll()
{
    QFETCH(QString, transport);
    QFETCH(int, lineLength);
    QFETCH(int, lines);
    int writer = -1;
    int reader = -1;
    QVERIFY(makeTransport(transport, writer, reader));
    const int writerFlags = ::fcntl(writer, F_GETFL);
    const auto console = ConsoleSink::forDescriptor(writer);
    auto* sink = dynamic_cast<ConsoleSink*>(console.get());
    QVERIFY(sink);
    auto file = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(10);
    sink->setReportSink(file);
    spdlog::logger logger("console", console);
    logger.set_pattern("%v");

    for (int i = 0; i < lines; ++i)
        logger.info(lineText(i, lineLength).toStdString());
    // The reader comes back: it gets what is there and any unfinished rest.
    QByteArray received;
    for (QByteArray more = drain(reader); !more.isEmpty(); more = drain(reader)) {
        received += more;
        logger.flush();
    }
    ::close(reader);
    QCOMPARE(::fcntl(writer, F_GETFL), writerFlags); // the caller's descriptor is untouched
    ::close(writer);

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
    const std::vector<std::string> reports = file->last_formatted();
    QCOMPARE(reports.size(), std::size_t(1));
    QVERIFY2(QByteArray::fromStdString(reports.front()).contains(
                 QByteArray::number(qulonglong(sink->droppedLines())) + " console lines dropped"),
             reports.front().c_str());
}

// Standard output sent to a file is a second log file: a frontend sending
// without pause must not fill the disk through it either.
void TestConsoleSink::regularFileGetsADailyShare()
{
    QTemporaryFile out;
    QVERIFY(out.open());
    const int saved = ::dup(STDOUT_FILENO);
    QVERIFY(::dup2(out.handle(), STDOUT_FILENO) == STDOUT_FILENO);
    {
        spdlog::logger logger("console", ConsoleSink::forStdout(4000));
        for (int i = 0; i < 1000; ++i)
            logger.warn(lineText(i, 60).toStdString());
        logger.flush();
    }
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    QVERIFY(out.seek(0)); // the offset was shared with standard output
    const QByteArray written = out.readAll();
    QVERIFY2(written.size() < 6000, QByteArray::number(written.size()).constData());
    QVERIFY(written.contains("Log limit of 4000 bytes for today reached"));
}

QTEST_GUILESS_MAIN(TestConsoleSink)
#include "tst_consolesink.moc"
