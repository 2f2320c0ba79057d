#pragma once
// Stand-ins for the inbox retrieval and the outbox scan while those are not part of the build:
// a poll then only tests the phone.

#include "gateway/PollServices.h"

namespace telvane::gateway {

class NoInbox final : public InboxRetriever {
public:
    void RetrieveInbox(PollContext&) override {}
};

class NoOutbox final : public OutboxScanner {
public:
    void ScanOutbox(PollContext&) override {}
};

}  // namespace telvane::gateway
