#pragma once

// Lets every log call take Qt strings directly: fmt formats QString and
// QByteArray as their UTF-8 text.

#include <QByteArray>
#include <QString>
#include <fmt/format.h>
#include <string_view>

template <>
struct fmt::formatter<QString> : fmt::formatter<std::string_view> {
    template <typename FormatContext>
    auto format(const QString& text, FormatContext& ctx) const
    {
        const QByteArray utf8 = text.toUtf8();
        return fmt::formatter<std::string_view>::format(
            std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), ctx);
    }
};

template <>
struct fmt::formatter<QByteArray> : fmt::formatter<std::string_view> {
    template <typename FormatContext>
    auto format(const QByteArray& bytes, FormatContext& ctx) const
    {
        return fmt::formatter<std::string_view>::format(
            std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), ctx);
    }
};
