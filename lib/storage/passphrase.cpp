#include "storage/passphrase.h"

#include "storage/passphrasekey.h"

QString Passphrase::build()
{
    QByteArray bytes(static_cast<qsizetype>(storage_key::constant.size()), '\0');
    for (std::size_t i = 0; i < storage_key::constant.size(); ++i)
        bytes[static_cast<qsizetype>(i)] = static_cast<char>((storage_key::constant[i] - i) & 0xFF);
    return QString::fromUtf8(bytes);
}

QByteArray Passphrase::constant()
{
    return QByteArray(reinterpret_cast<const char*>(storage_key::constant.data()),
                      static_cast<qsizetype>(storage_key::constant.size()));
}
