#pragma once

#include <QMetaType>
#include <QString>

namespace QtProtobufPrivate {
// The message type registered under a full name, or an invalid type.
QMetaType registeredMessageType(const QString& fullName);
} // namespace QtProtobufPrivate
