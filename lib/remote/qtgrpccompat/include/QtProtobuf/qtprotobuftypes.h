#pragma once

// The scalar types of Qt Protobuf, for Qt versions without the Protobuf
// module: the same names and kinds as Qt 6.8's (int32 and int64 are thin
// wrappers that convert to and from their plain integer).

#include <QList>
#include <QMetaType>
#include <QString>
#include <cstdint>

namespace QtProtobuf {
template<typename T, typename tag>
struct TransparentWrapper {
    TransparentWrapper(T value = T()) : t(value) { }
    T t;
    operator T&() { return t; }
    operator T() const { return t; }
    TransparentWrapper& operator=(T value)
    {
        t = value;
        return *this;
    }
    static T toType(TransparentWrapper wrapper) { return wrapper.t; }
    static TransparentWrapper fromType(T value) { return TransparentWrapper(value); }
    static QString toString(TransparentWrapper wrapper) { return QString::number(wrapper.t); }
};

using int32 = TransparentWrapper<int32_t, struct int_tag>;
using int64 = TransparentWrapper<int64_t, struct int_tag>;
using uint32 = uint32_t;
using uint64 = uint64_t;
using boolean = bool;
} // namespace QtProtobuf

Q_DECLARE_METATYPE(QtProtobuf::int32)
Q_DECLARE_METATYPE(QtProtobuf::int64)
