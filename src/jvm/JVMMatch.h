#pragma once

#include "base/PtrDeque.h"
#include "base/SString.h"

class TagFile;

// A verified JVM: the home that passed verification and the tag file of the
// JVM description file that it satisfies.
class JVMMatch {
  public:
    // The tag file is shared with the JVMFile it came from and not owned; it
    // must outlive the match.
    JVMMatch(const SString& jvmHome, TagFile& tagFile);
    virtual ~JVMMatch();
    JVMMatch(const JVMMatch&) = delete;
    JVMMatch& operator=(const JVMMatch&) = delete;

    // Writes a match file: the whole description file with "JVM_HOME" set to
    // this home, "JVM_FILE" to the match file's own path and "JVM_TEMP" to
    // false. The tags are set in the shared tag file itself, so the
    // description file held in memory changes too. The file is a new
    // temporary file on the cleanup list, deleted at exit unless the caller
    // takes it off. Returns its path; throws LauncherException when the
    // temporary file cannot be created.
    SString writeNewJVMFile() const;

    const SString& getJVMHome() const { return m_jvmHome; }

    SString m_jvmHome;
    TagFile* m_tagFile;  // not owned
};

using JVMMatchPtrDeque = PtrDeque<JVMMatch>;
using JVMMatchPtrDE = PtrDE<JVMMatch>;
