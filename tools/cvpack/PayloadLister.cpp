#include "cvpack/PayloadLister.h"

#include "base/TextUtils.h"
#include "cvpack/PackerOptions.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"

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
    }
}
