#pragma once

#include <QByteArray>
#include <QString>

// The passphrase of parameters.db and personal.db. It is derived from a
// 16-byte constant so the text itself never appears in the binary.
class Passphrase {
public:
    // Byte i of the passphrase is byte i of the constant minus i (mod 256).
    static QString build();
    // The passphrase of any 16-byte constant, by the same rule.
    static QString derive(const QByteArray& constant);
    static QByteArray constant();
};
