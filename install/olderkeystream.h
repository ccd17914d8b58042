#pragma once

// The keystream that older installers scrambled "settings.txt" with: one
// key byte, seeded from a quarter of the scrambled length and a constant,
// XORed onto each byte in turn and advanced after each byte by adding one
// constant and multiplying by another, modulo 256.
//
// These three constants must equal the ones the older installers used;
// the values here are placeholders until those are known. They are kept in
// this one place for that reason.

#include <cstddef>
#include <cstdint>

struct OlderSettingsKeystream {
    static constexpr uint8_t kSeed = 0x5A;
    static constexpr uint8_t kStepAdd = 0x3D;
    static constexpr uint8_t kStepMultiply = 0x6B;

    static constexpr uint8_t FirstKey(size_t scrambledLength)
    {
        return static_cast<uint8_t>(scrambledLength / 4 + kSeed);
    }
    static constexpr uint8_t NextKey(uint8_t key)
    {
        return static_cast<uint8_t>((key + kStepAdd) * kStepMultiply);
    }
};

// Applies the keystream to bytes in place (scrambling and unscrambling are
// the same operation).
inline void UnscrambleOlderSettings(uint8_t* bytes, size_t count)
{
    uint8_t key = OlderSettingsKeystream::FirstKey(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] ^= key;
        key = OlderSettingsKeystream::NextKey(key);
    }
}
