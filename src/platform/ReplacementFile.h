#pragma once

#include <cstdio>

#include "base/SString.h"

// A new file that takes the place of `name` in `directory` only once it is
// complete: whatever lay under that name, a symbolic link included, is
// replaced and never followed, and the name never holds part of the bytes.
// The bytes go to a file beside the target under a temporary name (".cvj"
// and six random letters and digits), created anew and never through a link;
// commit renames it over the target. The directories that `name` leads
// through are opened without following links, while `directory` itself ("" for
// the current directory) is taken as it is; a ".." in `name` is the caller's
// to refuse. A file that is not committed leaves nothing behind: its
// temporary file is removed.
class ReplacementFile {
  public:
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file, with the permissions that the umask leaves
    // of `mode` (0666: those of any file the launcher writes). Returns 0, or
    // the errno of the failure:
    // ELOOP when a directory that `name` leads through is a symbolic link,
    // EISDIR when `name` ends with "/" or ".".
    int open(const SString& directory, const SString& name, int mode = 0666);
    // The temporary file, open for writing; null unless open succeeded.
    FILE* stream() const { return m_stream; }
    // After a successful open: closes the temporary file, made executable as
    // by setFileExecutable when `executable`, and renames it over the target.
    // Returns 0, or the errno of the failed close or rename, the temporary
    // file then removed.
    int commit(bool executable);

  private:
    void discard();

    int m_directory = -1;  // the directory of the target
    SString m_name;        // the target's name in it
    SString m_tempName;    // the temporary file's name in it, while there is one
    FILE* m_stream = nullptr;
};
