#include "staged_outputs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_names.h"
#include "lib/host_error.h"

namespace ffglhost {

namespace {

[[noreturn]] void Fail(const std::string& output, int error) {
    throw HostError("cannot write " + output + ": " + std::strerror(error));
}

// "a/b/" -> "a/b"; ".", ".." and "/" become their full path, so they have a name.
std::string Normalised(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::string name = trimmed.substr(trimmed.find_last_of('/') + 1);
    if (name == "." || name == ".." || name.empty()) {
        if (char* full = realpath(trimmed.c_str(), nullptr)) {
            trimmed = full;
            std::free(full);
        }
    }
    return trimmed;
}

// Moves `staged` onto `target`; a file it replaces lends it its permissions.
void MoveInto(const std::string& staged, const std::string& target, const std::string& output) {
    struct stat old {};
    if (lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        chmod(staged.c_str(), old.st_mode & 07777);
    }
    if (std::rename(staged.c_str(), target.c_str()) != 0) {
        Fail(output, errno);
    }
}

std::vector<std::string> Entries(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    return names;
}

void CommitDirectory(const StagedOutput& output) {
    if (!IsDirectory(output.finalPath)) {
        if (std::rename(output.stagedPath.c_str(), output.finalPath.c_str()) != 0) {
            Fail(output.finalPath, errno);
        }
        return;
    }
    for (const std::string& name : Entries(output.stagedPath)) {
        MoveInto(output.stagedPath + "/" + name, output.finalPath + "/" + name,
                 output.finalPath + "/" + name);
    }
    rmdir(output.stagedPath.c_str());
}

}  // namespace

const StagedOutput& StagedOutputs::Add(const std::string& finalPath, bool directory) {
    StagedOutput output;
    output.finalPath = Normalised(finalPath);
    output.directory = directory;
    const size_t slash = output.finalPath.find_last_of('/');
    const std::string parent =
        slash == std::string::npos ? "" : output.finalPath.substr(0, slash + 1);
    const std::string name = output.finalPath.substr(slash == std::string::npos ? 0 : slash + 1);
    output.stagedPath = parent + ".ffgl-host-" + tag_ + "-" + name;
    outputs_.push_back(output);
    return outputs_.back();
}

void StagedOutputs::Prepare() {
    for (const StagedOutput& output : outputs_) {
        const std::string parent = ParentDirectory(output.stagedPath);
        if (!parent.empty()) {
            for (std::string& made : MakeDirectories(parent)) {
                createdDirectories_.push_back(std::move(made));
            }
        }
        struct stat existing {};
        if (output.directory && stat(output.finalPath.c_str(), &existing) == 0 &&
            !S_ISDIR(existing.st_mode)) {
            Fail(output.finalPath, ENOTDIR);
        }
        if (access(parent.empty() ? "." : parent.c_str(), W_OK) != 0) {
            Fail(output.finalPath, errno);
        }
        if (output.directory && mkdir(output.stagedPath.c_str(), 0777) != 0) {
            Fail(output.finalPath, errno);
        }
    }
}

void StagedOutputs::Commit() {
    for (const StagedOutput& output : outputs_) {
        if (output.directory) {
            CommitDirectory(output);
        } else {
            MoveInto(output.stagedPath, output.finalPath, output.finalPath);
        }
    }
    createdDirectories_.clear();
}

void StagedOutputs::Discard() noexcept {
    for (const StagedOutput& output : outputs_) {
        if (output.directory) {
            for (const std::string& name : Entries(output.stagedPath)) {
                unlink((output.stagedPath + "/" + name).c_str());
            }
            rmdir(output.stagedPath.c_str());
        } else {
            unlink(output.stagedPath.c_str());
        }
    }
    RemoveDirectories(createdDirectories_);
    createdDirectories_.clear();
}

}  // namespace ffglhost
