// ffgl-worker: runs one FFGL plug-in for a front end (see lib/worker/worker_client.h).
// It finds its request socket on fd 3 and the shared frame memory on fd 4, loads the
// plug-in when asked, makes the headless GL context at the first frame and answers one
// request at a time. What the plug-in writes to standard output is turned into prefixed
// lines on standard error. It ends when the front end closes the socket, even while a
// plug-in call hangs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lib/gl/gl_context.h"
#include "lib/gl/gl_objects.h"
#include "lib/host_error.h"
#include "lib/plugin/call_monitor.h"
#include "lib/plugin/plugin_instance.h"
#include "lib/plugin/plugin_library.h"
#include "lib/plugin/plugin_log.h"
#include "lib/plugin/plugin_report.h"
#include "lib/worker/stdout_lines.h"
#include "lib/worker/worker_protocol.h"
#include "worker/frame_memo.h"
#include "worker/step_timeline.h"

using namespace ffglhost;

namespace {

// Answer statuses (see WorkerClient).
constexpr uint32_t kOk = 0;
constexpr uint32_t kFailed = 1;
constexpr uint32_t kNoContext = 2;

// Failures that the front end reports as "cannot start".
class ContextError : public HostError {
  public:
    using HostError::HostError;
};

// Ends the process when the front end goes away, whatever the main thread is doing: it
// gets two seconds to release the plug-in cleanly (the front end waits one, then kills).
void WatchFrontEnd() {
    pollfd watched{kWorkerSocketFd, POLLRDHUP, 0};
    for (;;) {
        if (poll(&watched, 1, -1) > 0 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
            sleep(2);
            _exit(0);
        }
    }
}

struct Drawing {
    uint32_t width = 0;
    uint32_t height = 0;
    std::unique_ptr<Texture> input;
    std::unique_ptr<RenderTarget> target;
    std::unique_ptr<StepTimeline> timeline;  // the instances, each with its clock
    PluginInstance* instance = nullptr;      // the one that draws the next frame
};

// An instance in the timeline; its unseen frames are clipped to one pixel of the
// drawing's target.
class PluginClock : public StepTimeline::Clock {
  public:
    PluginClock(std::unique_ptr<PluginInstance> instance, const Drawing& drawing)
        : instance_(std::move(instance)), drawing_(drawing) {}
    void StepUnseen() override {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        instance_->Process(*drawing_.input, *drawing_.target);
        glDisable(GL_SCISSOR_TEST);
    }
    PluginInstance& Instance() { return *instance_; }

  private:
    std::unique_ptr<PluginInstance> instance_;
    const Drawing& drawing_;
};

class Worker {
  public:
    Worker() {
        void* page =
            mmap(nullptr, kCallPageBytes, PROT_READ | PROT_WRITE, MAP_SHARED, kWorkerMemoryFd, 0);
        if (page != MAP_FAILED) {
            PublishCallsTo(static_cast<CallRecord*>(page));
        }
    }

    void Serve() {
        MessageType type{};
        std::vector<uint8_t> payload;
        while (ReceiveMessage(kWorkerSocketFd, type, payload)) {
            MessageWriter answer;
            MessageWriter body;
            uint32_t status = kOk;
            std::string message;
            try {
                MessageReader reader(payload);
                Handle(type, reader, body);
            } catch (const ContextError& error) {
                status = kNoContext;
                message = error.what();
            } catch (const std::exception& error) {
                status = kFailed;
                message = error.what();
            }
            answer.U32(status);
            answer.Text(message);
            std::vector<uint8_t> bytes = answer.Bytes();
            bytes.insert(bytes.end(), body.Bytes().begin(), body.Bytes().end());
            if (!SendMessage(kWorkerSocketFd, MessageType::kAnswer, bytes)) {
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
    void Handle(MessageType type, MessageReader& reader, MessageWriter& body) {
        switch (type) {
            case MessageType::kLoad:
                Load(reader, body);
                return;
            case MessageType::kRender:
                Render(reader);
                return;
            case MessageType::kDisplays:
                Displays(reader, body);
                return;
            default:
                throw HostError("an unknown request to the worker");
        }
    }

    void Load(MessageReader& reader, MessageWriter& body) {
        const std::string path = reader.Text();
        const std::string prefix = reader.Text();
        const bool quiet = reader.U32() != 0;
        if (plugin_ != nullptr) {
            throw HostError("the worker has a plug-in loaded already");
        }
        StartForwarding(quiet ? std::string() : prefix, quiet);
        plugin_ = std::make_unique<PluginLibrary>(path);
        log_ = std::make_unique<PluginLog>(*plugin_, quiet ? nullptr : stderr, prefix);
        report_ = ReadPluginReport(*plugin_);
        values_.clear();
        WriteReport(body, report_);
    }

    void StartForwarding(const std::string& prefix, bool quiet) {
        std::fflush(stdout);
        if (quiet) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            close(null);
            return;
        }
        lines_ = std::make_unique<StdoutLines>(prefix);
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

    void ApplyChanges(const std::vector<ParameterChange>& changes) {
        for (const ParameterChange& change : changes) {
            bool replaced = false;
            for (ParameterChange& kept : values_) {
                if (kept.index == change.index) {
                    kept = change;
                    replaced = true;
                }
            }
            if (!replaced) {
                values_.push_back(change);
            }
            if (drawing_.instance != nullptr) {
                Send(*drawing_.instance, change);
            }
        }
    }

    void Send(PluginInstance& instance, const ParameterChange& change) {
        ParameterSetting setting;
        setting.index = change.index;
        setting.isText = change.isText;
        setting.value = change.value;
        setting.text = change.text;
        for (const ParameterReport& parameter : report_.parameters) {
            if (parameter.index == change.index) {
                setting.name = parameter.name;
            }
        }
        instance.Set(setting);
    }

    // The GL objects and the instance for frames of this size; a new instance gets every
    // value set so far.
    void Prepare(uint32_t width, uint32_t height) {
        EnsureContext();
        if (drawing_.instance != nullptr && drawing_.width == width && drawing_.height == height) {
            return;
        }
        drawing_ = Drawing();
        drawing_.input = std::make_unique<Texture>(width, height, nullptr);
        drawing_.target = std::make_unique<RenderTarget>(width, height);
        drawing_.width = width;
        drawing_.height = height;
        drawing_.timeline = std::make_unique<StepTimeline>([this, width, height] {
            auto instance = std::make_unique<PluginInstance>(*plugin_, width, height);
            for (const ParameterChange& change : values_) {
                Send(*instance, change);
            }
            return std::make_unique<PluginClock>(std::move(instance), drawing_);
        });
        Reach(0);
    }

    // Makes the instance whose next frame is `step` the one that draws.
    void Reach(int64_t step) {
        bool switched = false;
        auto& clock = static_cast<PluginClock&>(drawing_.timeline->Reach(step, &switched));
        drawing_.instance = &clock.Instance();
        if (switched) {
            for (const ParameterChange& change : values_) {
                Send(*drawing_.instance, change);
            }
        }
    }

    uint8_t* MapFrames(uint32_t width, uint32_t height) {
        const size_t bytes = SharedBytes(width, height);
        if (bytes != mappedBytes_) {
            if (frames_ != nullptr) {
                munmap(frames_, mappedBytes_);
                frames_ = nullptr;
                mappedBytes_ = 0;
            }
            void* memory =
                mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, kWorkerMemoryFd, 0);
            if (memory == MAP_FAILED) {
                throw HostError(std::string("cannot map the frame memory: ") +
                                std::strerror(errno));
            }
            frames_ = static_cast<uint8_t*>(memory);
            mappedBytes_ = bytes;
        }
        return frames_ + kCallPageBytes;
    }

    void Render(MessageReader& reader) {
        const uint32_t width = reader.U32();
        const uint32_t height = reader.U32();
        const bool hasInput = reader.U32() != 0;
        const double seconds = reader.F64();
        const int64_t frameIndex = reader.I64();
        const std::vector<ParameterChange> changes = ReadChanges(reader);
        if (plugin_ == nullptr) {
            throw HostError("no plug-in is loaded");
        }
        if (width < 1 || height < 1 || width > kMaxFrameSide || height > kMaxFrameSide) {
            throw HostError("a frame size out of range");
        }
        uint8_t* frames = MapFrames(width, height);
        ApplyChanges(changes);
        Prepare(width, height);
        FrameKey key;
        key.step = frameIndex >= 0 ? frameIndex : drawing_.timeline->Next();
        key.width = width;
        key.height = height;
        key.hasInput = hasInput;
        key.values = std::to_string(seconds) + '\0';
        for (const ParameterChange& value : values_) {
            key.values += std::to_string(value.index) + (value.isText ? "t" : "f") +
                          std::to_string(value.value) + value.text + '\0';
        }
        uint8_t* output = frames + FrameBytes(width, height);
        if (memo_.Recall(key, frames, output)) {
            return;
        }
        Reach(key.step);
        if (hasInput) {
            drawing_.input->Upload(frames);
        }
        drawing_.instance->SetTime(seconds);
        drawing_.instance->Process(*drawing_.input, *drawing_.target);
        drawing_.timeline->Drew();
        glBindFramebuffer(GL_READ_FRAMEBUFFER, drawing_.target->Framebuffer());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA,
                     GL_UNSIGNED_BYTE, output);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        memo_.Remember(std::move(key), frames, output);
    }

    void Displays(MessageReader& reader, MessageWriter& body) {
        const std::vector<ParameterChange> changes = ReadChanges(reader);
        if (plugin_ == nullptr) {
            throw HostError("no plug-in is loaded");
        }
        ApplyChanges(changes);
        if (drawing_.instance == nullptr) {
            Prepare(64, 64);
        }
        const PluginReport live = ReadPluginReport(*plugin_, drawing_.instance->Handle());
        body.U32(static_cast<uint32_t>(live.parameters.size()));
        for (const ParameterReport& parameter : live.parameters) {
            body.Text(parameter.display);
        }
    }

    std::unique_ptr<StdoutLines> lines_;
    std::unique_ptr<PluginLibrary> plugin_;
    std::unique_ptr<PluginLog> log_;
    PluginReport report_;
    std::unique_ptr<GlContext> context_;
    Drawing drawing_;
    FrameMemo memo_;
    std::vector<ParameterChange> values_;
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
    std::thread(WatchFrontEnd).detach();
    Worker worker;
    worker.Serve();
    return 0;
}
