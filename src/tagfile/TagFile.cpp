#include "TagFile.h"

#include "LauncherException.h"

namespace {
[[noreturn]] void notYet() {
    throw LauncherException("TagFile is not available yet");
}
}  // namespace

TagFile::TagFile() : loaded(false), lineNumber(0) {}
TagFile::TagFile(const SString&) : loaded(false), lineNumber(0) {
    notYet();
}
TagFile::~TagFile() {}
void TagFile::load(FILE*, const SString&, long, long) {
    notYet();
}
bool TagFile::isLoaded() const {
    return loaded;
}
SString TagFile::getTagValue(const char*, unsigned int) const {
    notYet();
}
unsigned int TagFile::getTagValueCount(const char*) const {
    notYet();
}
StringDeque* TagFile::getValue(const char*) {
    notYet();
}
const StringDeque* TagFile::getValue(const char*) const {
    notYet();
}
void TagFile::setTagValue(const char*, const SString&) {
    notYet();
}
void TagFile::appendTagValue(const char*, const SString&) {
    notYet();
}
void TagFile::removeValue(const char*) {
    notYet();
}
bool TagFile::getBoolTagValue(const char*, bool) const {
    notYet();
}
void TagFile::setBoolTagValue(const char*, bool) {
    notYet();
}
void TagFile::setDynamicJVMTags(const SString&, const SString&, bool) {
    notYet();
}
void TagFile::write(const SString&) const {
    notYet();
}
void TagFile::logSyntaxError(const SString&, const SString&, long) {
    notYet();
}
void TagFile::readLine(FILE*, SString&) {
    notYet();
}
