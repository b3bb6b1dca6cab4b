#pragma once

// Compresses a stream of bytes with zstd into an open file and hashes what it
// writes (hashBytes), so that a runtime image is written and checksummed in
// one pass. Frames carry their content checksum, which the reader checks.
//
// The archive library calls write() from C code, through which no exception
// may pass: failures are returned as false, and error() tells what failed.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/SString.h"

struct ZSTD_CCtx_s;

class ZstdSink {
  public:
    // Writes to `file` from its current position on, at the zstd `level`.
    // Throws LauncherException when the compressor cannot be set up.
    ZstdSink(FILE* file, int level);
    ~ZstdSink();
    ZstdSink(const ZstdSink&) = delete;
    ZstdSink& operator=(const ZstdSink&) = delete;

    bool write(const void* bytes, size_t size);
    // Ends the frame: nothing may be written after.
    bool finish();

    const SString& error() const { return m_error; }
    uint64_t checksum() const { return m_checksum; }
    // The compressed bytes written.
    uint64_t size() const { return m_size; }

  private:
    // Feeds `bytes` with `mode` (ZSTD_e_continue or ZSTD_e_end) until the
    // compressor took all of it and, at the end, flushed everything.
    bool compress(const void* bytes, size_t size, int mode);
    bool put(const char* bytes, size_t size);

    FILE* m_file;
    ZSTD_CCtx_s* m_context;
    std::vector<char> m_buffer;
    SString m_error;
    uint64_t m_checksum;
    uint64_t m_size = 0;
};
