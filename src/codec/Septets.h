#pragma once
// 7-bit packing of the GSM default alphabet (3GPP TS 23.038 clause 6.1.2.1.1).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/Hex.h"

namespace telvane::codec {

/// Lays the septets end to end, least significant bit first, after `fillBits` zero bits, and
/// fills the last octet up with zero bits. Each septet's eighth bit is ignored.
///
/// `fillBits` is the padding that puts the first character on a septet boundary after a user
/// data header (TS 23.040 clause 9.2.3.24): 1 after the six-octet concatenation header.
Bytes packSeptets(std::span<const std::uint8_t> septets, std::size_t fillBits = 0);

/// The first `septets` septets of a packed stream: septet i sits at bits 7i..7i+6, counting from
/// bit 0 of octet 0. Stops early, without reading past it, where the stream ends.
std::vector<std::uint8_t> unpackSeptets(std::span<const std::uint8_t> octets, std::size_t septets);

}  // namespace telvane::codec
