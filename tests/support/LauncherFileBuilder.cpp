#include "support/LauncherFileBuilder.h"

#include <algorithm>
#include <stdexcept>

#include "cvpack/LauncherWriter.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "support/TestSupport.h"

namespace testsupport {

LauncherFileBuilder& LauncherFileBuilder::add(long type, const std::string& path) {
    PayloadFile file;
    file.type = type;
    file.path = resolve(path).c_str();
    files_.push_back(file);
    return *this;
}

LauncherFileBuilder& LauncherFileBuilder::add(const Files& files) {
    for (const auto& file : files) {
        add(file.first, file.second);
    }
    return *this;
}

LauncherFileBuilder& LauncherFileBuilder::id(long id) {
    files_.back().hasId = true;
    files_.back().id = id;
    return *this;
}

std::string LauncherFileBuilder::write(const std::string& output) const {
    std::vector<PayloadFile> files = files_;
    if (verifyArchive_ && std::none_of(files.begin(), files.end(), [](const PayloadFile& file) {
            return file.type == FILE_VERIFY_ARCHIVE;
        })) {
        PayloadFile archive;
        archive.type = FILE_VERIFY_ARCHIVE;
        archive.path = verifyArchivePath().c_str();
        files.push_back(archive);
    }
    std::string path = resolve(output);
    try {
        LauncherWriter::write(cvlaunchPath().c_str(), files, purpose_, path.c_str());
    } catch (const LauncherException& e) {
        throw std::runtime_error(e.message.c_str());
    }
    return path;
}

std::string LauncherFileBuilder::resolve(const std::string& path) const {
    return dir_.empty() || path[0] == '/' ? path : dir_ + "/" + path;
}

}  // namespace testsupport
