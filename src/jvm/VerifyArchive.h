#pragma once

// The verification archive installed with the programs, for a launcher file
// whose payload carries none (cvlaunch itself used as a JVM finder) and for
// the packer, which embeds it by default. CMake writes verify.jar beside
// cvlaunch and cvpack in the build tree, and installs it to
// share/cvlaunch/verify.jar with the programs in bin/.

#include "base/SString.h"
#include "base/StringDeque.h"

// The places where a program in `directory` looks for that archive, in this
// order: <directory>/verify.jar, then <directory>/../share/cvlaunch/verify.jar.
// None for an empty directory: a program that does not know where it lies
// must not take an archive from the working directory.
void installedVerifyArchivePlaces(const SString& directory, StringDeque& places);
// The first of those places that exists, used in place; "" when none does.
SString findInstalledVerifyArchive(const SString& directory);
