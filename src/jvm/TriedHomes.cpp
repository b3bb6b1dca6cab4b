#include "jvm/TriedHomes.h"

void TriedHomes::clear() {
    m_tried.clear();
}

bool TriedHomes::firstTry(const JVMFile& jvmFile, const SString& home) {
    for (const auto& tried : m_tried) {
        if (tried.first == &jvmFile && tried.second.compare(home) == 0) {
            return false;
        }
    }
    m_tried.emplace_back(&jvmFile, home);
    return true;
}
