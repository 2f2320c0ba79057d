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

std::vector<std::uint8_t> unpackSeptets(std::span<const std::uint8_t> octets, std::size_t septets) {
    std::vector<std::uint8_t> out;
    out.reserve(septets);
    for (std::size_t i = 0; i < septets; ++i) {
        const std::size_t bit = i * 7;
        const std::size_t index = bit / 8;
        const unsigned shift = bit % 8;
        if (index >= octets.size()) break;
        unsigned value = octets[index] >> shift;
        if (shift > 1 && index + 1 < octets.size()) value |= octets[index + 1] << (8 - shift);
        out.push_back(static_cast<std::uint8_t>(value & 0x7F));
    }
    return out;
}

}  // namespace telvane::codec
