#include "JVMFile.h"

#include "LauncherException.h"

namespace {

[[noreturn]] void notYet() {
    throw LauncherException("JVMFile is not available yet");
}

}  // namespace

const char* jvmPropertiesTagName = "JVM_PROPERTIES";
const char* pathHintTagName = "PATH_HINT";
const char* platformHintTagName = "PLATFORM_HINT";
const char* jvmExeTagName = "JVM_EXE";

JVMFile::JVMFile(TagFile& tagFile) : m_tagFile(&tagFile) {}
JVMFile::~JVMFile() {}
TagFile& JVMFile::getTagFile() const {
    return *m_tagFile;
}
SString JVMFile::resolve(const SString& text) const {
    return MacroHandler::resolve(text, '@');
}
void JVMFile::processMacro(SString&, char, unsigned int, unsigned int&) const {
    notYet();
}
JVMMatch* JVMFile::verify(const SString&, const SString&) const {
    notYet();
}
JVMMatch* JVMFile::verify(const SString&, const SString&, const SString&) const {
    notYet();
}
JVMMatch* JVMFile::verifyWithPathHints(const SString&, const SString&) const {
    notYet();
}
JVMMatch* JVMFile::verifyWithPlatformHints(const SString&, const SString&) const {
    notYet();
}
JVMMatch* JVMFile::verifyWithPlatformJVMPaths(const SString&, const SString&) const {
    notYet();
}
bool JVMFile::performVerify(const SString&, const SString&, const SString&) const {
    notYet();
}
bool JVMFile::verifyJVMOutput(const SString&, const StringPairPtrDeque&) {
    notYet();
}
SString JVMFile::homeFromExecutable(const SString&, const SString&) {
    notYet();
}
bool JVMFile::hasRequiredProperties() const {
    notYet();
}
SString JVMFile::tagValue(const char*) const {
    notYet();
}
SString JVMFile::buildVerifyCommand(const SString&, const SString&, const SString&,
                                    StringPairPtrDeque&) const {
    notYet();
}
SString JVMFile::homeFromPathDirectory(const SString&) const {
    notYet();
}
