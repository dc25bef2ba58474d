#include "devicecapture.h"

#include "device/v2frame.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

namespace {
// The backend's retry policy: a command is re-sent each cycle for ten seconds.
constexpr int giveUpMs = 10000;
// The device counts as stopped once it has sent nothing for this long.
constexpr qint64 silenceUs = 400000;

bool isAnswer(quint8 command)
{
    return command == 'C' || command == 'R';
}
} // namespace

DeviceCapture::DeviceCapture(Options options, QObject* parent)
    : QObject(parent)
    , options(std::move(options))
{
    connect(&port, &QSerialPort::readyRead, this, &DeviceCapture::onReadyRead);
}

bool DeviceCapture::run()
{
    if (!open())
        return false;
    const auto answered = [this](quint8 letter) {
        return [this, letter](qint64 sinceUs) { return lastByCommand.value(letter, -1) >= sinceUs; };
    };
    bool ok = stopSensor(QStringLiteral("reset: stop"))
        && command('R', 500, answered('R'), QStringLiteral("reset: read UID"))
        && command('C', 500, answered('C'), QStringLiteral("calibrate"))
        && command('X', 400, [this](qint64 sinceUs) { return lastDataUs >= sinceUs; },
                   QStringLiteral("start"));
    if (ok) {
        wait(options.streamSeconds * 1000);
        ok = port.isOpen() && stopSensor(QStringLiteral("stop"));
        if (!port.isOpen() && error.isEmpty())
            error = QStringLiteral("the device went away while streaming");
    }
    const QByteArray rest = splitter.flush();
    if (!rest.isEmpty())
        recording.append(nowUs(), Transcript::Direction::FromDevice, rest);
    if (!ok)
        recording.addComment(QStringLiteral("capture failed: %1").arg(error));
    port.close();
    return ok;
}

bool DeviceCapture::open()
{
    port.setPortName(options.port);
    port.setBaudRate(QSerialPort::Baud115200);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite)) {
        error = QStringLiteral("cannot open %1: %2").arg(options.port, port.errorString());
        return false;
    }
    connect(&port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError code) {
        if (code == QSerialPort::ResourceError || code == QSerialPort::ReadError) {
            error = QStringLiteral("the device went away: %1").arg(port.errorString());
            port.close();
        }
    });
    clock.start();
    recording.addComment(QStringLiteral("port %1").arg(options.port));
    recording.addComment(
        QStringLiteral("captured %1").arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)));
    recording.addComment(QStringLiteral("streaming %1 s").arg(options.streamSeconds));
    return true;
}

bool DeviceCapture::command(quint8 letter, int cycleMs, const std::function<bool(qint64)>& done,
                            const QString& step)
{
    const qint64 sinceUs = nowUs();
    QElapsedTimer elapsed;
    elapsed.start();
    while (true) {
        send(letter);
        wait(cycleMs);
        if (!port.isOpen())
            return false;
        if (done(sinceUs))
            return true;
        if (elapsed.elapsed() > giveUpMs) {
            error = QStringLiteral("%1: no reaction to '%2' within %3 s")
                        .arg(step, QChar(letter)).arg(giveUpMs / 1000);
            return false;
        }
    }
}

bool DeviceCapture::stopSensor(const QString& step)
{
    const bool ok = command('Y', 600, [this](qint64) { return lastFrameUs < 0 || nowUs() - lastFrameUs > silenceUs; },
                            step);
    if (ok)
        streaming = false;
    return ok;
}

void DeviceCapture::send(quint8 letter)
{
    const QByteArray frame = V2Frame::build(letter);
    recording.append(nowUs(), Transcript::Direction::ToDevice, frame);
    if (letter == 'X')
        streaming = true;
    port.write(frame);
}

void DeviceCapture::onReadyRead()
{
    const QByteArray bytes = port.readAll();
    for (const QByteArray& piece : splitter.feed(bytes))
        record(piece);
}

void DeviceCapture::record(const QByteArray& piece)
{
    const qint64 now = nowUs();
    recording.append(now, Transcript::Direction::FromDevice, piece);
    if (!V2Frame::isValid(piece))
        return;
    const auto command = static_cast<quint8>(piece.at(V2Frame::commandOffset));
    lastFrameUs = now;
    lastByCommand.insert(command, now);
    if (command == 'R' && !streaming)
        deviceUid = QString::fromLatin1(piece.mid(V2Frame::bodyOffset, V2Frame::bodySize));
    if (streaming && !isAnswer(command)) {
        lastDataUs = now;
        ++streamed;
        correct += (command & 0x01) ? 1 : 0;
    }
}

void DeviceCapture::wait(int ms)
{
    // Sleeps in an event loop so the port's data is read while waiting.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 DeviceCapture::nowUs() const
{
    return clock.nsecsElapsed() / 1000;
}
