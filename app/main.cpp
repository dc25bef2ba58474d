#include "certificatenotice.h"
#include "commandline.h"
#include "launchdate.h"
#include "loggerholder.h"
#include "processreaper.h"
#include "terminationwatch.h"

#include "config/qtformatters.h"
#include "config/runguard.h"
#include "config/settings.h"
#include "device/v2device.h"
#include "link/clientthread.h"
#include "link/hardwareserver.h"
#include "storage/database.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <fmt/chrono.h>
#include <spdlog/spdlog.h>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* programVersion = "4.2.2";
constexpr double guardGiveUpSeconds = 10.0;

// Every early exit after the single-instance step leaves through the event
// loop, so queued work (and the log) settles before the process ends.
int deferredExit(int code)
{
    QTimer::singleShot(0, qApp, [code] { QCoreApplication::exit(code); });
    return QCoreApplication::exec();
}

// Takes the single-instance guard, killing stale instances of this program
// between attempts. Gives up after a little over ten seconds.
bool takeSingleInstance(RunGuard& guard, spdlog::logger& log,
                        std::chrono::system_clock::time_point startInstant)
{
    if (guard.tryToRun())
        return true;
    const QString ownName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    while (true) {
        const std::chrono::duration<double> elapsed = std::chrono::system_clock::now() - startInstant;
        if (elapsed.count() > guardGiveUpSeconds) {
            log.critical("Process is still running.");
            return false;
        }
        log.trace("an UlvexBackend process is already running");
        ProcessReaper::terminateOthers(ownName);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (guard.tryToRun())
            return true;
    }
}

// Runs everything after the guard is held; returns the process's exit code.
int serve(int argc, char** argv, spdlog::logger& log)
{
    const auto parsed = CommandLine::parse(argc, argv);
    if (!parsed)
        log.error("{}", parsed.error());
    const CommandLine::Options options = parsed.value_or(CommandLine::Options{});

    if (options.debug)
        Settings::instance().setDebugMode(true);

    if (options.version) {
        log.info("Ulvexbackend version: {}", programVersion);
        return deferredExit(0);
    }

    if (!options.time || !options.code) {
        std::vector<std::string> received;
        for (const auto& value : {options.time, options.code}) {
            if (value)
                received.push_back(std::to_string(*value));
        }
        log.error("One or more argument is missing");
        log.debug("Received arguments: [{}]", fmt::join(received, "], ["));
        return deferredExit(-1);
    }

    const qint32 time = *options.time;
    const qint32 code = *options.code;
    const auto type = analyzer::enums::deviceTypeFromCode(code);
    if (!type) {
        log.error("Unknown device type: {}", code);
        return deferredExit(-2);
    }
    Settings::instance().setDeviceCode(*type);
    log.debug("code {} ({})", code, Settings::instance().applicationName());

    log.debug("time: received {}, current {}", time, QDateTime::currentSecsSinceEpoch());
    if (!launchDateAccepted(time, QDate::currentDate())) {
        log.error("difference is too high");
        return deferredExit(-1);
    }

    log.trace("Application's name: {}", Settings::instance().applicationName());

    const QByteArray resourcePath = qgetenv("ULVEX_RESOURCE_PATH");
    if (resourcePath.isEmpty())
        log.debug("ULVEX_RESOURCE_PATH is not set");
    else
        log.debug("ULVEX_RESOURCE_PATH set to: {}", resourcePath);
    const QByteArray dbDir = qgetenv("ULVEX_DB_DIR");
    if (dbDir.isEmpty())
        log.debug("ULVEX_DB_DIR  is not set");
    else
        log.debug("ULVEX_DB_DIR set to: {}", dbDir);
    log.debug("Working dir: {}", QCoreApplication::applicationDirPath());

    auto server = std::make_unique<HardwareServer>(nullptr);
    server->startServer();
    // Without its port no frontend can ever reach this process: staying up
    // would leave a silent process behind. startServer logged why.
    if (!server->isListening())
        return deferredExit(-3);
    QObject::connect(server.get(), &HardwareServer::finished, qApp, &QCoreApplication::quit);

    const int result = QCoreApplication::exec();
    log.info("Process exiting with code {}", result);
    server.reset();
    return result;
}

// SIGTERM or SIGINT end the program as a frontend's disconnect would: the
// session finishes its running request and closes, the log is flushed, exit 0.
void endOnRequest(TerminationWatch& watch, spdlog::logger& log)
{
    QObject::connect(&watch, &TerminationWatch::requested, qApp, [&log](const QString& what) {
        log.info("{} received, ending the program", what);
        if (ClientThread* session = HardwareServer::getClientThread())
            session->shutdown();
        else
            QCoreApplication::quit();
    });
}

} // namespace

int main(int argc, char** argv)
{
#if defined(SIGPIPE)
    // A frontend that closes its end of our console pipe must not end the
    // process: a write there then fails with EPIPE, which the sinks handle.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    auto holder = std::make_unique<LoggerHolder>();
    std::shared_ptr<spdlog::logger> log = spdlog::get("backend");
    if (!log) {
        // Logging could not be set up at all; carry on with a silent logger
        // rather than fail the frontend's launch.
        log = std::make_shared<spdlog::logger>("backend");
        log->set_level(spdlog::level::off);
        spdlog::register_logger(log);
    }
    log->trace("Process starting...");
    const std::unique_ptr<TerminationWatch> termination = TerminationWatch::create();
    if (termination)
        endOnRequest(*termination, *log);
    warnOnDevelopmentCertificates(*log);

    auto guard = std::make_unique<RunGuard>(V2Device::version());
    const auto startInstant = std::chrono::system_clock::now();
    log->trace("Start time {}", fmt::format("{:%F %T}", fmt::gmtime(std::chrono::system_clock::to_time_t(startInstant))));

    if (!takeSingleInstance(*guard, *log, startInstant)) {
        guard.reset();
        log.reset();
        holder.reset();
        return -1;
    }

    const int code = serve(argc, argv, *log);
    // Qt's database registry ends with the application object: close first.
    Database::endAll();
    guard.reset();
    log.reset();
    holder.reset();
    return code;
}
