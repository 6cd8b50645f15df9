#pragma once

#include <QByteArray>

// A self-signed certificate for 127.0.0.1, made afresh with OpenSSL: a TLS server on loopback
// that only the test's own requests trust.
struct TestCertificate
{
    QByteArray certificatePem;
    QByteArray keyPem;

    static TestCertificate forLoopback();
};
