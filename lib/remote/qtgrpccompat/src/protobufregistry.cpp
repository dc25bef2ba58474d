#include "protobufregistry.h"

#include "QtProtobuf/qprotobufregistration.h"
#include "QtProtobuf/qtprotobuftypes.h"

#include <QHash>
#include <QReadWriteLock>

namespace {
struct Registry {
    QReadWriteLock lock;
    QHash<QString, QMetaType> types;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}
} // namespace

void QtProtobufPrivate::registerOrdering(QMetaType type, QProtobufPropertyOrdering ordering)
{
    if (!type.isValid())
        return;
    Registry& r = registry();
    QWriteLocker locker(&r.lock);
    r.types.insert(ordering.messageFullName().toString(), type);
}

QMetaType QtProtobufPrivate::registeredMessageType(const QString& fullName)
{
    Registry& r = registry();
    QReadLocker locker(&r.lock);
    return r.types.value(fullName);
}

void qRegisterProtobufTypes()
{
    static const bool once = [] {
        QMetaType::registerConverter<QtProtobuf::int32, int32_t>(QtProtobuf::int32::toType);
        QMetaType::registerConverter<int32_t, QtProtobuf::int32>(QtProtobuf::int32::fromType);
        QMetaType::registerConverter<QtProtobuf::int32, QString>(QtProtobuf::int32::toString);
        QMetaType::registerConverter<QtProtobuf::int64, int64_t>(QtProtobuf::int64::toType);
        QMetaType::registerConverter<int64_t, QtProtobuf::int64>(QtProtobuf::int64::fromType);
        QMetaType::registerConverter<QtProtobuf::int64, QString>(QtProtobuf::int64::toString);
        return true;
    }();
    Q_UNUSED(once);
}

QtProtobuf::ProtoTypeRegistrar::ProtoTypeRegistrar(RegisterFunction initializer)
{
    if (initializer)
        initializer();
}

namespace {
// The scalar conversions are there once the library is loaded, as with Qt's module.
const QtProtobuf::ProtoTypeRegistrar scalarTypes(qRegisterProtobufTypes);
} // namespace
