#include "steprunner.h"

#include <QThread>
#include <cstdio>
#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool stdoutIsTerminal()
{
#if defined(Q_OS_WIN)
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) == 1;
#endif
}
constexpr int measurementTimeoutMs = 15 * 60 * 1000;
constexpr int totalMeasureMs = 40000;

int fail(QTextStream& out, const QString& text)
{
    out << "error: " << text << Qt::endl;
    return 2;
}
} // namespace

StepRunner::StepRunner(FrontendClient& client, int replyTimeoutMs, int rawWaitMs, bool quiet)
    : client(client)
    , replyTimeoutMs(replyTimeoutMs)
    , rawWaitMs(rawWaitMs)
    , quiet(quiet)
    , out(stdout)
{
}

bool StepRunner::isError(const Packet& packet)
{
    return packet.opcode == opcodes::error;
}

int StepRunner::run(const QStringList& steps)
{
    for (const QString& step : steps) {
        const int status = runStep(step);
        if (status != 0)
            return status;
    }
    return 0;
}

std::optional<Packet> StepRunner::receive(int timeoutMs)
{
    auto packet = client.next(timeoutMs);
    if (packet && !quiet)
        out << "<- " << FrontendClient::describe(*packet) << Qt::endl;
    return packet;
}

int StepRunner::waitFor(opcodes opcode, int timeoutMs, std::optional<Packet>& result)
{
    while ((result = receive(timeoutMs))) {
        if (result->opcode == opcode || isError(*result))
            return isError(*result) ? 1 : 0;
    }
    return fail(out, QStringLiteral("%1 (waiting for %2)").arg(client.silenceReason(timeoutMs), opcodeName(opcode)));
}

std::optional<Packet> StepRunner::request(const QByteArray& bytes, opcodes expected)
{
    if (!quiet)
        out << "-> " << bytes.toHex(' ') << Qt::endl;
    if (!client.send(bytes)) {
        fail(out, QStringLiteral("cannot send %1: %2").arg(opcodeName(expected), client.silenceReason(replyTimeoutMs)));
        return std::nullopt;
    }
    std::optional<Packet> reply;
    waitFor(expected, replyTimeoutMs, reply);
    return reply;
}

int StepRunner::runStep(const QString& step)
{
    const QString name = step.section(QLatin1Char(':'), 0, 0);
    const QString arg = step.section(QLatin1Char(':'), 1);
    const auto simple = [&](opcodes op, qint32 payload) {
        const auto reply = request(makePacket(op, payload), op);
        if (!reply)
            return 2; // request() said why
        return isError(*reply) ? 1 : 0;
    };

    if (name == QLatin1String("greeting")) {
        std::optional<Packet> greeting;
        const int status = waitFor(opcodes::initialization, replyTimeoutMs, greeting);
        if (status == 0 && greeting->payload != static_cast<qint32>(status_codes::service_ready))
            return 1;
        return status;
    }
    if (name == QLatin1String("init")) {
        const auto reply = request(makePacket(opcodes::initialization, 0), opcodes::initialization);
        if (!reply)
            return 2;
        return reply->payload == static_cast<qint32>(status_codes::device_initialized) ? 0 : 1;
    }
    if (name == QLatin1String("state"))
        return simple(opcodes::device_state, 0);
    if (name == QLatin1String("correctness"))
        return simple(opcodes::correctness_measure, 0);
    if (name == QLatin1String("exit"))
        return simple(opcodes::exit, 0);
    if (name == QLatin1String("start"))
        return simple(opcodes::start_measure, arg.toInt());
    if (name == QLatin1String("save"))
        return simple(opcodes::save_measure, arg.isEmpty() ? 1 : arg.toInt());
    if (name == QLatin1String("setdb")) {
        // set_db has no payload field: the path follows the opcode byte.
        const QByteArray bytes = QByteArray(1, static_cast<char>(opcodes::set_db)) + arg.toUtf8();
        const auto reply = request(bytes, opcodes::set_db);
        if (!reply)
            return 2;
        return isError(*reply) ? 1 : 0;
    }
    if (name == QLatin1String("raw")) {
        const QByteArray bytes = QByteArray::fromHex(arg.toLatin1());
        if (!quiet)
            out << "-> " << bytes.toHex(' ') << Qt::endl;
        if (!client.send(bytes))
            return fail(out, QStringLiteral("cannot send: %1").arg(client.silenceReason(rawWaitMs)));
        if (!receive(rawWaitMs) && !quiet)
            out << "(" << client.silenceReason(rawWaitMs) << ")" << Qt::endl;
        return 0;
    }
    if (name == QLatin1String("sleep")) {
        QThread::msleep(static_cast<unsigned long>(arg.toInt()));
        return 0;
    }
    if (name == QLatin1String("measure")) {
        const quint32 person = arg.section(QLatin1Char(':'), 0, 0).toUInt();
        const bool save = arg.section(QLatin1Char(':'), 1) != QLatin1String("discard");
        return measure(person, save);
    }
    return fail(out, QStringLiteral("unknown step '%1'").arg(step));
}

void StepRunner::showProgress(const QString& label, int percent)
{
    if (!quiet || !stdoutIsTerminal())
        return; // packet lines already tell the story
    constexpr int width = 30;
    const int filled = qBound(0, percent, 100) * width / 100;
    out << "\r" << label << " [" << QString(filled, QLatin1Char('#')) << QString(width - filled, QLatin1Char(' '))
        << "] " << percent << "%" << Qt::flush;
    if (percent >= 100)
        out << Qt::endl;
}

int StepRunner::measure(quint32 personId, bool save)
{
    if (runStep(QStringLiteral("init")) != 0)
        return fail(out, QStringLiteral("initialization failed"));
    const auto started = request(makePacket(opcodes::start_measure, static_cast<qint32>(personId)),
                                 opcodes::start_measure);
    if (!started)
        return 2;
    if (started->payload != static_cast<qint32>(status_codes::measurement_started)) {
        out << "measurement did not start: " << FrontendClient::describe(*started) << Qt::endl;
        return 1;
    }
    while (true) {
        const auto packet = receive(measurementTimeoutMs);
        if (!packet)
            return fail(out, QStringLiteral("measurement stalled: %1").arg(client.silenceReason(measurementTimeoutMs)));
        if (isError(*packet))
            return 1;
        if (packet->opcode == opcodes::state_measure)
            showProgress(QStringLiteral("measuring"), (totalMeasureMs - packet->payload) * 100 / totalMeasureMs);
        if (packet->opcode == opcodes::end_measure) {
            showProgress(QStringLiteral("measuring"), 100);
            break;
        }
    }
    const QByteArray choice = makePacket(opcodes::save_measure, save ? 1 : 0);
    if (!client.send(choice))
        return fail(out, QStringLiteral("cannot send save_measure: %1").arg(client.silenceReason(replyTimeoutMs)));
    while (true) {
        const auto packet = receive(replyTimeoutMs);
        if (!packet)
            return fail(out, QStringLiteral("%1 (waiting for save_measure)").arg(client.silenceReason(replyTimeoutMs)));
        if (isError(*packet))
            return 1;
        if (packet->opcode == opcodes::saving_progress)
            showProgress(QStringLiteral("saving   "), packet->payload);
        if (packet->opcode == opcodes::save_measure) {
            const auto expected = save ? status_codes::measurement_saved : status_codes::measurement_discarded;
            return packet->payload == static_cast<qint32>(expected) ? 0 : 1;
        }
    }
}
