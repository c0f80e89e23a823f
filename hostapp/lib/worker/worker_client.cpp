#include "worker_client.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "lib/plugin/call_monitor.h"
#include "worker_protocol.h"

extern char** environ;

namespace ffglhost {

namespace {

constexpr int kTickMs = 50;
constexpr int kGoodbyeMs = 1000;

std::string Directory(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool IsExecutable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}

std::string SignalName(int signal) {
    std::string name = strsignal(signal);
    if (!name.empty()) {
        name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
    }
    return name;
}

// A descriptor at 10 or above, close-on-exec, so the spawn's dup2 onto 3 and 4 never
// meets its own source.
int HighFd(int fd) {
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return high;
}

void CopyFlipped(const uint8_t* from, uint8_t* to, uint32_t width, uint32_t height) {
    const size_t row = size_t{width} * 4;
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(to + size_t{height - 1 - y} * row, from + size_t{y} * row, row);
    }
}

}  // namespace

std::string DefaultWorkerPath() {
    Dl_info info{};
    std::string here;
    if (dladdr(reinterpret_cast<void*>(&DefaultWorkerPath), &info) != 0 &&
        info.dli_fname != nullptr) {
        here = info.dli_fname;
    }
    // A main program's dli_fname may be its bare argv[0]; /proc knows its real path.
    if (here.find('/') == std::string::npos) {
        char buffer[4096];
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        here = length > 0 ? std::string(buffer, static_cast<size_t>(length)) : ".";
    }
    const std::string dir = Directory(here);
    for (const std::string& candidate :
         {dir + "/ffgl-worker", dir + "/../libexec/ffgl-host/ffgl-worker",
          dir + "/../../libexec/ffgl-host/ffgl-worker"}) {
        if (IsExecutable(candidate)) {
            return candidate;
        }
    }
    return dir + "/ffgl-worker";
}

struct WorkerClient::Connection {
    pid_t pid = -1;
    int socket = -1;
    int memory = -1;
    uint8_t* mapped = nullptr;
    size_t mappedBytes = 0;
    CallRecord* calls = nullptr;

    ~Connection() {
        if (socket >= 0) {
            close(socket);  // the worker ends when its socket closes
        }
        // A second to let the plug-in release its instance and context, then SIGKILL.
        for (int waited = 0; pid > 0 && waited < kGoodbyeMs; waited += 10) {
            if (waitpid(pid, nullptr, WNOHANG) != 0) {
                pid = -1;
            } else {
                usleep(10 * 1000);
            }
        }
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (mapped != nullptr) {
            munmap(mapped, mappedBytes);
        }
        if (memory >= 0) {
            close(memory);
        }
    }

    void Map(size_t bytes) {
        if (bytes == mappedBytes) {
            return;
        }
        if (mapped != nullptr) {
            munmap(mapped, mappedBytes);
            mapped = nullptr;
            mappedBytes = 0;
            calls = nullptr;
        }
        if (ftruncate(memory, static_cast<off_t>(bytes)) != 0) {
            throw WorkerError(WorkerFault::kCannotStart,
                              std::string("cannot size the frame memory: ") + std::strerror(errno));
        }
        void* memoryMap = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0);
        if (memoryMap == MAP_FAILED) {
            throw WorkerError(WorkerFault::kCannotStart,
                              std::string("cannot map the frame memory: ") + std::strerror(errno));
        }
        mapped = static_cast<uint8_t*>(memoryMap);
        mappedBytes = bytes;
        calls = reinterpret_cast<CallRecord*>(mapped);
    }
};

WorkerClient::WorkerClient(WorkerOptions options) : options_(std::move(options)) {}

WorkerClient::~WorkerClient() = default;

bool WorkerClient::Running() const {
    return connection_ != nullptr;
}

pid_t WorkerClient::WorkerPid() const {
    return connection_ != nullptr ? connection_->pid : -1;
}

void WorkerClient::Stop() {
    connection_.reset();
}

void WorkerClient::EnsureStarted() {
    if (connection_ != nullptr) {
        return;
    }
    std::string worker = options_.workerPath;
    if (worker.empty()) {
        const char* fromEnvironment = std::getenv("FFGL_WORKER");
        worker = fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment
                                                                        : DefaultWorkerPath();
    }
    auto connection = std::make_unique<Connection>();
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        throw WorkerError(WorkerFault::kCannotStart,
                          std::string("cannot make the worker's socket: ") + std::strerror(errno));
    }
    connection->socket = HighFd(sockets[0]);
    const int theirs = HighFd(sockets[1]);
    connection->memory = HighFd(memfd_create("ffgl-frames", MFD_CLOEXEC));
    if (connection->memory < 0 || connection->socket < 0 || theirs < 0) {
        close(theirs);
        throw WorkerError(WorkerFault::kCannotStart, "cannot share memory with the worker");
    }
    connection->Map(kCallPageBytes);
    new (connection->calls) CallRecord();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int errors = options_.errorFd >= 0 ? options_.errorFd : 2;
    posix_spawn_file_actions_adddup2(&actions, errors, 1);  // until the worker forwards it
    if (errors != 2) {
        posix_spawn_file_actions_adddup2(&actions, errors, 2);
    }
    posix_spawn_file_actions_adddup2(&actions, theirs, kWorkerSocketFd);
    posix_spawn_file_actions_adddup2(&actions, connection->memory, kWorkerMemoryFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, kWorkerMemoryFd + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The worker starts with default signal handling, whatever the front end set up.
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    char* argv[] = {const_cast<char*>("ffgl-worker"), nullptr};
    const int failed =
        posix_spawn(&connection->pid, worker.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(theirs);
    if (failed != 0) {
        connection->pid = -1;
        throw WorkerError(WorkerFault::kCannotStart,
                          "cannot start the worker " + worker + ": " + std::strerror(failed));
    }
    connection_ = std::move(connection);
}

[[noreturn]] void WorkerClient::LoseWorker(WorkerFault fault, const std::string& message) {
    connection_.reset();
    std::fill(dirty_.begin(), dirty_.end(), true);  // a new worker gets every value
    throw WorkerError(fault, message);
}

std::vector<uint8_t> WorkerClient::Exchange(uint32_t type, const std::vector<uint8_t>& payload) {
    Connection& c = *connection_;
    if (!SendMessage(c.socket, static_cast<MessageType>(type), payload)) {
        // The worker is gone; the wait below says how.
    }
    const int64_t limitMs = static_cast<int64_t>(options_.callTimeoutSeconds * 1000.0);
    pollfd watched{c.socket, POLLIN, 0};
    bool hung = false;
    for (;;) {
        const int ready = poll(&watched, 1, kTickMs);
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            break;
        }
        if (limitMs > 0 && c.calls->inCall.load() != 0 &&
            MonotonicMs() - c.calls->startedMs.load() > limitMs) {
            hung = true;
            break;
        }
    }
    MessageType answerType{};
    std::vector<uint8_t> answer;
    if (hung || !ReceiveMessage(c.socket, answerType, answer) ||
        answerType != MessageType::kAnswer) {
        const std::string call = DescribeCall(c.calls->code.load());
        if (hung) {
            kill(c.pid, SIGKILL);
        }
        int status = 0;
        const pid_t reaped = waitpid(c.pid, &status, 0);
        c.pid = -1;
        // A worker still tearing down after a crash when the limit passed died of its
        // own signal, not ours: that is a crash, not a hang.
        if (hung && !(reaped > 0 && WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) &&
            !(reaped > 0 && WIFEXITED(status))) {
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g", options_.callTimeoutSeconds);
            LoseWorker(WorkerFault::kHung, "the plug-in did not return within " +
                                               std::string(limit) + " s " + call +
                                               "; it was stopped");
        }
        if (reaped > 0 && WIFSIGNALED(status)) {
            LoseWorker(WorkerFault::kCrashed,
                       "the plug-in crashed (" + SignalName(WTERMSIG(status)) + ") " + call);
        }
        if (reaped > 0 && WIFEXITED(status)) {
            LoseWorker(WorkerFault::kExited, "the plug-in ended the process (exit status " +
                                                 std::to_string(WEXITSTATUS(status)) + ") " + call);
        }
        LoseWorker(WorkerFault::kExited, "the plug-in's worker ended " + call);
    }
    MessageReader reader(answer);
    const uint32_t status = reader.U32();
    const std::string message = reader.Text();
    if (status == 2) {
        throw WorkerError(WorkerFault::kCannotStart, message);
    }
    if (status != 0) {
        throw WorkerError(WorkerFault::kRefused, message);
    }
    const size_t used = 8 + message.size();
    return std::vector<uint8_t>(answer.begin() + static_cast<std::ptrdiff_t>(used), answer.end());
}

const PluginReport& WorkerClient::Load(const std::string& path) {
    if (loaded_) {
        Stop();
    }
    loaded_ = false;
    EnsureStarted();
    MessageWriter request;
    request.Text(path);
    request.Text(options_.logPrefix);
    request.U32(options_.quiet ? 1 : 0);
    const std::vector<uint8_t> body =
        Exchange(static_cast<uint32_t>(MessageType::kLoad), request.Bytes());
    MessageReader reader(body);
    report_ = ReadReport(reader);
    path_ = path;
    loaded_ = true;
    const size_t count = report_.parameters.size();
    values_.assign(count, 0.0f);
    texts_.assign(count, std::string());
    dirty_.assign(count, false);
    for (size_t i = 0; i < count; ++i) {
        values_[i] = report_.parameters[i].defaultValue;
        texts_[i] = report_.parameters[i].defaultText;
    }
    return report_;
}

namespace {

// The position of the parameter with this index, or -1.
long Position(const PluginReport& report, uint32_t index) {
    for (size_t i = 0; i < report.parameters.size(); ++i) {
        if (report.parameters[i].index == index) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

}  // namespace

void WorkerClient::SetParameter(uint32_t index, float value) {
    const long position = Position(report_, index);
    if (position < 0) {
        return;
    }
    const ParameterReport& parameter = report_.parameters[static_cast<size_t>(position)];
    const float low = std::min(parameter.min, parameter.max);
    const float high = std::max(parameter.min, parameter.max);
    const float clamped = std::isnan(value) ? low : std::min(std::max(value, low), high);
    if (values_[static_cast<size_t>(position)] != clamped) {
        values_[static_cast<size_t>(position)] = clamped;
        dirty_[static_cast<size_t>(position)] = true;
    }
}

void WorkerClient::SetParameterText(uint32_t index, const std::string& text) {
    const long position = Position(report_, index);
    if (position >= 0 && texts_[static_cast<size_t>(position)] != text) {
        texts_[static_cast<size_t>(position)] = text;
        dirty_[static_cast<size_t>(position)] = true;
    }
}

void WorkerClient::WriteDirty(std::vector<uint8_t>& payload) {
    std::vector<ParameterChange> changes;
    for (size_t i = 0; i < dirty_.size(); ++i) {
        if (dirty_[i]) {
            ParameterChange change;
            change.index = report_.parameters[i].index;
            change.isText = report_.parameters[i].isText;
            change.value = values_[i];
            change.text = texts_[i];
            changes.push_back(change);
            dirty_[i] = false;
        }
    }
    MessageWriter writer;
    WriteChanges(writer, changes);
    payload.insert(payload.end(), writer.Bytes().begin(), writer.Bytes().end());
}

void WorkerClient::Restart() {
    Stop();
    if (loaded_) {
        const std::vector<float> values = values_;
        const std::vector<std::string> texts = texts_;
        Load(path_);
        for (size_t i = 0; i < values.size() && i < values_.size(); ++i) {
            dirty_[i] = values[i] != values_[i] || texts[i] != texts_[i];
            values_[i] = values[i];
            texts_[i] = texts[i];
        }
    } else {
        EnsureStarted();
    }
}

std::vector<std::string> WorkerClient::ParameterDisplays() {
    if (!loaded_) {
        throw WorkerError(WorkerFault::kBadRequest, "no plug-in is loaded");
    }
    if (connection_ == nullptr) {
        Restart();
    }
    std::vector<uint8_t> request;
    WriteDirty(request);
    const std::vector<uint8_t> body =
        Exchange(static_cast<uint32_t>(MessageType::kDisplays), request);
    MessageReader reader(body);
    const uint32_t count = std::min(reader.U32(), kMaxParameters);
    std::vector<std::string> displays;
    for (uint32_t i = 0; i < count; ++i) {
        displays.push_back(reader.Text());
    }
    return displays;
}

void WorkerClient::Render(const WorkerFrame& frame) {
    if (!loaded_) {
        throw WorkerError(WorkerFault::kBadRequest, "no plug-in is loaded");
    }
    if (frame.width < 1 || frame.height < 1 || frame.width > kMaxFrameSide ||
        frame.height > kMaxFrameSide || frame.output == nullptr) {
        throw WorkerError(WorkerFault::kBadRequest,
                          "a frame of " + std::to_string(frame.width) + "x" +
                              std::to_string(frame.height) +
                              " cannot be drawn (sizes run from 1 to 16384)");
    }
    if (connection_ == nullptr) {
        Restart();
    }
    Connection& c = *connection_;
    c.Map(SharedBytes(frame.width, frame.height));
    const size_t bytes = FrameBytes(frame.width, frame.height);
    uint8_t* input = c.mapped + kCallPageBytes;
    if (frame.input != nullptr) {
        CopyFlipped(frame.input, input, frame.width, frame.height);
    }
    MessageWriter request;
    request.U32(frame.width);
    request.U32(frame.height);
    request.U32(frame.input != nullptr ? 1 : 0);
    request.F64(frame.hostSeconds);
    request.I64(frame.frameIndex);
    std::vector<uint8_t> payload = request.Bytes();
    WriteDirty(payload);
    Exchange(static_cast<uint32_t>(MessageType::kRender), payload);
    CopyFlipped(input + bytes, frame.output, frame.width, frame.height);
}

}  // namespace ffglhost
