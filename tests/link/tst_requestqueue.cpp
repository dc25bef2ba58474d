// The session's inbox on a real loopback connection: when requests are
// handed on, and how the fragment wait cuts what arrives in pieces.
#include "link/requestqueue.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <atomic>
#include <thread>
#include <unistd.h>

namespace {
// Writes `pieces` to 127.0.0.1:`port` from a thread of its own, `gapMs` apart,
// whatever the test's thread is doing meanwhile.
class RawWriter {
public:
    RawWriter(quint16 port, QList<QByteArray> pieces, int gapMs)
        : worker([=, this] {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                auto last = std::chrono::steady_clock::now();
                for (qsizetype i = 0; i < pieces.size(); ++i) {
                    if (i > 0) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
                        const auto now = std::chrono::steady_clock::now();
                        longestGapMs = std::max<qint64>(
                            longestGapMs, std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
                    }
                    [[maybe_unused]] auto sent = ::send(fd, pieces[i].constData(), pieces[i].size(), 0);
                    last = std::chrono::steady_clock::now();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(600));
            }
            ::close(fd);
        })
    {
    }
    ~RawWriter() { join(); }
    void join()
    {
        if (worker.joinable())
            worker.join();
    }
    // The longest pause between two pieces as it really was (a loaded
    // machine may sleep longer than asked).
    qint64 longestGap() const { return longestGapMs; }

private:
    std::atomic<qint64> longestGapMs{0};
    std::thread worker;
};

struct Inbox {
    QTcpServer server;
    QTcpSocket* socket = nullptr;
    RequestQueue queue;
    QList<QByteArray> answered;
    bool mayAnswer = true;
    int holdUpMs = 0; // the thread is busy this long right after the first read

    bool accept()
    {
        if (!server.waitForNewConnection(5000))
            return false;
        socket = server.nextPendingConnection();
        queue.attach(socket, [this] { return mayAnswer; }, [this](const QByteArray& request) { answered.append(request); });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] {
            queue.receive(socket->readAll());
            if (std::exchange(holdUpMs, 0) > 0)
                QThread::msleep(150);
        });
        return true;
    }
};
} // namespace

class TestRequestQueue : public QObject {
    Q_OBJECT
private slots:
    void nothingWhileTheSessionIsBusy();
    void closeWaitsForTheSessionToo();
    void fragmentWait_data();
    void fragmentWait();
};

void TestRequestQueue::nothingWhileTheSessionIsBusy()
{
    Inbox inbox;
    QVERIFY(inbox.server.listen(QHostAddress::LocalHost));
    inbox.mayAnswer = false;
    RawWriter writer(inbox.server.serverPort(), {QByteArray::fromHex("01000000000800000000")}, 0);
    QVERIFY(inbox.accept());
    QTest::qWait(100);
    QVERIFY(inbox.answered.isEmpty());
    QVERIFY(inbox.queue.hasWork());
    inbox.mayAnswer = true;
    inbox.queue.answerWaiting();
    QCOMPARE(inbox.answered, (QList{QByteArray::fromHex("0100000000"), QByteArray::fromHex("0800000000")}));
}

// A frontend that stopped sending while the session held its answers back
// (a write backlog) is still work: once the session may answer, it is closed.
void TestRequestQueue::closeWaitsForTheSessionToo()
{
    Inbox inbox;
    QVERIFY(inbox.server.listen(QHostAddress::LocalHost));
    RawWriter writer(inbox.server.serverPort(), {QByteArray::fromHex("0100000000")}, 0);
    QVERIFY(inbox.accept());
    QTRY_COMPARE(inbox.answered.size(), 1);
    QVERIFY(!inbox.queue.hasWork());
    inbox.mayAnswer = false;
    writer.join(); // the frontend has closed
    QTest::qWait(200);
    QCOMPARE(inbox.socket->state(), QAbstractSocket::ConnectedState);
    QVERIFY(inbox.queue.hasWork());
    inbox.mayAnswer = true;
    inbox.queue.answerWaiting();
    QVERIFY(inbox.socket->state() != QAbstractSocket::ConnectedState);
    QVERIFY(!inbox.queue.hasWork());
}

void TestRequestQueue::fragmentWait_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("heldUp");
    QTest::addColumn<QList<QByteArray>>("expected");
    const QList<QByteArray> split{QByteArray::fromHex("02"), QByteArray::fromHex("01000000")};
    const QList<QByteArray> whole{QByteArray::fromHex("0201000000")};
    QTest::newRow("rest within the wait") << split << 50 << false << whole;
    // A timer that fires a few percent early would split this one.
    QTest::newRow("rest just inside the wait") << split << 97 << false << whole;
    QTest::newRow("rest after the wait") << split << 160 << false
                                         << QList{QByteArray::fromHex("02"), QByteArray::fromHex("01000000")};
    // The thread got to the first byte late: the rest had come in time all the same.
    QTest::newRow("thread held up after the first byte") << split << 30 << true << whole;
    const QList<QByteArray> path{QByteArray("\x0b/data/a", 8), QByteArray::fromHex("0000000000")};
    QTest::newRow("path then a request") << path << 30 << false
                                         << QList{QByteArray("\x0b/data/a", 8), QByteArray::fromHex("0000000000")};
}

void TestRequestQueue::fragmentWait()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, gapMs);
    QFETCH(bool, heldUp);
    QFETCH(QList<QByteArray>, expected);
    // A pause meant to be inside the wait that really lasted longer proves
    // nothing: that attempt is run again.
    const bool insideTheWait = gapMs < PacketReader::fragmentWaitMs;
    for (int attempt = 1;; ++attempt) {
        Inbox inbox;
        QVERIFY(inbox.server.listen(QHostAddress::LocalHost));
        inbox.holdUpMs = heldUp ? 150 : 0;
        RawWriter writer(inbox.server.serverPort(), pieces, gapMs);
        QVERIFY(inbox.accept());
        QTest::qWait(gapMs * (pieces.size() - 1) + 400);
        writer.join();
        if (insideTheWait && writer.longestGap() >= PacketReader::fragmentWaitMs && attempt < 5) {
            qInfo("pause of %lld ms, attempt %d: again", static_cast<long long>(writer.longestGap()), attempt);
            continue;
        }
        QCOMPARE(inbox.answered, expected);
        return;
    }
}

QTEST_GUILESS_MAIN(TestRequestQueue)
#include "tst_requestqueue.moc"
