#pragma once
// One message memory of the modem ("ME" or "SM"): numbered slots from 1 to its capacity, each
// holding a PDU (SMSC part included) and its <stat> as TS 27.005 3.1 defines it.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace telvane::simulator {

/// <stat> in PDU mode: 0 received unread, 1 received read, 2 stored unsent, 3 stored sent.
enum class MessageStat { ReceivedUnread = 0, ReceivedRead = 1, StoredUnsent = 2, StoredSent = 3 };

struct StoredMessage {
    MessageStat stat = MessageStat::ReceivedUnread;
    std::string pduHex;
    size_t tpduLength = 0;
};

class MessageMemory {
public:
    MessageMemory(std::string name, size_t capacity);

    const std::string& name() const { return m_name; }
    size_t capacity() const { return m_capacity; }
    size_t used() const { return m_slots.size(); }

    /// The lowest free index, or nullopt when the memory is full.
    std::optional<size_t> store(StoredMessage message);
    const StoredMessage* at(size_t index) const;
    StoredMessage* at(size_t index);
    bool remove(size_t index);
    void clear() { m_slots.clear(); }
    /// Indexes in ascending order.
    std::vector<size_t> indexes() const;

private:
    std::string m_name;
    size_t m_capacity;
    std::map<size_t, StoredMessage> m_slots;
};

}  // namespace telvane::simulator
