#include "jvm/UnverifiedJVMMatch.h"

UnverifiedJVMMatch::UnverifiedJVMMatch(JVMFile& jvmFile) : m_jvmFile(&jvmFile) {}

void UnverifiedJVMMatch::addJVMHome(const SString& home) {
    m_sdqJVMHomes.push_back(home);
}

bool UnverifiedJVMMatch::equals(const JVMFile& jvmFile) const {
    return m_jvmFile == &jvmFile;
}

bool UnverifiedJVMMatchPtrDeque::addMatch(const JVMFile& jvmFile, const SString& home) {
    for (long i = 0; i < count; i++) {
        if (at(i)->equals(jvmFile)) {
            at(i)->addJVMHome(home);
            return true;
        }
    }
    return false;
}
