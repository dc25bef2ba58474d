#pragma once

#include "frontendclient.h"
#include "programrunner.h"
#include "simulatorprocess.h"

#include <QStringList>

// A running program with the simulator as its device and a connected frontend.
struct SessionFixture {
    SimulatorProcess simulator;
    ProgramRunner program;
    FrontendClient frontend;

    ~SessionFixture();

    // Starts the simulator (unless `withDevice` is false) and the program, and
    // connects; does not read the greeting.
    bool launch(const QStringList& simulatorArgs = {}, bool withDevice = true);
    bool connect(FrontendClient& client, int timeoutMs = 10000);
    // Sends one request and returns the next packet.
    std::optional<Packet> request(opcodes opcode, qint32 payload, int timeoutMs = 15000);
    bool expect(opcodes opcode, qint32 payload, int timeoutMs = 15000);
    bool expectGreeting(int timeoutMs = 30000);
    // Launches the program in `workDir` (it finds parameters.db from there),
    // reads the greeting, points it at `personalDir` and initialises the
    // device: ready for a start_measure.
    bool launchReadyToMeasure(const QString& workDir, const QString& personalDir,
                              const QStringList& simulatorArgs = {});
    // True when no packet arrives within `ms`.
    bool silentFor(int ms);
    bool waitForExit(int timeoutMs = 15000);
};
