// CPU cost of the device layer while it waits on the simulator: a command
// retried for ten seconds against a silent device, and a calibrate/start/stop
// cycle. Prints process CPU time (getrusage) against wall time.

#include "device/v2device.h"
#include "proccpu.h"
#include "simulatorprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Starts the simulator with `arguments` and resets `device` against it.
bool startDevice(SimulatorProcess& sim, const QStringList& arguments, V2Device& device)
{
    if (!sim.start(arguments)) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return false;
    }
    if (!device.reset()) {
        std::fprintf(stderr, "reset failed\n");
        return false;
    }
    return true;
}

void measure(const char* name, qint64 simPid, const std::function<bool()>& work)
{
    const double simBefore = processCpuSecondsOf(simPid);
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const bool ok = work();
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = processCpuSeconds() - cpuBefore;
    const double simAfter = processCpuSecondsOf(simPid);
    std::printf("%-28s result=%-5s wall=%6.2f s  backend cpu=%6.3f s (%5.2f%% of one core)", name,
                ok ? "true" : "false", seconds, cpu, 100.0 * cpu / seconds);
    if (simBefore >= 0 && simAfter >= 0)
        std::printf("  simulator cpu=%6.3f s (%5.2f%%)", simAfter - simBefore, 100.0 * (simAfter - simBefore) / seconds);
    else
        std::printf("  simulator gone");
    std::printf("\n");
    std::fflush(stdout);
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    auto logger = std::make_shared<spdlog::logger>("backend", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::debug);
    spdlog::register_logger(logger);

    {
        SimulatorProcess sim;
        V2Device device;
        if (!startDevice(sim, {QStringLiteral("--ignore"), QStringLiteral("C")}, device))
            return 1;
        measure("failing calibrate (10 s)", sim.process.processId(), [&] { return device.calibrateSensor(); });
    }
    {
        SimulatorProcess sim;
        V2Device device;
        if (!startDevice(sim, {QStringLiteral("--interval"), QStringLiteral("50")}, device))
            return 1;
        measure("calibrate/start/stop x5", sim.process.processId(), [&] {
            bool ok = true;
            for (int i = 0; i < 5; ++i)
                ok = device.calibrateSensor() && device.startSensor() && device.stopSensor() && ok;
            return ok;
        });
    }
    {
        // The line hangs up half a second into the measured time; the port
        // must not keep the process busy afterwards.
        SimulatorProcess sim;
        V2Device device;
        QElapsedTimer sinceStart;
        sinceStart.start();
        if (!startDevice(sim, {QStringLiteral("--unplug-after"), QStringLiteral("3000")}, device))
            return 1;
        const int untilUnplug = 2500 - static_cast<int>(sinceStart.elapsed());
        if (untilUnplug > 0) {
            QEventLoop idle;
            QTimer::singleShot(untilUnplug, &idle, &QEventLoop::quit);
            idle.exec();
        }
        measure("hang-up, then 5 s idle", sim.process.processId(), [&] {
            QEventLoop idle;
            QTimer::singleShot(5000, &idle, &QEventLoop::quit);
            idle.exec();
            return !device.isConnected();
        });
    }
    spdlog::drop("backend");
    return 0;
}
