#pragma once

#include "frontendclient.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

// Runs the client's steps in order on one connection. Each request waits for
// its reply; progress packets in between are printed as they come.
class StepRunner {
public:
    StepRunner(FrontendClient& client, int replyTimeoutMs, int rawWaitMs, bool quiet);

    // Exit status of the whole run: 0 all fine, 1 an error reply, 2 no reply or bad step.
    int run(const QStringList& steps);

private:
    int runStep(const QString& step);
    std::optional<Packet> request(const QByteArray& bytes, opcodes expected);
    std::optional<Packet> receive(int timeoutMs);
    int measure(quint32 personId, bool save);
    int waitFor(opcodes opcode, int timeoutMs, std::optional<Packet>& out);
    void showProgress(const QString& label, int percent);
    static bool isError(const Packet& packet);

    FrontendClient& client;
    const int replyTimeoutMs;
    const int rawWaitMs;
    const bool quiet;
    QTextStream out;
};
