#include "jvm/JVMMatch.h"

#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

JVMMatch::JVMMatch(const SString& jvmHome, TagFile& tagFile)
    : m_jvmHome(jvmHome), m_tagFile(&tagFile) {}

JVMMatch::~JVMMatch() {}

SString JVMMatch::writeNewJVMFile() const {
    SString path = PlatformImpl::createTempFile();
    m_tagFile->setDynamicJVMTags(m_jvmHome, path, false);
    m_tagFile->write(path);
    return path;
}
