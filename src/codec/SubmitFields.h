#pragma once
// Address fields of an SMS-SUBMIT, shared by the encoder and its tests.

#include <string_view>
#include <variant>

#include "codec/Hex.h"
#include "codec/Submit.h"
#include "codec/SubmitError.h"

namespace telvane::codec {

/// The SMSC part in front of the TPDU (TS 27.005 clause 3.1, <pdu>): the single octet 00 for
/// an empty setting, else length octet, type of address 91, semi-octet digits.
std::variant<Bytes, SubmitError> encodeSmscField(std::string_view smsc);

/// TP-DA (TS 23.040 clause 9.1.2.5): digit count, type of address, semi-octet digits, as
/// destinationOf gives them.
std::variant<Bytes, SubmitError> encodeDestinationField(std::string_view number);
Bytes destinationField(const Destination& destination);

}  // namespace telvane::codec
