#include "codec/Septets.h"

namespace telvane::codec {

Bytes packSeptets(std::span<const std::uint8_t> septets, std::size_t fillBits) {
    const std::size_t bits = fillBits + septets.size() * 7;
    Bytes octets((bits + 7) / 8, 0);
    std::size_t bit = fillBits;
    for (std::uint8_t septet : septets) {
        const unsigned value = septet & 0x7Fu;
        // A septet spans at most two octets: its low bits go into the current octet, the rest
        // into the next one.
        const std::size_t index = bit / 8;
        const unsigned shift = bit % 8;
        octets[index] |= static_cast<std::uint8_t>(value << shift);
        if (shift > 1) octets[index + 1] |= static_cast<std::uint8_t>(value >> (8 - shift));
        bit += 7;
    }
    return octets;
}

}  // namespace telvane::codec
