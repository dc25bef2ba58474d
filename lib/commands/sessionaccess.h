#pragma once

#include <QByteArray>

class Device;
class MeasurementManager;

// What a command handler may use of the session it serves. The session
// implements it and hands it to each handler when the handler is registered,
// so handlers depend on this and nothing of the link.
class SessionAccess {
public:
    virtual ~SessionAccess() = default;

    virtual Device* device() const = 0;
    // Null until the device has been reset at the session's start.
    virtual MeasurementManager* measurementManager() const = 0;
    // A finished measurement waits to be saved or discarded.
    virtual bool resultsReady() const = 0;
    // Sends a packet ahead of the handler's reply (save progress).
    virtual void notify(const QByteArray& packet) = 0;
    // A new person has been loaded: a finished measurement that was not
    // saved is over.
    virtual void replaceFinishedMeasurement() = 0;
    virtual void measurementSaved() = 0;
    // Discarded, or the save failed.
    virtual void measurementDiscarded() = 0;
    // The frontend asked to close the session; the current reply still goes out.
    virtual void close() = 0;
};
