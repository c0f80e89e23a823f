#include "worker_client.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
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

#include "ffgl/abi.h"
#include "lib/io/unique_fd.h"

#include "lib/plugin/call_monitor.h"

extern char** environ;

namespace ffglhost {

namespace {

constexpr int kTickMs = 50;
constexpr int kGoodbyeMs = 1000;
// What the worker gets beyond the call limit to say what outlived it.
constexpr int64_t kGraceMs = 1000;
// Once an answer has begun, the rest of it follows within this.
constexpr int kMessageMs = 5000;
constexpr char kMalformed[] = "the worker sent a malformed answer; it was stopped";

enum class Received { kWhole, kGone, kBroken };

// Reads `size` bytes within `deadlineMs` (of MonotonicMs): kGone at the end of the
// stream, kBroken when the time runs out.
Received ReadWithin(int fd, uint8_t* data, size_t size, int64_t deadlineMs) {
    while (size > 0) {
        const int64_t left = deadlineMs - MonotonicMs();
        pollfd watched{fd, POLLIN, 0};
        const int ready = poll(&watched, 1, static_cast<int>(std::max<int64_t>(left, 0)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return Received::kBroken;
        }
        const ssize_t got = read(fd, data, size);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            return Received::kGone;
        }
        data += got;
        size -= static_cast<size_t>(got);
    }
    return Received::kWhole;
}

// Reads one whole message within `ms`: a payload beyond kMaxPayload, or one that does
// not arrive in time, breaks the protocol.
Received ReceiveWithin(int fd, MessageType& type, std::vector<uint8_t>& payload, int ms) {
    const int64_t deadline = MonotonicMs() + ms;
    uint32_t header[2] = {0, 0};
    const Received got =
        ReadWithin(fd, reinterpret_cast<uint8_t*>(header), sizeof header, deadline);
    if (got != Received::kWhole) {
        return got;
    }
    if (header[1] > kMaxPayload) {
        return Received::kBroken;
    }
    type = static_cast<MessageType>(header[0]);
    payload.resize(header[1]);
    return ReadWithin(fd, payload.data(), payload.size(), deadline);
}

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

// The call the worker's record names, where it names a real one: a plug-in that wrote
// over the record must not make the report name a call it never made.
std::string CallInFlight(const CallRecord& calls) {
    const uint32_t code = calls.code.load();
    const bool known = FindFunction(code) != nullptr || code == kNoCall ||
                       code == kLoadingLibrary || code == kUnloadingLibrary ||
                       code == kSettingLogCallback;
    return known ? DescribeCall(code) : "in a call its worker's record no longer names";
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
    std::string workerPath;
    pid_t pid = -1;
    UniqueFd socket;
    UniqueFd memory;
    uint8_t* mapped = nullptr;
    size_t mappedBytes = 0;
    CallRecord* calls = nullptr;

    // Ends the worker at once.
    void Kill() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

    ~Connection() {
        socket.Reset();  // the worker ends when its socket closes
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
        if (ftruncate(memory.Get(), static_cast<off_t>(bytes)) != 0) {
            throw WorkerError(WorkerFault::kCannotStart,
                              std::string("cannot size the frame memory: ") + std::strerror(errno));
        }
        void* memoryMap = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory.Get(), 0);
        if (memoryMap == MAP_FAILED) {
            throw WorkerError(WorkerFault::kCannotStart,
                              std::string("cannot map the frame memory: ") + std::strerror(errno));
        }
        mapped = static_cast<uint8_t*>(memoryMap);
        mappedBytes = bytes;
        calls = reinterpret_cast<CallRecord*>(mapped);
    }
};

WorkerClient::WorkerClient(WorkerOptions options)
    : options_(std::move(options)), cancelFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WorkerClient::~WorkerClient() {
    connection_.reset();
}

bool WorkerClient::Running() const {
    return connection_ != nullptr;
}

pid_t WorkerClient::WorkerPid() const {
    return connection_ != nullptr ? connection_->pid : -1;
}

void WorkerClient::Stop() {
    connection_.reset();
    pending_.clear();
}

void WorkerClient::Cancel() {
    cancelled_.store(true);
    const uint64_t one = 1;
    if (cancelFd_.Valid() && write(cancelFd_.Get(), &one, sizeof one) < 0) {
        // Already signalled past its counter's limit: nothing more to say.
    }
}

void WorkerClient::CheckCancelled() {
    if (cancelled_.load()) {
        if (connection_ != nullptr) {
            connection_->Kill();
        }
        connection_.reset();
        pending_.clear();
        throw WorkerError(WorkerFault::kCancelled, "cancelled");
    }
}

void WorkerClient::EnsureStarted() {
    CheckCancelled();
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
    connection->socket.Reset(HighFd(sockets[0]));
    UniqueFd theirs(HighFd(sockets[1]));
    connection->memory.Reset(HighFd(memfd_create("ffgl-frames", MFD_CLOEXEC)));
    if (!connection->memory.Valid() || !connection->socket.Valid() || !theirs.Valid()) {
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
    posix_spawn_file_actions_adddup2(&actions, theirs.Get(), kWorkerSocketFd);
    posix_spawn_file_actions_adddup2(&actions, connection->memory.Get(), kWorkerMemoryFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, kWorkerMemoryFd + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The worker starts with default signal handling, whatever the front end set up, in
    // a process group of its own: a terminal's Ctrl-C is the front end's to handle.
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    char* argv[] = {const_cast<char*>("ffgl-worker"), nullptr};
    const int failed =
        posix_spawn(&connection->pid, worker.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    theirs.Reset();
    if (failed != 0) {
        connection->pid = -1;
        throw WorkerError(WorkerFault::kCannotStart,
                          "cannot start the worker " + worker + ": " + std::strerror(failed));
    }
    connection_ = std::move(connection);
    connection_->workerPath = worker;

    HelloRequest hello;
    hello.callTimeoutSeconds = options_.callTimeoutSeconds;
    hello.logPrefix = options_.logPrefix;
    hello.quiet = options_.quiet ? 1 : 0;
    Ask<HelloAnswer>(hello);
}

[[noreturn]] void WorkerClient::LoseWorker(WorkerFault fault, const std::string& message) {
    connection_.reset();
    pending_.clear();
    throw WorkerError(fault, message);
}

[[noreturn]] void WorkerClient::EndWorker(WorkerFault fault, const std::string& otherwise) {
    Connection& c = *connection_;
    const std::string call = CallInFlight(*c.calls);
    // A worker that closed its end is given a moment to die of what ended it; one still
    // running then is killed.
    int status = 0;
    pid_t reaped = 0;
    for (int waited = 0; fault == WorkerFault::kExited && reaped == 0 && waited < kGoodbyeMs;
         waited += 10) {
        reaped = waitpid(c.pid, &status, WNOHANG);
        if (reaped == 0) {
            usleep(10 * 1000);
        }
    }
    if (reaped == 0) {
        kill(c.pid, SIGKILL);
        reaped = waitpid(c.pid, &status, 0);
    }
    c.pid = -1;
    // A worker that died of its own signal or exit before ours is reported as that, even
    // when a limit passed while it was tearing down.
    if (reaped > 0 && WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
        LoseWorker(WorkerFault::kCrashed,
                   "the plug-in crashed (" + SignalName(WTERMSIG(status)) + ") " + call);
    }
    if (reaped > 0 && WIFEXITED(status)) {
        LoseWorker(WorkerFault::kExited, "the plug-in ended the process (exit status " +
                                             std::to_string(WEXITSTATUS(status)) + ") " + call);
    }
    LoseWorker(fault, otherwise);
}

void WorkerClient::Send(MessageType type, const std::vector<uint8_t>& payload) {
    // A worker that is gone is noticed while waiting for the answer.
    SendMessage(connection_->socket.Get(), type, payload);
}

std::vector<uint8_t> WorkerClient::Await() {
    Connection& c = *connection_;
    const int64_t limitMs = static_cast<int64_t>(options_.callTimeoutSeconds * 1000.0);
    uint32_t sequence = c.calls->sequence.load();
    int64_t progressMs = MonotonicMs();
    pollfd watched[2] = {{c.socket.Get(), POLLIN, 0}, {cancelFd_.Get(), POLLIN, 0}};
    for (;;) {
        const int ready = poll(watched, 2, kTickMs);
        if (cancelled_.load()) {
            CheckCancelled();
        }
        if (ready > 0 && watched[0].revents != 0) {
            break;
        }
        // The deadline runs from the latest call the worker started, by this clock.
        const uint32_t now = c.calls->sequence.load();
        if (now != sequence) {
            sequence = now;
            progressMs = MonotonicMs();
        }
        if (limitMs > 0 && MonotonicMs() - progressMs > limitMs + kGraceMs) {
            const std::string call = CallInFlight(*c.calls);
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g", options_.callTimeoutSeconds);
            EndWorker(WorkerFault::kHung,
                      c.calls->inCall.load() != 0
                          ? "the plug-in did not return within " + std::string(limit) + " s " +
                                call + "; it was stopped"
                          : "the worker did not answer within " + std::string(limit) + " s " +
                                call + "; it was stopped");
        }
    }
    MessageType type{};
    std::vector<uint8_t> answer;
    const Received received = ReceiveWithin(c.socket.Get(), type, answer, kMessageMs);
    if (received == Received::kGone) {
        EndWorker(WorkerFault::kExited, "the plug-in's worker ended " + CallInFlight(*c.calls));
    }
    if (received == Received::kBroken || type != MessageType::kAnswer) {
        EndWorker(WorkerFault::kBrokeProtocol, "the worker sent something that is not an answer " +
                                                   CallInFlight(*c.calls) + "; it was stopped");
    }
    AnswerHeader header;
    MessageReader reader(answer);
    try {
        reader(header);
    } catch (const ProtocolError&) {
        EndWorker(WorkerFault::kBrokeProtocol, kMalformed);
    }
    const std::vector<uint8_t> body(answer.end() - static_cast<std::ptrdiff_t>(reader.Left()),
                                    answer.end());
    switch (static_cast<AnswerStatus>(header.status)) {
        case AnswerStatus::kOk:
            return body;
        case AnswerStatus::kNoContext:
            throw WorkerError(WorkerFault::kCannotStart, header.message);
        case AnswerStatus::kFailed:
            throw WorkerError(WorkerFault::kRefused, header.message);
        case AnswerStatus::kGpuBusy:
            EndWorker(WorkerFault::kHung, header.message);
        case AnswerStatus::kWrongVersion: {
            MessageReader versionReader(body);
            HelloAnswer theirs;
            theirs.version = 0;
            try {
                theirs = Decode<HelloAnswer>(versionReader);
            } catch (const ProtocolError&) {
            }
            EndWorker(WorkerFault::kCannotStart,
                      "the worker " + c.workerPath + " speaks protocol version " +
                          std::to_string(theirs.version) + " and this front end version " +
                          std::to_string(kProtocolVersion) +
                          "; write the module again with `ffgl-host frei0r` (or install the "
                          "matching ffgl-host)");
        }
    }
    EndWorker(WorkerFault::kBrokeProtocol, "the worker answered with an unknown status " +
                                               std::to_string(header.status) + "; it was stopped");
}

template <class Answer, class Request>
Answer WorkerClient::Ask(const Request& request) {
    Send(Request::kType, Encode(request));
    const std::vector<uint8_t> body = Await();
    MessageReader reader(body);
    try {
        return Decode<Answer>(reader);
    } catch (const ProtocolError&) {
        EndWorker(WorkerFault::kBrokeProtocol, kMalformed);
    }
}

const PluginReport& WorkerClient::Load(const std::string& path) {
    if (loaded_) {
        Stop();
    }
    loaded_ = false;
    EnsureStarted();
    LoadRequest request;
    request.path = path;
    details_ = Ask<LoadAnswer>(request);
    path_ = path;
    loaded_ = true;
    const PluginReport& report = details_.report;
    values_ = ParameterValues(report.parameters);
    sent_ = values_;
    return report;
}

LimitsAnswer WorkerClient::Limits() {
    EnsureStarted();
    return Ask<LimitsAnswer>(LimitsRequest());
}

std::vector<ParameterChange> WorkerClient::TakeChanges() {
    std::vector<ParameterChange> changes = values_.ChangesSince(sent_);
    for (const ParameterChange& change : changes) {
        sent_.Apply(change);
    }
    return changes;
}

void WorkerClient::Restart() {
    Stop();
    if (loaded_) {
        const ParameterValues kept = values_;
        Load(path_);
        values_.TakeFrom(kept);
    } else {
        EnsureStarted();
    }
}

std::vector<std::string> WorkerClient::ParameterDisplays(uint32_t width, uint32_t height) {
    if (!loaded_) {
        throw WorkerError(WorkerFault::kBadRequest, "no plug-in is loaded");
    }
    while (!pending_.empty()) {
        Finish();
    }
    if (connection_ == nullptr) {
        Restart();
    }
    DisplaysRequest request;
    request.width = width;
    request.height = height;
    request.changes = TakeChanges();
    std::vector<std::string> displays = Ask<DisplaysAnswer>(request).displays;
    displays.resize(std::min(displays.size(), size_t{kMaxParameters}));
    return displays;
}

void WorkerClient::Release() {
    while (!pending_.empty()) {
        Finish();
    }
    if (connection_ != nullptr) {
        Ask<EmptyAnswer>(ReleaseRequest());
    }
}

void WorkerClient::Render(const WorkerFrame& frame) {
    Submit(frame);
    while (!pending_.empty()) {
        Finish();
    }
}

void WorkerClient::AwaitRender(Pending& pending) {
    const std::vector<uint8_t> body = Await();
    if (!body.empty()) {
        EndWorker(WorkerFault::kBrokeProtocol, kMalformed);
    }
    pending.answered = true;
}

void WorkerClient::Submit(const WorkerFrame& frame) {
    if (!loaded_) {
        throw WorkerError(WorkerFault::kBadRequest, "no plug-in is loaded");
    }
    RenderRequest request;
    request.width = frame.width;
    request.height = frame.height;
    request.inputWidth = frame.inputWidth != 0 ? frame.inputWidth : frame.width;
    request.inputHeight = frame.inputHeight != 0 ? frame.inputHeight : frame.height;
    for (const uint32_t side :
         {request.width, request.height, request.inputWidth, request.inputHeight}) {
        if (side < 1 || side > kMaxFrameSide || frame.output == nullptr) {
            throw WorkerError(
                WorkerFault::kBadRequest,
                "a frame of " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                    " cannot be drawn (sizes run from 1 to " + std::to_string(kMaxFrameSide) + ")");
        }
    }
    const size_t slotBytes = request.SlotBytes();
    // A third frame, or one of another size, waits for those before it.
    while (pending_.size() >= kFrameSlots ||
           (!pending_.empty() && pending_.front().slotBytes != slotBytes)) {
        Finish();
    }
    if (connection_ == nullptr) {
        Restart();
    }
    CheckCancelled();
    Connection& c = *connection_;
    c.Map(SharedBytes(slotBytes));
    request.slot = nextSlot_;
    nextSlot_ = (nextSlot_ + 1) % kFrameSlots;
    if (frame.input != nullptr) {
        CopyFlipped(frame.input, c.mapped + InputOffset(request.slot, slotBytes),
                    request.inputWidth, request.inputHeight);
    }
    // One request at a time is in flight: the previous frame's answer comes first.
    if (!pending_.empty() && !pending_.back().answered) {
        AwaitRender(pending_.back());
    }
    request.hasInput = frame.input != nullptr ? 1 : 0;
    request.padInput = frame.padInput ? 1 : 0;
    request.hostSeconds = frame.hostSeconds;
    request.frameIndex = frame.frameIndex;
    request.changes = TakeChanges();
    Send(RenderRequest::kType, Encode(request));
    Pending pending;
    pending.slot = request.slot;
    pending.width = frame.width;
    pending.height = frame.height;
    pending.slotBytes = slotBytes;
    pending.output = frame.output;
    pending_.push_back(pending);
}

void WorkerClient::Finish() {
    if (pending_.empty()) {
        return;
    }
    Pending& oldest = pending_.front();
    if (!oldest.answered) {
        AwaitRender(oldest);
    }
    const Pending done = oldest;
    pending_.erase(pending_.begin());
    std::memcpy(done.output, connection_->mapped + OutputOffset(done.slot, done.slotBytes),
                FrameBytes(done.width, done.height));
}

}  // namespace ffglhost
