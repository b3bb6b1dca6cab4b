#include "Instructions.h"

#include "LauncherException.h"

const char* const Instructions::g_instructionsTag = "INSTRUCTIONS";

Instructions::Instructions(TagFile& tagFile) : tagFile(tagFile), currentIndex(0), result(0) {}

int Instructions::execute() {
    throw LauncherException("Instructions is not available yet");
}
long Instructions::gotoLabel(const SString&) {
    throw LauncherException("Instructions is not available yet");
}
void Instructions::throwException(const SString&) {
    throw LauncherException("Instructions is not available yet");
}
void Instructions::evalExpr(SString&, const SString&) {
    throw LauncherException("Instructions is not available yet");
}
long Instructions::evalLongExpr(const SString&, const SString&) {
    throw LauncherException("Instructions is not available yet");
}
short Instructions::evalShortExpr(const SString&, const SString&) {
    throw LauncherException("Instructions is not available yet");
}
bool Instructions::evalBoolExpr(const SString&, const SString&) {
    throw LauncherException("Instructions is not available yet");
}
void Instructions::evalStringExpr(SString&, const SString&) {
    throw LauncherException("Instructions is not available yet");
}
void Instructions::evalStringExpr(const SString&, unsigned int&, SString&, const SString&) {
    throw LauncherException("Instructions is not available yet");
}
