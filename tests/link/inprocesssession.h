#pragma once

#include "frontendclient.h"
#include "inprocessbackend.h"
#include "testtools.h"

#include <QDir>

// A site of files, the in-process backend and a frontend connected to it.
// The backend looks for its reference database from the working folder, so
// the site's working folder is the process's while this lives.
template <class Site>
struct InProcessSession {
    Site site;
    InProcessBackend backend;
    FrontendClient frontend;
    QString before = QDir::currentPath();

    ~InProcessSession() { QDir::setCurrent(before); }

    // Greeted, set_db to `personalDir`, device initialised.
    bool enter(const QString& personalDir)
    {
        return QDir::setCurrent(site.workDir) && backend.readyToMeasure(frontend, personalDir);
    }
    bool send(opcodes opcode, qint32 payload) { return frontend.send(makePacket(opcode, payload)); }
    bool expect(opcodes opcode, qint32 payload, int timeoutMs = 5000)
    {
        return expectPacket(frontend, opcode, payload, timeoutMs);
    }
};
