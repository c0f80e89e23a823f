#include "staged_outputs.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "file_names.h"
#include "lib/host_error.h"

namespace ffglhost {

namespace {

// Where a commit keeps what it replaces until it is complete: beside a file output's
// staged name, and in a folder inside a directory output's staging directory.
constexpr char kReplaced[] = ".replaced";

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

// The process id in a staged name ".ffgl-host-PID-NAME"; 0 for any other name.
pid_t StagingPid(const std::string& name) {
    const std::string prefix = ".ffgl-host-";
    const size_t dash = name.find('-', prefix.size());
    const size_t digits = dash == std::string::npos ? 0 : dash - prefix.size();
    if (name.compare(0, prefix.size(), prefix) != 0 || digits == 0 || digits > 9 ||
        name.find_first_not_of("0123456789", prefix.size()) != dash) {
        return 0;
    }
    return static_cast<pid_t>(std::strtol(name.c_str() + prefix.size(), nullptr, 10));
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
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

void StagedOutputs::MoveIntoPlace(const std::string& staged, const std::string& target,
                                  const std::string& replaced, std::vector<Move>& moves) {
    struct stat old {};
    const bool exists = lstat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        Fail(target, EISDIR);  // never replaced: it may hold anything
    }
    if (exists && S_ISREG(old.st_mode)) {
        chmod(staged.c_str(), old.st_mode & 07777);
    }
    if (exists && std::rename(target.c_str(), replaced.c_str()) != 0) {
        Fail(target, errno);
    }
    if (std::rename(staged.c_str(), target.c_str()) != 0) {
        const int error = errno;
        if (exists) {
            std::rename(replaced.c_str(), target.c_str());
        }
        Fail(target, error);
    }
    moves.push_back({staged, target, exists ? replaced : ""});
}

std::vector<std::string> StagedOutputs::Undo(const std::vector<Move>& moves) noexcept {
    std::vector<std::string> stuck;
    for (auto move = moves.rbegin(); move != moves.rend(); ++move) {
        const bool back = std::rename(move->target.c_str(), move->staged.c_str()) == 0;
        if (!back || (!move->replaced.empty() &&
                      std::rename(move->replaced.c_str(), move->target.c_str()) != 0)) {
            stuck.push_back(move->target);
        }
    }
    return stuck;
}

void StagedOutputs::Commit() {
    std::vector<Move> moves;
    try {
        for (const StagedOutput& output : outputs_) {
            if (!output.directory || !IsDirectory(output.finalPath)) {
                MoveIntoPlace(output.stagedPath, output.finalPath, output.stagedPath + kReplaced,
                              moves);
                continue;
            }
            const std::vector<std::string> names = Entries(output.stagedPath);
            const std::string replaced = output.stagedPath + "/" + kReplaced;
            if (mkdir(replaced.c_str(), 0700) != 0) {
                Fail(output.finalPath, errno);
            }
            for (const std::string& name : names) {
                MoveIntoPlace(output.stagedPath + "/" + name, output.finalPath + "/" + name,
                              replaced + "/" + name, moves);
            }
        }
    } catch (const HostError& error) {
        const std::vector<std::string> stuck = Undo(moves);
        std::string outcome =
            "; the files moved so far were put back and the outputs are as they were";
        if (!stuck.empty()) {
            outcome = "; " + std::to_string(stuck.size()) + " moved files could not be put back, " +
                      "the first " + stuck.front() + " (what they replaced is kept under " +
                      kReplaced + " names beside the staged outputs)";
        }
        throw HostError(error.what() + outcome);
    }
    for (const Move& move : moves) {
        if (!move.replaced.empty()) {
            unlink(move.replaced.c_str());
        }
    }
    for (const StagedOutput& output : outputs_) {
        if (output.directory) {
            rmdir((output.stagedPath + "/" + kReplaced).c_str());
            rmdir(output.stagedPath.c_str());
        }
    }
    createdDirectories_.clear();
}

void StagedOutputs::Discard() noexcept {
    // What a failed commit could not put back stays under its .replaced name.
    for (const StagedOutput& output : outputs_) {
        if (output.directory) {
            for (const std::string& name : Entries(output.stagedPath)) {
                unlink((output.stagedPath + "/" + name).c_str());
            }
            rmdir((output.stagedPath + "/" + kReplaced).c_str());
            rmdir(output.stagedPath.c_str());
        } else {
            unlink(output.stagedPath.c_str());
        }
    }
    RemoveDirectories(createdDirectories_);
    createdDirectories_.clear();
}

std::vector<std::string> StagedOutputs::RemoveLeftovers() const {
    std::vector<std::string> folders;
    for (const StagedOutput& output : outputs_) {
        const std::string parent = ParentDirectory(output.stagedPath);
        if (std::find(folders.begin(), folders.end(), parent) == folders.end()) {
            folders.push_back(parent);
        }
    }
    std::vector<std::string> removed;
    for (const std::string& folder : folders) {
        for (const std::string& name : Entries(folder.empty() ? "." : folder)) {
            const pid_t pid = StagingPid(name);
            if (pid <= 0 || kill(pid, 0) == 0 || errno != ESRCH) {
                continue;  // not staged, or its run may still be going
            }
            const std::string path =
                (folder.empty() || folder == "/" ? folder : folder + "/") + name;
            const bool replacedInside =
                rmdir((path + "/" + kReplaced).c_str()) != 0 && errno != ENOENT && errno != ENOTDIR;
            if (EndsWith(name, kReplaced) || replacedInside) {
                continue;  // what an interrupted commit replaced: the user's to keep
            }
            std::error_code error;
            if (std::filesystem::remove_all(path, error) != static_cast<std::uintmax_t>(-1)) {
                removed.push_back(path);
            }
        }
    }
    std::sort(removed.begin(), removed.end());
    return removed;
}

}  // namespace ffglhost
