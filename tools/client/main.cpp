// Command-line frontend: connects to the backend (optionally launching it the
// way the frontend does) and runs protocol steps in order on one connection.
#include "backendlauncher.h"
#include "frontendclient.h"
#include "steprunner.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <cxxopts.hpp>
#include <iostream>

namespace {

constexpr const char* stepHelp = R"(steps (run in order on one connection):
  greeting          wait for initialization/service_ready (added first unless --no-greeting)
  init              initialization -> device_initialized
  state             device_state
  start:ID          start_measure for person ID
  correctness       correctness_measure
  save:1 | save:0   save_measure (save or discard)
  setdb:PATH        set_db with the folder of the personal database
  exit              exit -> software_closing
  raw:HEX           send these bytes, print one reply if any arrives
  sleep:MS          pause
  measure:ID[:discard]  whole measurement: init, start, follow progress, save (or discard)
exit status: 0 all replies fine, 1 an error reply, 2 no reply / connection / usage problem
A backend started with --launch is stopped when the client gives up or ends.)";

// Waits for a backend this client launched to end after the session; one
// that is still there after `graceMs`, or any when the run failed, is stopped.
void finishBackend(BackendLauncher& backend, bool failed)
{
    if (!backend.launched())
        return;
    constexpr int graceMs = 10000;
    if (!failed && backend.waitForExit(graceMs)) {
        std::cout << "backend exited with code " << backend.exitCode() << std::endl;
        return;
    }
    if (backend.hasExited()) {
        std::cout << "backend exited with code " << backend.exitCode() << std::endl;
        return;
    }
    std::cerr << "stopping the backend this client launched (pid " << backend.pid() << ")" << std::endl;
    backend.stop();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    cxxopts::Options options("ulvex-client", "Frontend protocol client for the analyzer backend");
    options.add_options()
        ("host", "Backend host", cxxopts::value<std::string>()->default_value("127.0.0.1"))
        ("port", "Backend port", cxxopts::value<int>()->default_value("2700"))
        ("launch", "Start this backend program first (time stamp and code as the frontend does)",
         cxxopts::value<std::string>())
        ("code", "Application code for --launch", cxxopts::value<int>()->default_value("1000"))
        ("time", "Launch time stamp for --launch (default: now)", cxxopts::value<qint64>())
        ("timeout", "Milliseconds to wait for each reply", cxxopts::value<int>()->default_value("60000"))
        ("raw-wait", "Milliseconds a raw step waits for a possible reply",
         cxxopts::value<int>()->default_value("1000"))
        ("no-greeting", "Do not wait for the greeting first")
        ("q,quiet", "Print progress bars instead of every packet")
        ("h,help", "Show help")
        ("steps", "Steps", cxxopts::value<std::vector<std::string>>());
    options.parse_positional({"steps"});
    options.positional_help("STEP...");

    cxxopts::ParseResult args;
    try {
        args = options.parse(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 2;
    }
    if (args.count("help")) {
        std::cout << options.help() << "\n" << stepHelp << std::endl;
        return 0;
    }

    BackendLauncher backend;
    if (args.count("launch")) {
        const qint64 time = args.count("time") ? args["time"].as<qint64>() : QDateTime::currentSecsSinceEpoch();
        const QString program = QString::fromStdString(args["launch"].as<std::string>());
        if (!backend.start(program, args["code"].as<int>(), time)) {
            std::cerr << "could not launch the backend " << program.toStdString() << std::endl;
            return 2;
        }
        std::cout << "launched " << program.toStdString() << " (pid " << backend.pid() << ")" << std::endl;
    }

    FrontendClient client;
    const QString host = QString::fromStdString(args["host"].as<std::string>());
    const auto port = static_cast<quint16>(args["port"].as<int>());
    // A freshly launched backend needs a moment before it listens.
    bool connected = false;
    for (int attempt = 0; attempt < 60 && !connected; ++attempt) {
        connected = client.connectTo(host, port, 1000);
        if (!connected && backend.launched() && backend.hasExited()) {
            std::cerr << "the backend exited with code " << backend.exitCode() << " before accepting a connection"
                      << std::endl;
            return 2;
        }
        if (!connected)
            QThread::msleep(250);
    }
    if (!connected) {
        std::cerr << "cannot connect to " << host.toStdString() << ":" << port << ": "
                  << client.errorString().toStdString() << std::endl;
        finishBackend(backend, true);
        return 2;
    }

    QStringList steps;
    if (args.count("steps")) {
        for (const auto& step : args["steps"].as<std::vector<std::string>>())
            steps << QString::fromStdString(step);
    }
    if (!args.count("no-greeting") && steps.value(0) != QLatin1String("greeting"))
        steps.prepend(QStringLiteral("greeting"));
    StepRunner runner(client, args["timeout"].as<int>(), args["raw-wait"].as<int>(), args.count("quiet") > 0);
    const int status = runner.run(steps);
    client.close();
    finishBackend(backend, status != 0);
    return status;
}
