#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// What the build accepts as a database passphrase constant. Kept free of Qt so
// the generated key header can check it at compile time.
namespace passphrase_rules {

// Byte i of the passphrase is byte i of the constant minus i (mod 256).
constexpr std::uint8_t derivedByte(std::uint8_t constantByte, std::size_t i)
{
    return static_cast<std::uint8_t>(constantByte - i);
}

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF)
// without a NUL, which would cut the text short on its way to SQLCipher.
constexpr bool isValidText(const std::uint8_t* bytes, std::size_t size)
{
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t lead = bytes[i];
        if (lead == 0)
            return false;
        std::size_t extra = 0;
        std::uint32_t min = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (size - i <= extra)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const std::uint8_t next = bytes[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

template <std::size_t N>
constexpr bool derivesValidText(const std::array<std::uint8_t, N>& constant)
{
    std::array<std::uint8_t, N> derived{};
    for (std::size_t i = 0; i < N; ++i)
        derived[i] = derivedByte(constant[i], i);
    return isValidText(derived.data(), N);
}

} // namespace passphrase_rules
