#include "storage/passphrase.h"

#include "storage/passphrasekey.h"
#include "storage/passphraserules.h"

QString Passphrase::build()
{
    return derive(constant());
}

QString Passphrase::derive(const QByteArray& constant)
{
    QByteArray bytes(constant.size(), '\0');
    for (qsizetype i = 0; i < constant.size(); ++i) {
        bytes[i] = static_cast<char>(passphrase_rules::derivedByte(
            static_cast<std::uint8_t>(constant.at(i)), static_cast<std::size_t>(i)));
    }
    return QString::fromUtf8(bytes);
}

QByteArray Passphrase::constant()
{
    return QByteArray(reinterpret_cast<const char*>(storage_key::constant.data()),
                      static_cast<qsizetype>(storage_key::constant.size()));
}
