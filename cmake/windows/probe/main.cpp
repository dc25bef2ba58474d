// Touches each library of the Windows prefix once and prints one "probe:" line
// per finding; exits non-zero if any of them did not work.
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QSqlDatabase>
#include <QSslSocket>
#include <QStringList>
#ifdef PROBE_SERIALPORT
#include <QSerialPortInfo>
#endif
#ifdef PROBE_GRPC
#include "probe.qpb.h"
#include <QProtobufSerializer>
#include <QtGrpc/QGrpcHttp2Channel>
#endif

#include <cxxopts.hpp>
#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

void line(const std::string& text)
{
    std::fputs(("probe: " + text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string text(const QString& value)
{
    return value.isEmpty() ? std::string("(none)") : value.toStdString();
}

// One-row answer of SQL on db, or an empty string with the error in *error.
std::string single(sqlite3* db, const char* sql, std::string* error = nullptr)
{
    sqlite3_stmt* stmt = nullptr;
    std::string result;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW && sqlite3_column_text(stmt, 0))
            result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    if (error)
        *error = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    return result;
}

bool exec(sqlite3* db, const std::string& sql)
{
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3* openKeyed(const std::string& path, const std::string& key)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK
        || !exec(db, "PRAGMA key = '" + key + "'")) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

bool probeSqlCipher(const std::string& path)
{
    sqlite3* db = openKeyed(path, "probe-secret");
    if (!db || !exec(db, "CREATE TABLE IF NOT EXISTS t(v TEXT); DELETE FROM t; INSERT INTO t VALUES('hello')")) {
        line("sqlcipher cannot write an encrypted database");
        sqlite3_close_v2(db);
        return false;
    }
    const std::string version = single(db, "PRAGMA cipher_version");
    const std::string provider = single(db, "PRAGMA cipher_provider");
    sqlite3_close_v2(db);

    std::string refusal;
    db = openKeyed(path, "wrong-secret");
    const bool refused = db && single(db, "SELECT count(*) FROM sqlite_master", &refusal).empty();
    sqlite3_close_v2(db);

    db = openKeyed(path, "probe-secret");
    const std::string back = db ? single(db, "SELECT v FROM t") : std::string();
    sqlite3_close_v2(db);

    line(fmt::format("sqlcipher {} provider {}; wrong key: {}; read back: {}", version.empty() ? "(none)" : version,
                     provider.empty() ? "(none)" : provider, refused ? refusal : "accepted", back));
    return !version.empty() && refused && back == "hello";
}

#ifdef PROBE_GRPC
bool probeProtobuf()
{
    probe::Reading reading;
    reading.setName(QStringLiteral("temperature"));
    reading.setValue(-42);
    reading.setSamples({1.5, -2.25});
    QProtobufSerializer serializer;
    const QByteArray wire = reading.serialize(&serializer);
    probe::Reading back;
    const bool ok = back.deserialize(&serializer, wire) && back == reading;
    line(fmt::format("protobuf round trip of {} bytes {}", wire.size(), ok ? "ok" : "FAILED"));
    return ok;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    cxxopts::Options options("windows-probe", "checks the Windows build's libraries");
    options.add_options()("db", "encrypted database file to make",
                          cxxopts::value<std::string>()->default_value("probe.db"));
    const auto args = options.parse(argc, argv);
    bool ok = true;

    line(fmt::format("qt {}", qVersion()));

#ifdef PROBE_SERIALPORT
    QStringList ports;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        ports << port.portName();
    line(fmt::format("serial ports {}: {}", ports.size(), text(ports.join(u' '))));
#else
    line("serial ports: no QtSerialPort in the prefix");
#endif

    line(fmt::format("sql drivers: {}", text(QSqlDatabase::drivers().join(u' '))));

    QNetworkAccessManager manager;
    const bool ssl = QSslSocket::supportsSsl();
    line(fmt::format("tls backends: {}; active: {}; supportsSsl: {}; {}",
                     text(QSslSocket::availableBackends().join(u' ')), text(QSslSocket::activeBackend()),
                     ssl ? "yes" : "no", text(QSslSocket::sslLibraryVersionString())));
    ok = QSslSocket::activeBackend() == QLatin1String("schannel") && ok;

#ifdef PROBE_GRPC
    ok = probeProtobuf() && ok;
    auto channel = std::make_shared<QGrpcHttp2Channel>(QUrl(QStringLiteral("http://127.0.0.1:2700")));
    line(fmt::format("grpc channel to {} ok", channel->hostUri().toString().toStdString()));
#else
    line("protobuf and grpc: no QtProtobuf/QtGrpc in the prefix");
#endif

    ok = probeSqlCipher(args["db"].as<std::string>()) && ok;

    spdlog::set_pattern("probe: %v");
    spdlog::info("spdlog {}.{}.{} with fmt {}", SPDLOG_VER_MAJOR, SPDLOG_VER_MINOR, SPDLOG_VER_PATCH, FMT_VERSION);
    spdlog::default_logger()->flush();

    line(ok ? "all ok" : "FAILED");
    return ok ? 0 : 1;
}
