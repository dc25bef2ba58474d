#pragma once

namespace spdlog {
class logger;
}

// True when the library carries the throw-away certificate set made by
// makedevcert.cmake (its resource holds :/cert/development).
bool carriesDevelopmentCertificates();

// Warns once at start when it does, so a deployment built without its own
// set (ULVEX_CERT_DIR) shows in every log.
void warnOnDevelopmentCertificates(spdlog::logger& log);
