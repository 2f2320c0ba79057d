#pragma once
// What the settings file says to the codec, read the same way by the gateway and the PDU tool:
// the delivery-report texts and the options of an outgoing message.

#include "codec/MessageRecord.h"
#include "codec/Submit.h"
#include "config/Settings.h"

namespace telvane::config {

/// [SMSreports] Delivered, Sepended and Deleted, read at each use.
codec::ReportTexts reportTexts(const Settings& settings);

/// [SMS] SMSC, Report, ToLatin and LongID as sending reads them.
codec::SubmitOptions sendingOptions(const Settings& settings);

}  // namespace telvane::config
