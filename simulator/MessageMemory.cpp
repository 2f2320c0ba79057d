#include "MessageMemory.h"

namespace telvane::simulator {

MessageMemory::MessageMemory(std::string name, size_t capacity)
    : m_name(std::move(name)), m_capacity(capacity) {}

std::optional<size_t> MessageMemory::store(StoredMessage message) {
    for (size_t index = 1; index <= m_capacity; ++index) {
        if (!m_slots.contains(index)) {
            m_slots.emplace(index, std::move(message));
            return index;
        }
    }
    return std::nullopt;
}

const StoredMessage* MessageMemory::at(size_t index) const {
    const auto it = m_slots.find(index);
    return it == m_slots.end() ? nullptr : &it->second;
}

StoredMessage* MessageMemory::at(size_t index) {
    const auto it = m_slots.find(index);
    return it == m_slots.end() ? nullptr : &it->second;
}

bool MessageMemory::remove(size_t index) { return m_slots.erase(index) > 0; }

std::vector<size_t> MessageMemory::indexes() const {
    std::vector<size_t> out;
    out.reserve(m_slots.size());
    for (const auto& [index, message] : m_slots) out.push_back(index);
    return out;
}

}  // namespace telvane::simulator
