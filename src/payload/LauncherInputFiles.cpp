#include "payload/LauncherInputFiles.h"

#include <memory>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "instructions/Instructions.h"
#include "jvm/JVMFile.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/LaunchScript.h"
#include "payload/PayloadFormat.h"
#include "platform/PlatformImpl.h"
#include "platform/ReplacementFile.h"

namespace {

// The size of the file behind stream; the position is kept.
long fileSize(FILE* stream) {
    long position = ftell(stream);
    if (position < 0 || fseek(stream, 0, SEEK_END) != 0) {
        return 0;
    }
    long end = ftell(stream);
    fseek(stream, position, SEEK_SET);
    return end;
}

// Writes the input file under `name` in the current directory as a new file
// that replaces whatever lay under that name, a link included, once it is
// complete; any failure, to create it included, is thrown.
void writeInputFile(const TagFile& inputFile, const char* name) {
    ReplacementFile file;
    int error = file.open(SString(), name);
    if (error == 0) {
        error = inputFile.write(file.stream());
    }
    if (error == 0) {
        error = file.commit(false);
    }
    if (error != 0) {
        TagFile::throwWriteError(name, error);
    }
}

}  // namespace

LauncherInputFiles::LauncherInputFiles()
    : m_instructions(nullptr), m_launchScript(nullptr), m_jvmFilesLoaded(false), m_loaded(false) {}

LauncherInputFiles::~LauncherInputFiles() {
    delete m_instructions;
    delete m_launchScript;
}

void LauncherInputFiles::load(bool withTagFiles) {
    load(Launcher::getLauncherFileName(), withTagFiles);
}

void LauncherInputFiles::load(const SString& launcherFile, bool withTagFiles) {
    if (m_loaded) {
        return;
    }
    m_fileIndex.clear();
    ScopedFile stream(fopen(launcherFile.c_str(), "rb"));
    if (stream == nullptr) {
        throw LauncherException("Cannot open launcher file.");
    }
    long indexOffset = 0;
    if (PayloadFormat::readTrailer(stream.get(), indexOffset)) {
        loadFileIndex(stream.get(), indexOffset);
        logFileIndex();
        if (withTagFiles) {
            loadTagFiles(stream.get());
        }
    }
    m_loaded = true;
}

void LauncherInputFiles::loadFileIndex(FILE* stream, long offset) {
    if (fseek(stream, offset, SEEK_SET) != 0) {
        throw LauncherException("Invalid file index offset.");
    }
    long count = loadLongValue(stream, "Unable to read the file count.");
    long size = fileSize(stream);
    if (count > (size - ftell(stream)) / kMinEntrySize) {
        throw LauncherException(joinText(
            "Invalid file count in file index: ", convertToString(count),
            " entries do not fit in the launcher file (", convertToString(size), " bytes)."));
    }
    // Growing slot by slot would copy the whole index again every 30 entries.
    if (count > 0) {
        m_fileIndex.resize(m_fileIndex.count + count);
    }
    for (long i = 0; i < count; i++) {
        std::unique_ptr<FileIndexEntry> entry(new FileIndexEntry());
        entry->load(stream, size);
        m_fileIndex.push_back(entry.release());
    }
}

void LauncherInputFiles::logFileIndex() const {
    for (long i = 0; i < m_fileIndex.count; i++) {
        const FileIndexEntry* entry = m_fileIndex.at(i);
        Launcher::logInfo("file type: ", convertToString(entry->m_fileType),
                          "\n  file id: ", convertToString(entry->m_fileId),
                          "\n  length: ", convertToString(entry->m_length),
                          "\n  offset: ", convertToString(entry->m_offset),
                          "\n  file name: ", entry->m_fileName);
    }
}

void LauncherInputFiles::loadTagFiles(FILE* stream) {
    for (long i = 0; i < m_fileIndex.count; i++) {
        FileIndexEntry* entry = m_fileIndex.at(i);
        entry->loadTagFile(stream);
        buildFromTagFile(*entry);
    }
    m_jvmFilesLoaded = true;
}

void LauncherInputFiles::buildFromTagFile(const FileIndexEntry& entry) {
    switch (entry.m_fileType) {
        case FILE_INSTRUCTIONS:
            if (m_instructions == nullptr) {
                try {
                    m_instructions = new Instructions(*entry.m_tagFile);
                } catch (const LauncherException& e) {
                    throw e.withContext(PlatformImpl::getMessageText(MSG_INSTRUCTIONS_LOAD_FAILED));
                }
            }
            break;
        case FILE_JVM:
            if (!m_jvmFilesLoaded) {
                try {
                    m_jvmFiles.addJVMFile(new JVMFile(*entry.m_tagFile));
                } catch (const LauncherException& e) {
                    throw e.withContext(PlatformImpl::getMessageText(MSG_JVM_FILE_LOAD_FAILED));
                }
            }
            break;
        case FILE_LAUNCH_SCRIPT:
            if (m_launchScript == nullptr) {
                try {
                    m_launchScript = new LaunchScript(*entry.m_tagFile, true);
                } catch (const LauncherException& e) {
                    throw e.withContext(
                        PlatformImpl::getMessageText(MSG_LAUNCH_SCRIPT_LOAD_FAILED));
                }
                PlatformImpl::setUITitle(m_launchScript->m_description);
            }
            break;
        default:
            break;
    }
}

void LauncherInputFiles::load(const TagFile& inputFile) {
    SString instructions = inputFile.getTagValue("INSTRUCTIONS");
    if (!instructions.empty()) {
        try {
            Instructions* program = new Instructions(loadTagFile(instructions));
            delete m_instructions;
            m_instructions = program;
        } catch (const LauncherException& e) {
            throw e.withContext(PlatformImpl::getMessageText(MSG_INSTRUCTIONS_LOAD_FAILED));
        }
    }
    SString launchScript = inputFile.getTagValue("LAUNCHSCRIPT");
    if (!launchScript.empty()) {
        try {
            LaunchScript* script = new LaunchScript(loadTagFile(launchScript), true);
            delete m_launchScript;
            m_launchScript = script;
        } catch (const LauncherException& e) {
            throw e.withContext(PlatformImpl::getMessageText(MSG_LAUNCH_SCRIPT_LOAD_FAILED));
        }
        PlatformImpl::setUITitle(m_launchScript->m_description);
    }
    SString verifyClassPath = inputFile.getTagValue("VERIFY_CLASSPATH");
    SString verifyClassName = inputFile.getTagValue("VERIFY_CLASS_NAME");
    if (!verifyClassPath.empty() && !verifyClassName.empty()) {
        // Both are data; quotes that a caller wrote around them for a shell
        // are no part of them.
        stripQdDuotes(verifyClassPath);
        stripQdDuotes(verifyClassName);
        m_jvmFiles.setVerifyClass(VerifyClass(verifyClassPath, verifyClassName));
    }
    SString title = inputFile.getTagValue("UI_TITLE");
    if (!title.empty()) {
        PlatformImpl::setUITitle(title);
    }
    unsigned int jvmCount = inputFile.getTagValueCount("JVM");
    for (unsigned int i = 0; i < jvmCount; i++) {
        m_jvmFilesLoaded = true;
        SString path = inputFile.getTagValue("JVM", i);
        if (path.empty()) {
            continue;
        }
        try {
            m_jvmFiles.addJVMFile(new JVMFile(loadTagFile(path)));
        } catch (const LauncherException& e) {
            throw e.withContext(PlatformImpl::getMessageText(MSG_JVM_FILE_LOAD_FAILED));
        }
    }
}

TagFile& LauncherInputFiles::loadTagFile(const SString& path) {
    TagFile* tagFile = new TagFile(path);
    m_tagFiles.push_back(tagFile);
    return *tagFile;
}

const FileIndexEntry* LauncherInputFiles::getFileAt(long position) const {
    return m_fileIndex.at(position);
}

const FileIndexEntry* LauncherInputFiles::getFile(long fileId) const {
    for (long i = 0; i < m_fileIndex.count; i++) {
        const FileIndexEntry* entry = m_fileIndex.at(i);
        if (entry->m_fileId == fileId) {
            return entry;
        }
    }
    return nullptr;
}

std::vector<const FileIndexEntry*> LauncherInputFiles::getFilesOfType(FileType type) const {
    std::vector<const FileIndexEntry*> entries;
    for (long i = 0; i < m_fileIndex.count; i++) {
        if (m_fileIndex.at(i)->m_fileType == type) {
            entries.push_back(m_fileIndex.at(i));
        }
    }
    return entries;
}

void LauncherInputFiles::extractAll() const {
    TagFile inputFile;
    inputFile.setTagValue("ACTION", "RUN_INSTRUCTIONS");
    for (long i = 0; i < m_fileIndex.count; i++) {
        const FileIndexEntry* entry = m_fileIndex.at(i);
        switch (entry->m_fileType) {
            case FILE_JVM:
                inputFile.appendTagValue("JVM", entry->m_fileName);
                break;
            case FILE_LAUNCH_SCRIPT:
                inputFile.setTagValue("LAUNCHSCRIPT", entry->m_fileName);
                break;
            case FILE_INSTRUCTIONS:
                inputFile.setTagValue("INSTRUCTIONS", entry->m_fileName);
                break;
            default:
                break;
        }
        entry->extract(SString());
    }
    writeInputFile(inputFile, "input.tag");
}
