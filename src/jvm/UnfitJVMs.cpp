#include "jvm/UnfitJVMs.h"

#include "platform/PlatformImpl.h"

std::vector<UnfitJVMs::Entry> UnfitJVMs::m_entries;

void UnfitJVMs::add(const SString& home, const SString& value) {
    SString real = PlatformImpl::resolvePath(home);
    if (real.empty()) {
        real = home;
    }
    for (const Entry& entry : m_entries) {
        if (entry.home.compare(real) == 0) {
            return;
        }
    }
    m_entries.push_back(Entry{real, value});
}

const std::vector<UnfitJVMs::Entry>& UnfitJVMs::entries() {
    return m_entries;
}

void UnfitJVMs::clear() {
    m_entries.clear();
}
