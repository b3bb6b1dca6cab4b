#pragma once

// The loaded payload of a launcher file: its file index, the objects built
// from its embedded tag files (the instruction program, the launch script and
// the JVM description files), and the files that an input tag file names in
// their place. The layout of the launcher file is described in
// PayloadFormat.h. The one object of the process is Launcher::m_inputFiles.

#include <cstdio>
#include <vector>

#include "base/SString.h"
#include "jvm/JVMFiles.h"
#include "payload/FileIndexEntry.h"
#include "tagfile/TagFile.h"

class Instructions;
class LaunchScript;

class LauncherInputFiles {
  public:
    LauncherInputFiles();
    // Deletes the instruction program and the launch script, then the JVM
    // description files, the tag files read from disk and the index entries.
    ~LauncherInputFiles();
    LauncherInputFiles(const LauncherInputFiles&) = delete;
    LauncherInputFiles& operator=(const LauncherInputFiles&) = delete;

    // Reads the payload of the running launcher (Launcher::getLauncherFileName).
    void load(bool withTagFiles);
    // Reads the payload of the launcher file at path: the file index, logged
    // entry by entry, and with withTagFiles the embedded tag files and the
    // objects built from them. A file that does not end with kLauncherId has
    // no payload: nothing is loaded and nothing is reported. Does nothing once
    // a load has succeeded. Throws LauncherException "Cannot open launcher
    // file.", "Invalid launcher format." (shorter than 8 bytes), "Unable to
    // read file index offset.", "Unable to read launcher identification
    // value.", and the errors of loadFileIndex and loadTagFiles; the entries
    // read before a failure stay in the index until the next load.
    void load(const SString& launcherFile, bool withTagFiles);

    // Reads the file index at offset into m_fileIndex. Throws "Invalid file
    // index offset." when the seek fails, "Unable to read the file count.",
    // "Invalid file count in file index: ..." for more entries than the rest
    // of the file can hold, and the errors of FileIndexEntry::load.
    void loadFileIndex(FILE* stream, long offset);

    // Parses every embedded tag file, in index order, and builds from them
    // the first instruction program, the first launch script (whose
    // description becomes the display title) and, unless JVM description
    // files were supplied before, every JVM description file. A failing
    // construction is reported with the catalogue's "Error loading ..." text
    // in front of its message.
    void loadTagFiles(FILE* stream);

    // Takes the files named by an input tag file: "INSTRUCTIONS",
    // "LAUNCHSCRIPT", "VERIFY_CLASSPATH" with "VERIFY_CLASS_NAME", "UI_TITLE"
    // and every value of "JVM". Called before load(true), so that these take
    // precedence over the embedded ones; a "JVM" tag, even with an empty
    // value, keeps every embedded JVM description file out.
    void load(const TagFile& inputFile);

    // Reads the tag file at path and keeps it in m_tagFiles. Throws
    // "Unable to load input file: " + path and the syntax errors of TagFile.
    TagFile& loadTagFile(const SString& path);

    // The entry at position in the index, or null when there is none.
    const FileIndexEntry* getFileAt(long position) const;
    // The first entry in index order with this file id, or null.
    const FileIndexEntry* getFile(long fileId) const;
    // The entries of this file type, in index order.
    std::vector<const FileIndexEntry*> getFilesOfType(FileType type) const;

    // Extracts every entry into the current directory and writes "input.tag",
    // which runs the extracted files again when given to "-cv:in", as a new
    // file that replaces whatever lay under that name (ReplacementFile). The
    // first failing extraction ends it, before "input.tag" is written; a
    // failure to write that throws "Unable to write tag file input.tag: " and
    // the system's reason.
    void extractAll() const;

    FileIndexEntryPtrDeque m_fileIndex;  // in file order; owned
    TagFilePtrDeque m_tagFiles;          // tag files read from disk; owned
    Instructions* m_instructions;        // owned; null without a program
    LaunchScript* m_launchScript;        // owned; null without a launch script
    JVMFiles m_jvmFiles;
    // JVM description files have been supplied; embedded ones are no longer added.
    bool m_jvmFilesLoaded;
    // A payload has been read (tag files included when asked for).
    bool m_loaded;

  private:
    void logFileIndex() const;
    void buildFromTagFile(const FileIndexEntry& entry);
};
