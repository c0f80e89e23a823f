// ffgl-worker: runs one FFGL plug-in for a front end (see lib/worker/worker_client.h).
// It finds its request socket on fd 3 and the shared frame memory on fd 4, answers a
// Hello first, loads the plug-in when asked, makes the headless GL context at the first
// request that needs it and answers one request at a time. What the plug-in writes to
// standard output is turned into prefixed lines on standard error. It ends when the
// front end closes the socket, even while a plug-in call hangs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ffgl/abi.h"
#include "lib/gl/gl_context.h"
#include "lib/gl/gl_objects.h"
#include "lib/gl/pbo_reader.h"
#include "lib/host_error.h"
#include "lib/plugin/call_monitor.h"
#include "lib/plugin/plugin_instance.h"
#include "lib/plugin/plugin_library.h"
#include "lib/plugin/plugin_log.h"
#include "lib/plugin/plugin_report.h"
#include "lib/plugin/thumbnail.h"
#include "lib/worker/stdout_lines.h"
#include "lib/worker/worker_protocol.h"
#include "worker/frame_memo.h"
#include "worker/step_timeline.h"

using namespace ffglhost;

namespace {

// Unseen steps drawn between two waits for the GPU.
constexpr int kUnseenPerFence = 64;

// Failures that the front end reports as "cannot start" or as a GPU that stays busy.
class ContextError : public HostError {
  public:
    using HostError::HostError;
};
class GpuBusyError : public HostError {
  public:
    using HostError::HostError;
};

// Where the socket and the shared memory live once the worker has started: far from the
// low descriptors that a plug-in writing through a stale one would hit.
int socketFd = kWorkerSocketFd;
int memoryFd = kWorkerMemoryFd;

int MoveHigh(int fd) {
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, 900);
    if (high < 0) {
        return fd;
    }
    close(fd);
    return high;
}

// Ends the process when the front end goes away, whatever the main thread is doing: it
// gets two seconds to release the plug-in cleanly (the front end waits one, then kills).
void WatchFrontEnd() {
    pollfd watched{socketFd, POLLRDHUP, 0};
    for (;;) {
        if (poll(&watched, 1, -1) > 0 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
            sleep(2);
            _exit(0);
        }
    }
}

class PluginClock;

struct Drawing {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t inputWidth = 0;
    uint32_t inputHeight = 0;
    bool padded = false;
    std::unique_ptr<Texture> input;
    std::unique_ptr<RenderTarget> target;
    std::unique_ptr<PboReader> reader;
    std::unique_ptr<StepTimeline> timeline;  // the instances, each with its clock
    PluginClock* head = nullptr;             // the one that draws the next frame
};

// An instance in the timeline, with the steps it has drawn. `draw` draws one of its
// steps (seen or not) within the call limit; its unseen steps are clipped to one pixel.
class PluginClock : public StepTimeline::Clock {
  public:
    using Draw = std::function<void(PluginInstance&, double seconds, bool seen)>;
    PluginClock(std::unique_ptr<PluginInstance> instance, Draw draw)
        : instance_(std::move(instance)), draw_(std::move(draw)) {}
    void StepUnseen() override {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        draw_(*instance_, static_cast<double>(steps_) / kStepsPerSecond, false);
        glDisable(GL_SCISSOR_TEST);
        ++steps_;
    }
    // Draws the next step where it is seen, at the host's time for it.
    void StepSeen(double seconds) {
        draw_(*instance_, seconds, true);
        ++steps_;
    }
    PluginInstance& Instance() { return *instance_; }

  private:
    std::unique_ptr<PluginInstance> instance_;
    Draw draw_;
    int64_t steps_ = 0;
};

class Worker {
  public:
    Worker() {
        void* page = mmap(nullptr, kCallPageBytes, PROT_READ | PROT_WRITE, MAP_SHARED, memoryFd, 0);
        if (page != MAP_FAILED) {
            PublishCallsTo(static_cast<CallRecord*>(page));
        }
    }

    void Serve() {
        MessageType type{};
        std::vector<uint8_t> payload;
        bool greeted = false;
        while (ReceiveMessage(socketFd, type, payload)) {
            AnswerHeader header;
            std::vector<uint8_t> body;
            if (!greeted && !Greet(type, payload, header, body)) {
                Answer(header, body);
                break;
            }
            greeted = true;
            try {
                MessageReader reader(payload);
                body = Handle(type, reader);
            } catch (const ContextError& error) {
                header.status = static_cast<uint32_t>(AnswerStatus::kNoContext);
                header.message = error.what();
            } catch (const GpuBusyError& error) {
                header.status = static_cast<uint32_t>(AnswerStatus::kGpuBusy);
                header.message = error.what();
            } catch (const std::exception& error) {
                header.status = static_cast<uint32_t>(AnswerStatus::kFailed);
                header.message = error.what();
            }
            if (!Answer(header, body)) {
                break;
            }
        }
        // Plug-in objects go before the library and the context.
        drawing_ = Drawing();
        log_.reset();
        plugin_.reset();
        context_.reset();
        lines_.reset();
    }

  private:
    static bool Answer(const AnswerHeader& header, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> bytes = Encode(header);
        bytes.insert(bytes.end(), body.begin(), body.end());
        return SendMessage(socketFd, MessageType::kAnswer, bytes);
    }

    // The first request must be a Hello of this version; otherwise both sides are told
    // and the worker ends.
    static bool Greet(MessageType type, const std::vector<uint8_t>& payload, AnswerHeader& header,
                      std::vector<uint8_t>& body) {
        uint32_t version = 1;  // front ends before the Hello spoke version 1
        if (type == MessageType::kHello && payload.size() >= sizeof version) {
            std::memcpy(&version, payload.data(), sizeof version);
        }
        if (version == kProtocolVersion) {
            return true;
        }
        header.status = static_cast<uint32_t>(AnswerStatus::kWrongVersion);
        header.message = "the worker speaks protocol version " + std::to_string(kProtocolVersion) +
                         " and the front end version " + std::to_string(version) +
                         "; write the module again with `ffgl-host frei0r`";
        body = Encode(HelloAnswer());
        std::fprintf(stderr, "ffgl-worker: %s\n", header.message.c_str());
        return false;
    }

    std::vector<uint8_t> Handle(MessageType type, MessageReader& reader) {
        switch (type) {
            case MessageType::kHello:
                return Hello(Decode<HelloRequest>(reader));
            case MessageType::kLoad:
                return Encode(Load(Decode<LoadRequest>(reader)));
            case MessageType::kLimits:
                Decode<LimitsRequest>(reader);
                return Encode(Limits());
            case MessageType::kRender:
                Render(Decode<RenderRequest>(reader));
                return Encode(EmptyAnswer());
            case MessageType::kDisplays:
                return Encode(Displays(Decode<DisplaysRequest>(reader)));
            case MessageType::kRelease:
                Decode<ReleaseRequest>(reader);
                drawing_ = Drawing();
                return Encode(EmptyAnswer());
            default:
                throw ProtocolError();
        }
    }

    std::vector<uint8_t> Hello(const HelloRequest& hello) {
        if (helloed_) {
            throw HostError("the worker was greeted twice");
        }
        helloed_ = true;
        callTimeoutSeconds_ = hello.callTimeoutSeconds;
        prefix_ = hello.logPrefix;
        quiet_ = hello.quiet != 0;
        StartForwarding();
        return Encode(HelloAnswer());
    }

    void StartForwarding() {
        std::fflush(stdout);
        if (quiet_) {
            const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
            dup2(null, 1);
            close(null);
            return;
        }
        lines_ = std::make_unique<StdoutLines>(prefix_);
    }

    LoadAnswer Load(const LoadRequest& request) {
        if (plugin_ != nullptr) {
            throw HostError("the worker has a plug-in loaded already");
        }
        plugin_ = std::make_unique<PluginLibrary>(request.path);
        log_ = std::make_unique<PluginLog>(*plugin_, quiet_ ? nullptr : stderr, prefix_);
        report_ = ReadPluginReport(*plugin_);
        values_ = ParameterValues(report_.parameters);
        defaults_ = values_;
        LoadAnswer answer;
        answer.report = report_;
        answer.hasLogCallback = plugin_->HasSetLogCallback() ? 1 : 0;
        if (const std::optional<Image> thumbnail = ReadThumbnail(*plugin_)) {
            answer.thumbnailWidth = thumbnail->width;
            answer.thumbnailHeight = thumbnail->height;
            answer.thumbnail = thumbnail->rgba;
        }
        return answer;
    }

    void EnsureContext() {
        if (context_ != nullptr) {
            return;
        }
        try {
            context_ = std::make_unique<GlContext>();
        } catch (const HostError& error) {
            throw ContextError(error.what());
        }
    }

    LimitsAnswer Limits() {
        EnsureContext();
        const GlLimits limits = context_->Limits();
        LimitsAnswer answer;
        answer.maxTextureSize = limits.maxTextureSize;
        answer.maxRenderbufferSize = limits.maxRenderbufferSize;
        answer.maxViewportWidth = limits.maxViewportWidth;
        answer.maxViewportHeight = limits.maxViewportHeight;
        answer.maxFramebufferWidth = limits.maxFramebufferWidth;
        answer.maxFramebufferHeight = limits.maxFramebufferHeight;
        return answer;
    }

    void Remember(const std::vector<ParameterChange>& changes) {
        for (const ParameterChange& change : changes) {
            const std::optional<size_t> position = values_.Apply(change);
            if (!position) {
                throw HostError("a value for no parameter of its kind, index " +
                                std::to_string(change.index));
            }
            if (drawing_.timeline != nullptr) {
                drawing_.timeline->ForEach([&](StepTimeline::Clock& clock) {
                    static_cast<PluginClock&>(clock).Instance().Set(values_, *position);
                });
            }
            ++valueChanges_;
        }
    }

    // Every value set so far (those not at their defaults).
    void SetAll(PluginInstance& instance) {
        for (size_t i = 0; i < values_.Size(); ++i) {
            if (!values_.SameAt(i, defaults_)) {
                instance.Set(values_, i);
            }
        }
    }

    // A new instance with every value set so far; a refusal names what the plug-in
    // logged while it refused.
    std::unique_ptr<StepTimeline::Clock> NewClock() {
        log_->Hold();
        std::unique_ptr<PluginInstance> instance;
        try {
            instance = std::make_unique<PluginInstance>(*plugin_, drawing_.width, drawing_.height);
        } catch (const HostError& error) {
            throw HostError(std::string(error.what()) + log_->HeldSummary());
        }
        log_->Release();
        SetAll(*instance);
        return std::make_unique<PluginClock>(
            std::move(instance), [this](PluginInstance& drawn, double seconds, bool seen) {
                DrawStep(drawn, seconds, seen);
            });
    }

    // The GL objects and the instances for frames of this size and input.
    void Prepare(uint32_t width, uint32_t height, uint32_t inputWidth, uint32_t inputHeight,
                 bool padded) {
        EnsureContext();
        if (drawing_.timeline != nullptr && drawing_.width == width && drawing_.height == height &&
            drawing_.inputWidth == inputWidth && drawing_.inputHeight == inputHeight &&
            drawing_.padded == padded) {
            return;
        }
        drawing_ = Drawing();
        memo_.Forget();
        drawing_.input = std::make_unique<Texture>(inputWidth, inputHeight, nullptr, padded);
        drawing_.target = std::make_unique<RenderTarget>(width, height);
        drawing_.reader = std::make_unique<PboReader>(width, height);
        drawing_.width = width;
        drawing_.height = height;
        drawing_.inputWidth = inputWidth;
        drawing_.inputHeight = inputHeight;
        drawing_.padded = padded;
        drawing_.timeline = std::make_unique<StepTimeline>([this] { return NewClock(); });
        Reach(0);
    }

    // Makes the instance whose next frame is `step` the one that draws.
    void Reach(int64_t step) {
        bool switched = false;
        drawing_.head = &static_cast<PluginClock&>(drawing_.timeline->Reach(step, &switched));
        if (switched) {
            SetAll(drawing_.head->Instance());
        }
    }

    uint8_t* MapFrames(size_t slotBytes) {
        const size_t bytes = SharedBytes(slotBytes);
        if (bytes != mappedBytes_) {
            if (frames_ != nullptr) {
                munmap(frames_, mappedBytes_);
                frames_ = nullptr;
                mappedBytes_ = 0;
            }
            void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memoryFd, 0);
            if (memory == MAP_FAILED) {
                throw HostError(std::string("cannot map the frame memory: ") +
                                std::strerror(errno));
            }
            frames_ = static_cast<uint8_t*>(memory);
            mappedBytes_ = bytes;
        }
        return frames_;
    }

    // Waits until the GPU has done what the plug-in queued in the call that started at
    // `startedMs`, within what is left of the call limit: a plug-in whose code returns at
    // once but whose drawing never ends is stopped like a call that never returns.
    void AwaitDrawing(int64_t startedMs) {
        GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        if (fence == nullptr) {
            glFinish();
            return;
        }
        GLenum result = GL_ALREADY_SIGNALED;
        if (callTimeoutSeconds_ <= 0.0) {
            result = glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
        } else {
            const double leftMs =
                callTimeoutSeconds_ * 1000.0 - static_cast<double>(MonotonicMs() - startedMs);
            const auto leftNs = static_cast<GLuint64>(std::max(leftMs, 0.0) * 1e6);
            result = glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, leftNs);
        }
        glDeleteSync(fence);
        if (result == GL_TIMEOUT_EXPIRED || result == GL_WAIT_FAILED) {
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g", callTimeoutSeconds_);
            throw GpuBusyError("the plug-in did not finish its drawing within " +
                               std::string(limit) + " s " + DescribeCall(FF_PROCESS_OPENGL) +
                               "; it was stopped");
        }
    }

    // Draws one step of `instance` at host time `seconds`, within the call limit. Unseen
    // steps, clipped to a pixel, are waited for in batches: a fence for each would cost
    // more than the step.
    void DrawStep(PluginInstance& instance, double seconds, bool seen) {
        instance.SetTime(seconds);
        const int64_t started = MonotonicMs();
        instance.Process(*drawing_.input, *drawing_.target);
        if (seen || ++unseenSinceFence_ == kUnseenPerFence) {
            AwaitDrawing(started);
            unseenSinceFence_ = 0;
        }
    }

    void Render(const RenderRequest& request) {
        if (plugin_ == nullptr) {
            throw HostError("no plug-in is loaded");
        }
        for (const uint32_t side :
             {request.width, request.height, request.inputWidth, request.inputHeight}) {
            if (side < 1 || side > kMaxFrameSide) {
                throw HostError("a frame size out of range");
            }
        }
        if (request.slot >= kFrameSlots) {
            throw HostError("a frame slot out of range");
        }
        uint8_t* frames = MapFrames(request.SlotBytes());
        Remember(request.changes);
        Prepare(request.width, request.height, request.inputWidth, request.inputHeight,
                request.padInput != 0);
        uint8_t* input = frames + InputOffset(request.slot, request.SlotBytes());
        uint8_t* output = frames + OutputOffset(request.slot, request.SlotBytes());
        // The very same frame asked for again is answered from the last one drawn.
        FrameKey key;
        key.step = request.frameIndex >= 0 ? request.frameIndex : drawing_.timeline->Next();
        key.width = request.width;
        key.height = request.height;
        key.hasInput = request.hasInput != 0 && request.inputWidth == request.width &&
                       request.inputHeight == request.height;
        key.seconds = request.hostSeconds;
        key.valueChanges = valueChanges_;
        const bool rememberable = request.hasInput == 0 || key.hasInput;
        const uint8_t* remembered = request.hasInput != 0 ? input : nullptr;
        if (rememberable && memo_.Matches(key, remembered)) {
            // The last frame's pixels are still in its output slot.
            std::memmove(output, frames + lastOutput_, FrameBytes(request.width, request.height));
            lastOutput_ = static_cast<size_t>(output - frames);
            return;
        }
        Reach(key.step);
        if (request.hasInput != 0) {
            drawing_.input->Upload(input);
        }
        drawing_.head->StepSeen(request.hostSeconds);
        // Read before the riders move: their unseen steps draw into the same target.
        drawing_.reader->Read(drawing_.target->Framebuffer(), scratch_);
        drawing_.reader->Drain(output);
        drawing_.timeline->Drew();
        lastOutput_ = static_cast<size_t>(output - frames);
        if (rememberable) {
            memo_.Remember(std::move(key), remembered);
        } else {
            memo_.Forget();
        }
    }

    DisplaysAnswer Displays(const DisplaysRequest& request) {
        if (plugin_ == nullptr) {
            throw HostError("no plug-in is loaded");
        }
        Remember(request.changes);
        if (drawing_.head == nullptr) {
            const uint32_t width = std::max(request.width, 1u);
            const uint32_t height = std::max(request.height, 1u);
            Prepare(width, height, width, height, false);
        }
        const PluginReport live = ReadPluginReport(*plugin_, drawing_.head->Instance().Handle());
        DisplaysAnswer answer;
        for (const ParameterReport& parameter : live.parameters) {
            answer.displays.push_back(parameter.display);
        }
        return answer;
    }

    bool helloed_ = false;
    double callTimeoutSeconds_ = 0.0;
    std::string prefix_;
    bool quiet_ = false;
    std::unique_ptr<StdoutLines> lines_;
    std::unique_ptr<PluginLibrary> plugin_;
    std::unique_ptr<PluginLog> log_;
    PluginReport report_;
    std::unique_ptr<GlContext> context_;
    Drawing drawing_;
    FrameMemo memo_;
    size_t lastOutput_ = 0;  // where the last frame's pixels are in the frame memory
    int unseenSinceFence_ = 0;
    Image scratch_;  // never filled: each read is drained at once
    ParameterValues values_;
    ParameterValues defaults_;
    uint64_t valueChanges_ = 0;  // values taken so far: the values' version
    uint8_t* frames_ = nullptr;
    size_t mappedBytes_ = 0;
};

}  // namespace

int main() {
    signal(SIGPIPE, SIG_IGN);
    if (fcntl(kWorkerSocketFd, F_GETFD) < 0 || fcntl(kWorkerMemoryFd, F_GETFD) < 0) {
        std::fprintf(stderr,
                     "ffgl-worker: runs FFGL plug-ins for ffgl-host and its bridges; "
                     "it is started by them, not by hand\n");
        return 2;
    }
    socketFd = MoveHigh(kWorkerSocketFd);
    memoryFd = MoveHigh(kWorkerMemoryFd);
    std::thread(WatchFrontEnd).detach();
    Worker worker;
    worker.Serve();
    return 0;
}
