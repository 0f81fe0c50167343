// Literals that are not kept in plain text in the executable. SCRAMBLED("text", key) stores the bytes
// XORed with a key stream derived from a 64-bit key at compile time and returns a reference to the plain
// text, descrambled once on first use under thread-safe static initialisation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace util {

constexpr std::uint8_t ScrambleByte(std::uint64_t key, std::size_t i) {
    std::uint64_t x = key + 0x9E3779B97F4A7C15ull * (i + 1);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint8_t>(x ^ (x >> 31));
}

template <std::size_t N>
struct ScrambledBuffer {
    std::array<std::uint8_t, N> bytes{};
    std::uint64_t key = 0;

    constexpr ScrambledBuffer(const char (&text)[N + 1], std::uint64_t k) : key(k) {
        for (std::size_t i = 0; i < N; ++i)
            bytes[i] = static_cast<std::uint8_t>(text[i]) ^ ScrambleByte(k, i);
    }

    std::string Unscramble() const {
        std::string out(N, '\0');
        for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<char>(bytes[i] ^ ScrambleByte(key, i));
        return out;
    }
};

}  // namespace util

#define SCRAMBLED(text, key)                                                             \
    ([]() -> const std::string& {                                                        \
        static constexpr ::util::ScrambledBuffer<sizeof(text) - 1> scrambled{text, key}; \
        static const std::string plain = scrambled.Unscramble();                         \
        return plain;                                                                    \
    }())
