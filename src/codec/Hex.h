#pragma once
// Hexadecimal text <-> bytes: the first layer under the PDU codec, so that a fuzzer can feed
// either the hex text or the binary TPDU.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane::codec {

using Bytes = std::vector<std::uint8_t>;

/// Upper-case hex, two digits per octet (the PDU text of AT commands).
std::string toHex(const Bytes& bytes);

/// Accepts upper- and lower-case digits; nullopt for an odd length or a non-hex character.
std::optional<Bytes> fromHex(std::string_view hex);

}  // namespace telvane::codec
