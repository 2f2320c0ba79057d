#pragma once
// The interface's connections to the store: one for each thread that answers, opened the first
// time that thread needs it, as the store's connections are made to be used.

#include <QThread>
#include <map>
#include <memory>
#include <mutex>

#include "store/UnavailableStore.h"

namespace telvane::http {

class PerThreadStore {
public:
    explicit PerThreadStore(store::StoreOpener open) : m_open(std::move(open)) {}

    /// This thread's connection; one that cannot be opened answers every call with why.
    store::Store& here() {
        const std::lock_guard lock(m_lock);
        std::unique_ptr<store::Store>& mine = m_stores[QThread::currentThreadId()];
        if (!mine) mine = store::openOrExplain(m_open);
        return *mine;
    }

private:
    store::StoreOpener m_open;
    std::mutex m_lock;
    std::map<Qt::HANDLE, std::unique_ptr<store::Store>> m_stores;
};

}  // namespace telvane::http
