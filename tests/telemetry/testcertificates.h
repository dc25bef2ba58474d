#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QTemporaryDir>

// A throw-away certificate authority and two server certificates for
// 127.0.0.1, made with the openssl command-line tool: one issued by the test
// authority and one by a second authority nobody trusts.
class TestCertificates {
public:
    // Runs openssl; false (with the reason in error()) when that fails.
    bool generate();
    QString error() const { return failure; }

    QSslCertificate authority() const { return trustedCa; }
    QSslConfiguration trustedServer() const;
    QSslConfiguration untrustedServer() const;
    // Makes every QSslSocket of this process trust the test authority.
    void trustAuthorityProcessWide() const;

private:
    bool run(const QStringList& arguments);
    bool makeAuthority(const QString& name);
    bool makeServer(const QString& name, const QString& authority);
    QSslConfiguration serverConfiguration(const QString& name) const;

    QTemporaryDir dir;
    QSslCertificate trustedCa;
    QString failure;
};
