// The description file itself: its tags, its "@" macros, the executable it
// names and the properties it expects.
#include "jvm/JVMFile.h"

#include <memory>

#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launchscript/CommandText.h"
#include "tagfile/TagFile.h"

const char* const kJvmPropertiesTagName = "JVM_PROPERTIES";
const char* const kPathHintTagName = "PATH_HINT";
const char* const kPlatformHintTagName = "PLATFORM_HINT";
const char* const kJvmExeTagName = "JVM_EXE";
const char* const kUsualLocationsTagName = "USUAL_LOCATIONS";

JVMFile::JVMFile(TagFile& tagFile) : m_tagFile(&tagFile) {}

JVMFile::~JVMFile() {}

TagFile& JVMFile::getTagFile() const {
    return *m_tagFile;
}

SString JVMFile::resolve(const SString& text) const {
    return MacroHandler::resolve(text, '@');
}

void JVMFile::processMacro(SString& text, char, unsigned int start, unsigned int& end) const {
    SString name = text.substr(start + 1, end - start - 1);
    SString value = tagValue(name.c_str());
    bool home = name.compare("JVM_HOME") == 0;
    // The home that a description file gives loses one trailing backslash.
    // A file that the launcher wrote (a match file, an installed JVM's file)
    // names itself in JVM_FILE: its home was found on disk and keeps every
    // character.
    if (home && tagValue("JVM_FILE").empty() && stringEndsWith(value, "\\") != SString::npos) {
        value.erase(value.length() - 1);
    }
    // The home and the file are data, whatever characters they hold.
    if (home || name.compare("JVM_FILE") == 0) {
        value = CommandText::value(value);
    }
    text.replace(start, end - start + 1, value);
}

SString JVMFile::tagValue(const char* name) const {
    return m_tagFile->getTagValue(name, 0);
}

bool JVMFile::hasRequiredProperties() const {
    if (!tagValue(kJvmPropertiesTagName).empty()) {
        return true;
    }
    Launcher::logMessage(joinText("Unable to verify ", m_tagFile->fileName, " because the ",
                                  kJvmPropertiesTagName, " tag was not specified."),
                         LOG_WARNING);
    return false;
}

SString JVMFile::executableName() const {
    return CommandText::plain(resolve(tagValue(kJvmExeTagName)));
}

SString JVMFile::executableIn(const SString& home) const {
    // A description file without JVM_HOME stands for the root.
    return pathInDirectory(home.empty() ? SString("/") : home, executableName());
}

void JVMFile::logInvalidProperty(const SString& property, PropertyEntryStatus status) const {
    bool range = status == PropertyEntryStatus::InvalidVersion;
    Launcher::logMessage(joinText("Invalid ", range ? "version range in " : "",
                                  kJvmPropertiesTagName, " setting (", property, ") in JVM File ",
                                  m_tagFile->fileName, range ? "; no JVM matches it." : ""),
                         LOG_WARNING);
}

bool JVMFile::readExpectedProperties(StringPairPtrDeque& expected, StringDeque& names) const {
    bool satisfiable = true;
    unsigned int count = m_tagFile->getTagValueCount(kJvmPropertiesTagName);
    for (unsigned int i = 0; i < count; ++i) {
        SString property = m_tagFile->getTagValue(kJvmPropertiesTagName, i);
        std::unique_ptr<StringPair> entry(new StringPair());
        PropertyEntryStatus status = StringPair::parse(property, *entry);
        if (status != PropertyEntryStatus::Valid) {
            logInvalidProperty(property, status);
            satisfiable = satisfiable && status == PropertyEntryStatus::NoOperator;
            continue;
        }
        names.push_back(entry->m_name);
        expected.push_back(entry.release());
    }
    return satisfiable;
}
