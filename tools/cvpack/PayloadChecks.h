#pragma once

// The checks that cvpack makes of the tag files it packs, so that what the
// launcher would reject on the user's machine is found at packing time:
//   refused (LauncherException "FILE:LINE: message"):
//     instruction programs: unknown instructions, missing or extra
//       arguments, a literal EXIT status outside 0-255, jumps to labels that
//       do not exist;
//     launch scripts: a missing or blank COMMAND; unknown "%" functions,
//       wrong argument counts, malformed argument lists, in COMMAND and
//       ARCHIVE;
//     JVM description files: malformed version ranges in JVM_PROPERTIES;
//   warned about (one "cvpack: warning: FILE:LINE: message" line each on
//   standard error, packed all the same):
//     a quoted tag value with text after its closing quote (ignored by the
//       launcher: the COMMAND that starts with a quoted path);
//     a JVM description file without JVM_EXE or JVM_PROPERTIES;
//     a launch script that captures the program's output, which then only
//       reaches a log.

#include "base/SString.h"

// Checks the tag file at `path` as a file of `type` (FILE_INSTRUCTIONS,
// FILE_JVM or FILE_LAUNCH_SCRIPT; other types are not checked).
void checkPayloadFile(const SString& path, long type);

// The type that a tag file's tags show: INSTRUCTIONS, COMMAND, or else a JVM
// description file.
long payloadTypeOf(const SString& path);
