#pragma once

#include "qprotobufpropertyordering.h"

#include <QObject>

// Declares a protobuf message class: a gadget with its property-ordering table.
#define Q_PROTOBUF_OBJECT \
    Q_GADGET \
public: \
    static const QtProtobufPrivate::QProtobufPropertyOrdering staticPropertyOrdering; \
private:
