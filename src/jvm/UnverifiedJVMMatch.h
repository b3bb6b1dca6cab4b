#pragma once

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"

class JVMFile;

// One JVM description file and the candidate homes that the disk walk found
// for it, awaiting verification. The homes keep the order in which they were
// found; the walk drops repeated homes before it adds them (TriedHomes).
class UnverifiedJVMMatch {
  public:
    // An entry for the file with no homes yet; the file is not owned and must
    // outlive the entry.
    explicit UnverifiedJVMMatch(JVMFile& jvmFile);
    UnverifiedJVMMatch(const UnverifiedJVMMatch&) = delete;
    UnverifiedJVMMatch& operator=(const UnverifiedJVMMatch&) = delete;

    // Appends the home.
    void addJVMHome(const SString& home);
    // True when this entry refers to that very object (not to an equal file).
    bool equals(const JVMFile& jvmFile) const;

    JVMFile* m_jvmFile;  // not owned
    StringDeque m_sdqJVMHomes;
};

// The candidates of one disk walk, one entry per description file, in the
// order in which the files were first reported. Owns its entries.
class UnverifiedJVMMatchPtrDeque : public PtrDeque<UnverifiedJVMMatch> {
  public:
    // Adds the home to the first entry for that file; adds no entry when
    // there is none. Returns whether such an entry was found.
    bool addMatch(const JVMFile& jvmFile, const SString& home);
};

using UnverifiedJVMMatchPtrDE = PtrDE<UnverifiedJVMMatch>;
