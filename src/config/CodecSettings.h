#pragma once
// What the settings file says to the codec, read the same way by the gateway and the PDU tool:
// the delivery-report texts and the options of an outgoing message.

#include "codec/Alphabets.h"
#include "codec/MessageRecord.h"
#include "codec/Submit.h"
#include "config/Settings.h"

namespace telvane::config {

/// [SMSreports] Delivered, Sepended and Deleted, read at each use.
codec::ReportTexts reportTexts(const Settings& settings);

/// [SMS] SMSC, Report, ToLatin and LongID as sending reads them. An SMSC that is not a number
/// a message can carry (the example "79xxxxxxxxx" an older options dialog stored) leaves the
/// SMS centre to the phone, as an empty one does, instead of refusing every message.
codec::SubmitOptions sendingOptions(const Settings& settings);

/// [SMS] Encoding: utf-8 (in any letter case, also "utf8"), else Windows-1251.
codec::TextEncoding textEncoding(const Settings& settings);
/// The "Log.txt" line that says sendingOptions() passes over the stored SMSC; empty when the
/// SMSC is used as it stands.
QString ignoredSmscNote(const Settings& settings);

}  // namespace telvane::config
