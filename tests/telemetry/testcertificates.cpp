#include "testcertificates.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>

bool TestCertificates::run(const QStringList& arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        failure = QStringLiteral("openssl %1: %2").arg(arguments.join(QLatin1Char(' ')),
            QString::fromLocal8Bit(openssl.readAll()) + openssl.errorString());
        return false;
    }
    return true;
}

bool TestCertificates::makeAuthority(const QString& name)
{
    return run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
        "-keyout", name + ".key", "-out", name + ".crt", "-days", "2", "-subj", "/CN=" + name,
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
}

bool TestCertificates::makeServer(const QString& name, const QString& authority)
{
    QFile extensions(dir.filePath(name + ".ext"));
    if (!extensions.open(QIODevice::WriteOnly))
        return false;
    extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                     "basicConstraints=CA:FALSE\n"
                     "keyUsage=digitalSignature\n"
                     "extendedKeyUsage=serverAuth\n");
    extensions.close();
    return run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
               name + ".key", "-out", name + ".csr", "-subj", "/CN=127.0.0.1"})
        && run({"x509", "-req", "-in", name + ".csr", "-CA", authority + ".crt", "-CAkey", authority + ".key",
            "-CAcreateserial", "-out", name + ".crt", "-days", "2", "-extfile", name + ".ext"});
}

bool TestCertificates::generate()
{
    if (!dir.isValid()) {
        failure = QStringLiteral("no temporary directory");
        return false;
    }
    if (!makeAuthority(QStringLiteral("testca")) || !makeAuthority(QStringLiteral("rogueca"))
        || !makeServer(QStringLiteral("server"), QStringLiteral("testca"))
        || !makeServer(QStringLiteral("rogue"), QStringLiteral("rogueca")))
        return false;
    const auto cas = QSslCertificate::fromPath(dir.filePath(QStringLiteral("testca.crt")));
    if (cas.isEmpty()) {
        failure = QStringLiteral("test authority not readable");
        return false;
    }
    trustedCa = cas.first();
    return true;
}

QSslConfiguration TestCertificates::serverConfiguration(const QString& name) const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    const auto certificates = QSslCertificate::fromPath(dir.filePath(name + ".crt"));
    if (!certificates.isEmpty())
        configuration.setLocalCertificate(certificates.first());
    QFile keyFile(dir.filePath(name + ".key"));
    if (keyFile.open(QIODevice::ReadOnly))
        configuration.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
    return configuration;
}

QSslConfiguration TestCertificates::trustedServer() const
{
    return serverConfiguration(QStringLiteral("server"));
}

QSslConfiguration TestCertificates::untrustedServer() const
{
    return serverConfiguration(QStringLiteral("rogue"));
}

void TestCertificates::trustAuthorityProcessWide() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(trustedCa);
    QSslConfiguration::setDefaultConfiguration(configuration);
}
