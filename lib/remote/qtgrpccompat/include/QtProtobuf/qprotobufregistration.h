#pragma once

#include "qprotobufpropertyordering.h"
#include "ulvex_export.h"

#include <QMetaType>

namespace QtProtobufPrivate {
ULVEX_EXPORT void registerOrdering(QMetaType type, QProtobufPropertyOrdering ordering);
}

// Registers a message type with the meta-type system and the protobuf registry.
template<typename T>
inline void qRegisterProtobufType()
{
    T::registerTypes();
    QtProtobufPrivate::registerOrdering(QMetaType::fromType<T>(), T::staticPropertyOrdering);
}

// Registers the protobuf scalar types and their conversions.
ULVEX_EXPORT void qRegisterProtobufTypes();

namespace QtProtobuf {
using RegisterFunction = void (*)();
// Runs a registration function during static initialisation.
struct ULVEX_EXPORT ProtoTypeRegistrar {
    explicit ProtoTypeRegistrar(RegisterFunction initializer);
};
} // namespace QtProtobuf
