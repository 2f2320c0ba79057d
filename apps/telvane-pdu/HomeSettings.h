#pragma once
// What a home folder's Telvane.ini changes in the tool's output: the delivery-report texts and
// the sending options, read as the gateway reads them.

#include <string>

#include "codec/MessageRecord.h"
#include "codec/Submit.h"

namespace telvane::pdutool {

codec::ReportTexts reportTextsOf(const std::string& homeFolder);
codec::SubmitOptions sendingOptionsOf(const std::string& homeFolder);

}  // namespace telvane::pdutool
