// libFuzzer target: any bytes as Telvane.ini give a value or none, never a crash; a value
// written into them is what the next read finds.
#include <cstdlib>

#include "config/IniText.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    using namespace telvane::config::ini;
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    (void)findValue(content, QStringLiteral("Options"), QStringLiteral("ComPort"));
    const std::string written =
        withValue(content, QStringLiteral("SMS"), QStringLiteral("Number"), "42");
    if (findValue(written, QStringLiteral("sms"), QStringLiteral("number")) != "42") std::abort();
    return 0;
}
