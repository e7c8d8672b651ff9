// The generator both backends fall back on when the system has no random
// source to give: SplitMix64 over a caller-kept state.
#pragma once

#include <cstdint>

namespace tarvex {
namespace platform {

// Fills out[0..n) from the generator, advancing `state`.
inline void fillPseudoRandom(uint64_t& state, uint8_t* out, uint32_t n) {
    uint32_t done = 0;
    while (done < n) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (int i = 0; i < 8 && done < n; ++i) out[done++] = static_cast<uint8_t>(z >> (8 * i));
    }
}

}  // namespace platform
}  // namespace tarvex
