// Every reader of a phone's answers on arbitrary bytes: a result or nothing, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "replies/Replies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace telvane::replies;
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    (void)describe(finalResultOf(reply));
    (void)simReportOf(reply);
    (void)registrationOf(reply);
    (void)signalOf(reply);
    (void)memoriesOf(reply);
    (void)smsServiceOf(reply);
    (void)messageReferenceOf(reply);
    DeliveryScanner scanner;
    scanner.feed(reply);
    (void)scanner.take();
    return 0;
}
