#include "protocol/packet.h"

#include <QDataStream>
#include <QIODevice>
#include <map>

QByteArray makePacket(opcodes opcode, qint32 payload)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << static_cast<qint8>(opcode) << payload;
    return bytes;
}

QByteArray makePacket(opcodes opcode, status_codes status)
{
    return makePacket(opcode, static_cast<qint32>(status));
}

Packet readPacket(const QByteArray& message)
{
    QDataStream stream(message);
    stream.setByteOrder(QDataStream::LittleEndian);
    qint8 opcode = 0;
    qint32 payload = 0;
    stream >> opcode;
    stream >> payload; // a short read leaves the value zeroed
    if (stream.status() != QDataStream::Ok)
        payload = 0;
    return Packet{static_cast<opcodes>(static_cast<quint8>(opcode)), payload};
}

QString opcodeName(opcodes opcode)
{
    static const std::map<opcodes, QString> names = {
        {opcodes::initialization, QStringLiteral("initialization")},
        {opcodes::device_state, QStringLiteral("device_state")},
        {opcodes::start_measure, QStringLiteral("start_measure")},
        {opcodes::state_measure, QStringLiteral("state_measure")},
        {opcodes::correctness_measure, QStringLiteral("correctness_measure")},
        {opcodes::end_measure, QStringLiteral("end_measure")},
        {opcodes::save_measure, QStringLiteral("save_measure")},
        {opcodes::saving_progress, QStringLiteral("saving_progress")},
        {opcodes::exit, QStringLiteral("exit")},
        {opcodes::error, QStringLiteral("error")},
        {opcodes::abort, QStringLiteral("abort")},
        {opcodes::set_db, QStringLiteral("set_db")},
        {opcodes::ping, QStringLiteral("ping")},
        {opcodes::unknown, QStringLiteral("unknown")},
    };
    const auto it = names.find(opcode);
    return it == names.end() ? QString() : it->second;
}

QString statusCodeName(status_codes status)
{
    static const std::map<status_codes, QString> names = {
        {status_codes::ok, QStringLiteral("ok")},
        {status_codes::service_ready, QStringLiteral("service_ready")},
        {status_codes::software_closing, QStringLiteral("software_closing")},
        {status_codes::device_initialized, QStringLiteral("device_initialized")},
        {status_codes::device_not_initialized, QStringLiteral("device_not_initialized")},
        {status_codes::device_not_connected, QStringLiteral("device_not_connected")},
        {status_codes::device_connected, QStringLiteral("device_connected")},
        {status_codes::device_error, QStringLiteral("device_error")},
        {status_codes::measurement_started, QStringLiteral("measurement_started")},
        {status_codes::measurement_not_started, QStringLiteral("measurement_not_started")},
        {status_codes::measurement_in_progress, QStringLiteral("measurement_in_progress")},
        {status_codes::measurement_finished, QStringLiteral("measurement_finished")},
        {status_codes::measurement_saved, QStringLiteral("measurement_saved")},
        {status_codes::measurement_discarded, QStringLiteral("measurement_discarded")},
        {status_codes::measurement_cannot_save, QStringLiteral("measurement_cannot_save")},
        {status_codes::measurement_saving_in_progress,
         QStringLiteral("measurement_saving_in_progress")},
        {status_codes::measurement_calibration_error,
         QStringLiteral("measurement_calibration_error")},
        {status_codes::database_missing, QStringLiteral("database_missing")},
        {status_codes::database_dynamic_path, QStringLiteral("database_dynamic_path")},
        {status_codes::unknown_packet, QStringLiteral("unknown_packet")},
    };
    const auto it = names.find(status);
    return it == names.end() ? QString() : it->second;
}
