#include "codec/SubmitFields.h"

#include <string>

#include "codec/Submit.h"

namespace telvane::codec {

namespace {

struct AddressCodes {
    SubmitField field;
    SubmitErrorCode notDigits;
    SubmitErrorCode tooLong;
};

// The digits of an address: spaces around it ignored, one leading "+" dropped. An all-blank
// input gives no digits; the caller decides whether that is allowed.
std::variant<std::string, SubmitError> addressDigits(std::string_view text,
                                                     const AddressCodes& codes) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == ' ') ++begin;
    while (end > begin && text[end - 1] == ' ') --end;
    if (begin == end) return std::string();

    std::size_t pos = begin;
    if (text[pos] == '+') {
        ++pos;
        if (pos == end) return SubmitError{codes.notDigits, codes.field, begin};
    }
    std::string digits;
    for (; pos < end; ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') return SubmitError{codes.notDigits, codes.field, pos};
        if (digits.size() == kMaxAddressDigits) return SubmitError{codes.tooLong, codes.field, pos};
        digits.push_back(c);
    }
    return digits;
}

Bytes semiOctets(std::string_view digits) {
    Bytes octets;
    octets.reserve((digits.size() + 1) / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const unsigned low = static_cast<unsigned>(digits[i] - '0');
        const unsigned high =
            i + 1 < digits.size() ? static_cast<unsigned>(digits[i + 1] - '0') : 0xF;
        octets.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return octets;
}

}  // namespace

std::variant<Bytes, SubmitError> encodeSmscField(std::string_view smsc) {
    auto digits = addressDigits(
        smsc, {SubmitField::Smsc, SubmitErrorCode::SmscNotDigits, SubmitErrorCode::SmscTooLong});
    if (auto* error = std::get_if<SubmitError>(&digits)) return *error;
    const std::string& value = std::get<std::string>(digits);
    if (value.empty()) return Bytes{0x00};

    const Bytes packed = semiOctets(value);
    Bytes field;
    field.push_back(static_cast<std::uint8_t>(1 + packed.size()));  // octets after this one
    field.push_back(kInternationalNumber);
    field.insert(field.end(), packed.begin(), packed.end());
    return field;
}

std::variant<Destination, SubmitError> destinationOf(std::string_view number) {
    auto digits = addressDigits(number, {SubmitField::Number, SubmitErrorCode::NumberNotDigits,
                                         SubmitErrorCode::NumberTooLong});
    if (auto* error = std::get_if<SubmitError>(&digits)) return *error;
    Destination out{std::get<std::string>(std::move(digits)), kInternationalNumber};
    if (out.digits.empty())
        return SubmitError{SubmitErrorCode::EmptyNumber, SubmitField::Number, 0};
    if (number[number.find_first_not_of(' ')] == '+') return out;
    // Russian domestic numbers are written 8XXXXXXXXXX; the network wants 7XXXXXXXXXX. Other
    // numbers starting with 8 (China's 86...) are international already.
    if (out.digits.size() == 11 && out.digits[0] == '8') {
        out.digits[0] = '7';
    } else if (out.digits.size() >= 3 && out.digits.size() <= 6) {
        out.typeOfAddress = kUnknownNumberType;
    }
    return out;
}

std::variant<Bytes, SubmitError> encodeDestinationField(std::string_view number) {
    auto destination = destinationOf(number);
    if (auto* error = std::get_if<SubmitError>(&destination)) return *error;
    return destinationField(std::get<Destination>(destination));
}

Bytes destinationField(const Destination& d) {
    const Bytes packed = semiOctets(d.digits);
    Bytes field;
    field.push_back(static_cast<std::uint8_t>(d.digits.size()));  // TP-DA counts digits
    field.push_back(d.typeOfAddress);
    field.insert(field.end(), packed.begin(), packed.end());
    return field;
}

}  // namespace telvane::codec
