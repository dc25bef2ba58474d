#include "certificatenotice.h"

#include <QFile>
#include <spdlog/logger.h>

bool carriesDevelopmentCertificates()
{
    return QFile::exists(QStringLiteral(":/cert/development"));
}

void warnOnDevelopmentCertificates(spdlog::logger& log)
{
    if (carriesDevelopmentCertificates())
        log.warn("This build carries the throw-away development certificates for the remote service: "
                 "not for deployment (build with ULVEX_CERT_DIR)");
}
