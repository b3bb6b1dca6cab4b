#include "cvpack/PayloadLister.h"

#include "base/TextUtils.h"
#include "cvinstall/RuntimeImage.h"
#include "cvpack/PackerOptions.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"

namespace {

// What a JVM installer that is a runtime installer carries; nothing for
// another installer.
void listRuntime(const SString& path, const FileIndexEntry& entry, FILE* out) {
    RuntimeImageInfo runtime;
    try {
        runtime = RuntimeImage::describe(path, static_cast<uint64_t>(entry.m_offset),
                                         static_cast<uint64_t>(entry.m_length));
    } catch (const LauncherException&) {
        return;
    }
    SString modules;
    for (const SString& module : runtime.modules) {
        modules += joinText(modules.empty() ? "" : ",", module);
    }
    fprintf(out, "    Java runtime %s, modules %s\n", runtime.javaVersion.c_str(), modules.c_str());
    fprintf(out, "    packed %lld bytes, unpacked %lld bytes in %ld files\n", runtime.packedBytes,
            runtime.bytes, runtime.files);
}

}  // namespace

void PayloadLister::list(const SString& path, FILE* out) {
    LauncherInputFiles payload;
    try {
        payload.load(path, false);
    } catch (const LauncherException& e) {
        throw e.withContext(joinText(path, ": "));
    }
    if (payload.m_fileIndex.count == 0) {
        throw LauncherException(joinText(path, ": carries no embedded file"));
    }
    fprintf(out, "purpose %d, %d files\n", Launcher::getLauncherPurpose(path.c_str()),
            payload.m_fileIndex.count);
    fprintf(out, "%-18s %6s %10s %10s  %s\n", "TYPE", "ID", "SIZE", "OFFSET", "NAME");
    for (long i = 0; i < payload.m_fileIndex.count; i++) {
        const FileIndexEntry* entry = payload.getFileAt(i);
        fprintf(out, "%-18s %6ld %10ld %10ld  %s", PackerOptions::typeName(entry->m_fileType),
                entry->m_fileId, entry->m_length, entry->m_offset, entry->m_fileName.c_str());
        if (entry->m_compressed) {
            fprintf(out, "  (expands to %ld files, %ld bytes)", entry->m_decompressedFileCount,
                    entry->m_decompressedSize);
        }
        fputc('\n', out);
        if (entry->m_fileType == FILE_JVM_INSTALLER) {
            listRuntime(path, *entry, out);
        }
    }
}
