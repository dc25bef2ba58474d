#pragma once

#include <QtCore/qglobal.h>

// Symbols of UlvexSerialPort.dll: exported while it is built, imported by its
// users (data such as staticMetaObject needs the import on MinGW).
#if defined(ULVEX_SERIALPORT_BUILD)
#define Q_SERIALPORT_EXPORT Q_DECL_EXPORT
#else
#define Q_SERIALPORT_EXPORT Q_DECL_IMPORT
#endif
