#pragma once
// The numbers of 3GPP TS 23.040 and 23.038 that the encoder and the decoder share, each stated
// once, and the UTF-16 surrogate rules that UCS2 user data and the text conversions follow.

#include <cstddef>
#include <cstdint>

namespace telvane::codec {

/// TS 23.040 9.1.2.5: an address field carries at most 20 semi-octets (digits).
inline constexpr std::size_t kMaxAddressDigits = 20;
/// TS 24.011 8.2.5.1: the RP address of the service centre is at most 11 octets (type of
/// address and 10 octets of digits).
inline constexpr std::size_t kMaxSmscOctets = 11;
/// TS 23.040 9.2.3.16: at most 140 octets of user data, i.e. 160 septets.
inline constexpr std::size_t kMaxUserDataOctets = 140;
inline constexpr std::size_t kMaxUserDataSeptets = 160;

/// TS 23.040 9.1.2.5: type of number, bits 6..4 of the type-of-address octet.
inline constexpr std::uint8_t kTonInternational = 0b001;
inline constexpr std::uint8_t kTonAlphanumeric = 0b101;

/// TS 23.040 9.2.3.24.1 and 9.2.3.24.8: concatenated short messages with an 8-bit and a
/// 16-bit reference.
inline constexpr std::uint8_t kIeiConcatenated8Bit = 0x00;
inline constexpr std::uint8_t kIeiConcatenated16Bit = 0x08;

/// TS 23.038 4: TP-DCS of the GSM 7-bit default alphabet and of UCS2, general data coding,
/// no class.
inline constexpr std::uint8_t kDcsGsm7 = 0x00;
inline constexpr std::uint8_t kDcsUcs2 = 0x08;

/// UTF-16 surrogates: never characters of their own.
constexpr bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
constexpr bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
/// A Unicode scalar value: a code point that UTF-8, UTF-16 and UTF-32 may carry.
constexpr bool isScalarValue(char32_t c) { return c <= 0x10FFFF && !isSurrogate(c); }
/// The character of a surrogate pair.
constexpr char32_t fromSurrogates(char32_t high, char32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
/// The pair that stands for a character beyond U+FFFF.
constexpr char32_t highSurrogateOf(char32_t c) { return 0xD800 + ((c - 0x10000) >> 10); }
constexpr char32_t lowSurrogateOf(char32_t c) { return 0xDC00 + ((c - 0x10000) & 0x3FF); }

}  // namespace telvane::codec
