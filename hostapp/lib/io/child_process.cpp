#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lib/host_error.h"

extern char** environ;

namespace ffglhost {

std::string FindOnPath(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return access(program.c_str(), X_OK) == 0 ? program : "";
    }
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return "";
    }
    const std::string directories = path;
    size_t start = 0;
    while (start <= directories.size()) {
        const size_t end = std::min(directories.find(':', start), directories.size());
        const std::string directory = directories.substr(start, end - start);
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return "";
}

namespace {

// Frees the spawn attributes however the start ends. The child starts with no signal
// blocked, whatever threads of this process block.
struct SpawnActions {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnActions() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnActions() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

// How long a child that was not waited for gets to stop before it is killed.
constexpr int kStopMs = 1000;

// The children running now, for KillAll.
constexpr size_t kMaxChildren = 64;
std::atomic<pid_t> running[kMaxChildren];

void Enlist(pid_t pid) {
    for (std::atomic<pid_t>& slot : running) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid)) {
            return;
        }
    }
}

void Delist(pid_t pid) {
    for (std::atomic<pid_t>& slot : running) {
        pid_t mine = pid;
        if (slot.compare_exchange_strong(mine, 0)) {
            return;
        }
    }
}

}  // namespace

void ChildProcess::KillAll() {
    for (std::atomic<pid_t>& slot : running) {
        const pid_t pid = slot.load();
        if (pid > 0) {
            kill(pid, SIGKILL);
        }
    }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Pipe pipe) {
    if (argv.empty()) {
        throw HostError("no program to run");
    }
    const std::string program = FindOnPath(argv[0]);
    if (program.empty()) {
        throw HostError(argv[0] + " was not found on PATH");
    }
    errors_ = std::tmpfile();
    if (errors_ == nullptr) {
        throw HostError(std::string("cannot create a temporary file: ") + std::strerror(errno));
    }
    fcntl(fileno(errors_), F_SETFD, FD_CLOEXEC);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        std::fclose(errors_);
        throw HostError(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    const bool toChild = pipe == Pipe::kToChild;
    const int childEnd = toChild ? ends[0] : ends[1];
    pipe_ = toChild ? ends[1] : ends[0];

    SpawnActions spawn;
    posix_spawn_file_actions_adddup2(&spawn.actions, childEnd, toChild ? 0 : 1);
    posix_spawn_file_actions_addopen(&spawn.actions, toChild ? 1 : 0, "/dev/null",
                                     toChild ? O_WRONLY : O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&spawn.actions, fileno(errors_), 2);
    std::vector<char*> arguments;
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    const int result = posix_spawn(&pid_, program.c_str(), &spawn.actions, &spawn.attributes,
                                   arguments.data(), environ);
    close(childEnd);
    if (result != 0) {
        close(pipe_);
        std::fclose(errors_);
        throw HostError("cannot start " + program + ": " + std::strerror(result));
    }
    Enlist(pid_);
}

ChildProcess::~ChildProcess() {
    // Asked to stop, then, if it will not within a second, killed: nothing it writes now
    // is kept, and a child that ignores SIGTERM must not hold the run.
    if (!waited_) {
        kill(pid_, SIGTERM);
    }
    ClosePipe();
    if (!waited_) {
        siginfo_t info{};
        for (int waited = 0; waited < kStopMs; waited += 10) {
            info.si_pid = 0;
            if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == pid_) {
                break;
            }
            usleep(10 * 1000);
        }
        if (info.si_pid != pid_) {
            kill(pid_, SIGKILL);
        }
        Wait();
    }
    std::fclose(errors_);
}

bool ChildProcess::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = write(pipe_, bytes, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

size_t ChildProcess::Read(void* data, size_t size) {
    auto* bytes = static_cast<uint8_t*>(data);
    size_t total = 0;
    while (total < size) {
        const ssize_t got = read(pipe_, bytes + total, size - total);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        total += static_cast<size_t>(got);
    }
    return total;
}

std::string ChildProcess::ReadAll() {
    std::string output;
    char buffer[512];
    for (size_t got; (got = Read(buffer, sizeof buffer)) > 0;) {
        output.append(buffer, got);
    }
    return output;
}

void ChildProcess::ClosePipe() {
    if (pipe_ >= 0) {
        close(pipe_);
        pipe_ = -1;
    }
}

int ChildProcess::Wait() {
    if (!waited_) {
        // Delisted only once it is a zombie, so KillAll can reach it until then and never
        // hits a process that took over its number.
        siginfo_t info{};
        while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 &&
               errno == EINTR) {
        }
        Delist(pid_);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        waited_ = true;
    }
    return status_;
}

std::string ChildProcess::LastErrorLine() const {
    const int fd = fileno(errors_);
    const off_t size = lseek(fd, 0, SEEK_END);
    if (size <= 0) {
        return "";
    }
    const off_t tail = std::min<off_t>(size, 8192);
    std::string text(static_cast<size_t>(tail), '\0');
    const ssize_t got = pread(fd, text.data(), text.size(), size - tail);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    const size_t newline = text.find_last_of("\r\n");
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

}  // namespace ffglhost
