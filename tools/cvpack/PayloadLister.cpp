#include "PayloadLister.h"

#include "FileIndexEntry.h"
#include "Launcher.h"
#include "LauncherException.h"
#include "LauncherInputFiles.h"
#include "PackerOptions.h"

void PayloadLister::list(const SString& path, FILE* out) {
    LauncherInputFiles payload;
    try {
        payload.load(path, false);
    } catch (const LauncherException& e) {
        SString message(path);
        message += ": ";
        message += e.message;
        throw LauncherException(message);
    }
    if (payload.m_fileIndex.count == 0) {
        SString message(path);
        message += ": carries no embedded file";
        throw LauncherException(message);
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
