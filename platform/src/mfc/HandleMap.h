// Which MFC object stands for a handle. Permanent entries belong to objects that attached
// themselves; temporary ones are made by FromHandle for foreign handles and are deleted when
// the thread is idle, never earlier, so that a pointer FromHandle gave stays usable for the
// whole message. Unbinding clears the object's handle first, so that deleting a temporary
// never destroys what it wraps.
#pragma once

#include <mutex>
#include <unordered_map>
#include <vector>

namespace winplat::mfc {

template <class Handle, class Object> class HandleMap {
public:
    using Unbind = void (*)(Object*);

    explicit HandleMap(Unbind unbind) : m_unbind(unbind) {}

    Object* permanent(Handle h) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_permanent.find(h);
        return it != m_permanent.end() ? it->second : nullptr;
    }

    Object* temporary(Handle h) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_temporary.find(h);
        return it != m_temporary.end() ? it->second : nullptr;
    }

    bool attach(Handle h, Object* o) {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_permanent.emplace(h, o).second;
    }

    void detach(Handle h, Object* o) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_permanent.find(h);
        if (it != m_permanent.end() && it->second == o) m_permanent.erase(it);
    }

    Object* addTemporary(Handle h, Object* o) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_temporary.find(h);
        if (it != m_temporary.end()) {
            m_unbind(it->second);
            m_retired.push_back(it->second);
        }
        m_temporary[h] = o;
        return o;
    }

    // The handle is gone: its temporary is unbound now and deleted at the next idle.
    void retire(Handle h) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_temporary.find(h);
        if (it == m_temporary.end()) return;
        m_unbind(it->second);
        m_retired.push_back(it->second);
        m_temporary.erase(it);
    }

    void deleteTemporaries() {
        std::vector<Object*> doomed;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            for (auto& entry : m_temporary) {
                m_unbind(entry.second);
                doomed.push_back(entry.second);
            }
            m_temporary.clear();
            doomed.insert(doomed.end(), m_retired.begin(), m_retired.end());
            m_retired.clear();
        }
        for (Object* o : doomed)
            delete o;
    }

private:
    std::mutex m_lock;
    std::unordered_map<Handle, Object*> m_permanent;
    std::unordered_map<Handle, Object*> m_temporary;
    std::vector<Object*> m_retired;
    Unbind m_unbind;
};

} // namespace winplat::mfc
