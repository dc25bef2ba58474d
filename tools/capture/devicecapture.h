#pragma once

#include "framesplitter.h"
#include "transcript.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSerialPort>
#include <functional>

// Drives the analyzer through one measurement's worth of commands (stop and
// read the UID as a reset does, calibrate, start, stream, stop), re-sending
// each command the way the backend does, and records every frame.
class DeviceCapture : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString port;
        int streamSeconds = 10;
    };

    explicit DeviceCapture(Options options, QObject* parent = nullptr);

    // Runs the whole sequence. False when the port did not open or a step
    // failed; the transcript holds everything up to that point either way.
    bool run();

    const Transcript& transcript() const { return recording; }
    QString errorString() const { return error; }
    QString uid() const { return deviceUid; }
    int dataFrames() const { return streamed; }
    int correctFrames() const { return correct; }

private:
    bool open();
    // Sends `letter` every `cycleMs` until `done(start of the step)` holds;
    // false after ten seconds.
    bool command(quint8 letter, int cycleMs, const std::function<bool(qint64)>& done, const QString& step);
    bool stopSensor(const QString& step);
    void send(quint8 letter);
    void onReadyRead();
    void record(const QByteArray& piece);
    void wait(int ms);
    qint64 nowUs() const;

    Options options;
    QSerialPort port;
    QElapsedTimer clock;
    Transcript recording;
    FrameSplitter splitter;
    QString error;
    QString deviceUid;
    // Time of the last valid frame received, overall and per command byte.
    qint64 lastFrameUs = -1;
    QHash<quint8, qint64> lastByCommand;
    qint64 lastDataUs = -1;
    bool streaming = false;
    int streamed = 0;
    int correct = 0;
};
