#include "LaunchScript.h"

#include "LauncherException.h"

namespace {

[[noreturn]] void notYet() {
    throw LauncherException("LaunchScript is not available yet");
}

}  // namespace

struct LaunchScript::FunctionEntry {};
const LaunchScript::FunctionEntry LaunchScript::functions[1] = {};

LaunchScript::LaunchScript(const TagFile&, bool captureOutput)
    : m_captureOutput(captureOutput),
      m_displayConsole(false),
      m_autoSetWorkingDir(true),
      m_jvmFile(nullptr),
      m_extractArchives(true) {}

LaunchScript::LaunchScript(const SString& command, bool captureOutput, bool extractArchives)
    : m_command(command),
      m_captureOutput(captureOutput),
      m_displayConsole(false),
      m_autoSetWorkingDir(true),
      m_jvmFile(nullptr),
      m_extractArchives(extractArchives) {}

LaunchScript::~LaunchScript() {}

int LaunchScript::execute(const JVMFile&, const StringDeque*, bool) {
    notYet();
}
SString LaunchScript::resolve(const JVMFile&) {
    notYet();
}
void LaunchScript::processMacro(SString&, char, unsigned int, unsigned int&) const {
    notYet();
}
void LaunchScript::getArguments(const SString&, unsigned int&, StringDeque&) const {
    notYet();
}
SString LaunchScript::makeSystemProp(const JVMFile*, const SString&, const SString&) const {
    notYet();
}
SString LaunchScript::buildRuntimeClasspath(const JVMFile*, const char*) const {
    notYet();
}
SString LaunchScript::buildJVMClasspath() const {
    notYet();
}
SString LaunchScript::buildJARClasspath() const {
    notYet();
}
void LaunchScript::addToClasspath(const JVMFile*, SString&, const SString&) const {
    notYet();
}
SString LaunchScript::buildRuntimeSystemProps(const JVMFile*) const {
    notYet();
}
SString LaunchScript::buildRuntimeJavaArgs(const JVMFile*) const {
    notYet();
}
void LaunchScript::throwException(const SString&, const char*) const {
    notYet();
}
SString LaunchScript::callFunction(const SString&, const SString&, const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionReplace(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionRuntimeSystemProp(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionRuntimeJavaArgs(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionSystemProp(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionCP(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionIfExists(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionLauncherFile(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionLauncherDir(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionApplicationArchive(const StringDeque&) const {
    notYet();
}
SString LaunchScript::functionTempDir(const StringDeque&) const {
    notYet();
}
void LaunchScript::exportClasspath(const SString&) const {
    notYet();
}
void LaunchScript::readSideFile(const char*, StringDeque&) const {
    notYet();
}
SString LaunchScript::workingDirectory() const {
    notYet();
}
void LaunchScript::applyWizardEnvironment(const JVMFile&) const {
    notYet();
}

void stripQdDuotes(SString&) {
    notYet();
}
