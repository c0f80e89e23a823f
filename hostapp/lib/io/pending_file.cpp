#include "pending_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_names.h"
#include "lib/host_error.h"

namespace ffglhost {

PendingFile::PendingFile(std::string finalPath)
    : finalPath_(std::move(finalPath)), temporaryPath_(TemporarySibling(finalPath_)) {
    const std::string parent = ParentDirectory(finalPath_);
    if (!parent.empty()) {
        createdDirectories_ = MakeDirectories(parent);
    }
}

PendingFile::~PendingFile() {
    if (!committed_) {
        std::remove(temporaryPath_.c_str());
        RemoveDirectories(createdDirectories_);
    }
}

void PendingFile::Commit() {
    if (std::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
        throw HostError("cannot write " + finalPath_ + ": " + std::strerror(errno));
    }
    committed_ = true;
}

}  // namespace ffglhost
