#pragma once
// 7-bit packing of the GSM default alphabet (3GPP TS 23.038 clause 6.1.2.1.1).

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/Hex.h"

namespace telvane::codec {

/// Lays the septets end to end, least significant bit first, after `fillBits` zero bits, and
/// fills the last octet up with zero bits. Each septet's eighth bit is ignored.
///
/// `fillBits` is the padding that puts the first character on a septet boundary after a user
/// data header (TS 23.040 clause 9.2.3.24): 1 after the six-octet concatenation header.
Bytes packSeptets(std::span<const std::uint8_t> septets, std::size_t fillBits = 0);

}  // namespace telvane::codec
