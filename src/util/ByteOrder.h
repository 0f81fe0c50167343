// Unsigned integers read from and written to bytes in a fixed byte order: big-endian (network order, the
// sfnt tables of fonts, WebSocket lengths) and little-endian (ZIP). The caller checks the bounds.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>

namespace util {

// The sizeof(T) bytes at p, most significant first.
template <typename T>
constexpr T ReadBigEndian(const void* p) {
    static_assert(std::is_unsigned_v<T>);
    const auto* bytes = static_cast<const unsigned char*>(p);
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) value = static_cast<T>((value << 8) | bytes[i]);
    return value;
}

// The sizeof(T) bytes at p, least significant first.
template <typename T>
constexpr T ReadLittleEndian(const void* p) {
    static_assert(std::is_unsigned_v<T>);
    const auto* bytes = static_cast<const unsigned char*>(p);
    T value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;) value = static_cast<T>((value << 8) | bytes[i]);
    return value;
}

// Writes value into the sizeof(T) bytes at p, most significant first.
template <typename T>
constexpr void WriteBigEndian(void* p, T value) {
    static_assert(std::is_unsigned_v<T>);
    auto* bytes = static_cast<unsigned char*>(p);
    for (std::size_t i = sizeof(T); i-- > 0; value = static_cast<T>(value >> 8))
        bytes[i] = static_cast<unsigned char>(value & 0xFF);
}

// Appends value to out, most significant byte first.
template <typename T>
void AppendBigEndian(std::string& out, T value) {
    char bytes[sizeof(T)];
    WriteBigEndian(bytes, value);
    out.append(bytes, sizeof(T));
}

}  // namespace util
