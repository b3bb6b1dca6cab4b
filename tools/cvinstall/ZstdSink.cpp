#include "cvinstall/ZstdSink.h"

#include <zstd.h>

#include <cerrno>

#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "launcher/LauncherException.h"

namespace {

// Long-distance matching over a 128 MiB window finds what repeats across a
// runtime's libraries (2 to 4 MB less at every level); the window stays
// within what a decoder accepts by default.
const int kWindowLog = 27;
// Two compression threads; the compressed bytes do not depend on the number
// of threads, so the same runtime keeps its checksum on any machine.
const int kThreads = 2;

}  // namespace

ZstdSink::ZstdSink(FILE* file, int level)
    : m_file(file),
      m_context(ZSTD_createCCtx()),
      m_buffer(ZSTD_CStreamOutSize()),
      m_checksum(kHashStart) {
    if (m_context == nullptr) {
        throw LauncherException("cannot set up the zstd compressor");
    }
    ZSTD_CCtx_setParameter(m_context, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(m_context, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(m_context, ZSTD_c_enableLongDistanceMatching, 1);
    ZSTD_CCtx_setParameter(m_context, ZSTD_c_windowLog, kWindowLog);
    // A library built without threads compresses in the caller's thread.
    ZSTD_CCtx_setParameter(m_context, ZSTD_c_nbWorkers, kThreads);
}

ZstdSink::~ZstdSink() {
    ZSTD_freeCCtx(m_context);
}

bool ZstdSink::write(const void* bytes, size_t size) {
    return compress(bytes, size, ZSTD_e_continue);
}

bool ZstdSink::finish() {
    return compress(nullptr, 0, ZSTD_e_end);
}

bool ZstdSink::compress(const void* bytes, size_t size, int mode) {
    ZSTD_inBuffer input = {bytes, size, 0};
    size_t left = 0;
    do {
        ZSTD_outBuffer output = {m_buffer.data(), m_buffer.size(), 0};
        left =
            ZSTD_compressStream2(m_context, &output, &input, static_cast<ZSTD_EndDirective>(mode));
        if (ZSTD_isError(left)) {
            m_error = joinText("cannot compress the runtime image: ", ZSTD_getErrorName(left));
            return false;
        }
        if (!put(m_buffer.data(), output.pos)) {
            return false;
        }
    } while (input.pos < input.size || (mode == ZSTD_e_end && left != 0));
    return true;
}

bool ZstdSink::put(const char* bytes, size_t size) {
    if (fwrite(bytes, 1, size, m_file) != size) {
        m_error = systemErrorMessage("cannot write the runtime image: ", errno);
        return false;
    }
    m_checksum = hashBytes(m_checksum, bytes, size);
    m_size += size;
    return true;
}
