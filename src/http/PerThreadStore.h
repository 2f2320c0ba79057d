#pragma once
// The interface's connections to the store: one for each thread that answers, opened the first
// time that thread needs it, as the store's connections are made to be used.

#include <QThread>
#include <map>
#include <memory>
#include <mutex>

#include "store/ReopeningStore.h"

namespace telvane::http {

class PerThreadStore {
public:
    explicit PerThreadStore(store::StoreOpener open) : m_open(std::move(open)) {}

    /// This thread's connection; until it can be opened, every call answers why not.
    store::Store& here() {
        const std::lock_guard lock(m_lock);
        std::unique_ptr<store::Store>& mine = m_stores[QThread::currentThreadId()];
        if (!mine) mine = std::make_unique<store::ReopeningStore>(m_open);
        return *mine;
    }

private:
    store::StoreOpener m_open;
    std::mutex m_lock;
    std::map<Qt::HANDLE, std::unique_ptr<store::Store>> m_stores;
};

}  // namespace telvane::http
