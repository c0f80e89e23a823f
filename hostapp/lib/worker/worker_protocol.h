// What the worker client and the worker say to each other. Requests and answers are
// messages on a stream socket: a 4-byte type, a 4-byte payload length, the payload
// (numbers little-endian as the machine stores them, texts as a length and bytes).
// Every message is one struct below whose Fields() lists its fields once: the same code
// writes it on one side and reads it on the other.
//
// The first request is a Hello carrying kProtocolVersion; a worker of another version
// answers kWrongVersion and nothing else. The answer header (status, message) and the
// Hello's first field never change between versions, so the two sides can always tell
// each other which versions they speak.
//
// Frames do not travel on the socket: both sides map one shared memory file holding the
// call record of the plug-in call in flight, then two input slots (width x height RGBA8,
// bottom row first as GL takes them) and two output slots (top row first). Two slots let the client
// fill the next input and empty the last output while the worker draws.
#ifndef FFGLHOST_WORKER_PROTOCOL_H
#define FFGLHOST_WORKER_PROTOCOL_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "lib/host_error.h"
#include "lib/plugin/parameter_values.h"
#include "lib/plugin/plugin_report.h"

namespace ffglhost {

// Raised when the version changes what any message holds.
constexpr uint32_t kProtocolVersion = 2;

// The file descriptors the worker finds open when it starts.
constexpr int kWorkerSocketFd = 3;
constexpr int kWorkerMemoryFd = 4;

// The plug-in's clock moves one step every 60th of a second: a frame at t seconds is step
// round(60 t), whatever the frame rate, in every front end.
constexpr double kStepsPerSecond = 60.0;
inline int64_t StepAt(double seconds) {
    return std::llround(seconds * kStepsPerSecond);
}

// The largest frame side the worker draws, and so every front end takes.
constexpr uint32_t kMaxFrameSide = 16384;

// The shared memory: the call record page, then the input slots, then the output slots,
// each big enough for the larger of the input and the output frame.
constexpr size_t kCallPageBytes = 4096;
constexpr uint32_t kFrameSlots = 2;
inline size_t FrameBytes(uint32_t width, uint32_t height) {
    return size_t{width} * height * 4;
}
inline size_t SharedBytes(size_t slotBytes) {
    return kCallPageBytes + 2 * kFrameSlots * slotBytes;
}
inline size_t InputOffset(uint32_t slot, size_t slotBytes) {
    return kCallPageBytes + slot * slotBytes;
}
inline size_t OutputOffset(uint32_t slot, size_t slotBytes) {
    return kCallPageBytes + (kFrameSlots + slot) * slotBytes;
}

enum class MessageType : uint32_t {
    kLoad = 1,
    kRender = 2,
    kDisplays = 3,
    kHello = 4,
    kLimits = 5,
    kRelease = 6,
    kAnswer = 100,
};

// Answer statuses.
enum class AnswerStatus : uint32_t {
    kOk = 0,
    kFailed = 1,        // the plug-in refused or the request could not be done
    kNoContext = 2,     // no GL context
    kWrongVersion = 3,  // the body is the worker's version
    kGpuBusy = 4,       // the plug-in's drawing outlived the call limit
};

// A message failed to parse: too short, too long or with a count out of range.
class ProtocolError : public HostError {
  public:
    ProtocolError() : HostError("a malformed message between the host and its worker") {}
};

// Builds a payload; the call operators let Fields() write a message.
class MessageWriter {
  public:
    void Raw(const void* data, size_t size);
    template <class T>
    std::enable_if_t<std::is_arithmetic_v<T>> operator()(const T& value) {
        Raw(&value, sizeof value);
    }
    void operator()(const std::string& text);
    template <class T>
    void operator()(const std::vector<T>& items) {
        (*this)(static_cast<uint32_t>(items.size()));
        for (const T& item : items) {
            (*this)(item);
        }
    }
    template <class T, class = decltype(&T::template Fields<MessageWriter>)>
    void operator()(const T& message) {
        // Fields() only reads through a writer.
        const_cast<T&>(message).Fields(*this);
    }
    void operator()(bool value) { (*this)(static_cast<uint8_t>(value ? 1 : 0)); }
    void operator()(const ParameterReport& parameter);
    void operator()(const PluginReport& report);
    void operator()(const ParameterChange& change);
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

// Reads a payload; throws ProtocolError when it runs short or a count is out of range.
class MessageReader {
  public:
    MessageReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit MessageReader(const std::vector<uint8_t>& bytes)
        : MessageReader(bytes.data(), bytes.size()) {}
    void Raw(void* data, size_t size);
    template <class T>
    std::enable_if_t<std::is_arithmetic_v<T>> operator()(T& value) {
        Raw(&value, sizeof value);
    }
    void operator()(std::string& text);
    template <class T>
    void operator()(std::vector<T>& items) {
        uint32_t count = 0;
        (*this)(count);
        // Every item takes at least a byte, so no count beyond what is left is real.
        if (count > size_ - offset_) {
            throw ProtocolError();
        }
        items.resize(count);
        for (T& item : items) {
            (*this)(item);
        }
    }
    template <class T, class = decltype(&T::template Fields<MessageReader>)>
    void operator()(T& message) {
        message.Fields(*this);
    }
    // 0 or 1; anything else is a breach.
    void operator()(bool& value);
    void operator()(ParameterReport& parameter);
    void operator()(PluginReport& report);
    void operator()(ParameterChange& change);
    size_t Left() const { return size_ - offset_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

// The first request. The version stays the first field in every version.
struct HelloRequest {
    static constexpr MessageType kType = MessageType::kHello;
    uint32_t version = kProtocolVersion;
    double callTimeoutSeconds = 0.0;  // the worker waits this long for the GPU (0: no limit)
    std::string logPrefix;
    uint8_t quiet = 0;
    template <class F>
    void Fields(F& f) {
        f(version), f(callTimeoutSeconds), f(logPrefix), f(quiet);
    }
};
struct HelloAnswer {
    uint32_t version = kProtocolVersion;
    template <class F>
    void Fields(F& f) {
        f(version);
    }
};

struct LoadRequest {
    static constexpr MessageType kType = MessageType::kLoad;
    std::string path;
    template <class F>
    void Fields(F& f) {
        f(path);
    }
};
struct LoadAnswer {
    PluginReport report;
    uint8_t hasLogCallback = 0;
    uint32_t thumbnailWidth = 0;  // 0: no thumbnail
    uint32_t thumbnailHeight = 0;
    std::vector<uint8_t> thumbnail;  // RGBA, top row first
    template <class F>
    void Fields(F& f) {
        f(report), f(hasLogCallback), f(thumbnailWidth), f(thumbnailHeight), f(thumbnail);
    }
};

// Makes the GL context; answers its size limits.
struct LimitsRequest {
    static constexpr MessageType kType = MessageType::kLimits;
    template <class F>
    void Fields(F&) {}
};
struct LimitsAnswer {
    uint32_t maxTextureSize = 0;
    uint32_t maxRenderbufferSize = 0;
    uint32_t maxViewportWidth = 0;
    uint32_t maxViewportHeight = 0;
    uint32_t maxFramebufferWidth = 0;
    uint32_t maxFramebufferHeight = 0;
    template <class F>
    void Fields(F& f) {
        f(maxTextureSize), f(maxRenderbufferSize), f(maxViewportWidth), f(maxViewportHeight),
            f(maxFramebufferWidth), f(maxFramebufferHeight);
    }
};

struct RenderRequest {
    static constexpr MessageType kType = MessageType::kRender;
    uint32_t slot = 0;
    uint32_t width = 0;  // the output's size
    uint32_t height = 0;
    uint32_t inputWidth = 0;  // the input texture's size
    uint32_t inputHeight = 0;
    uint8_t hasInput = 0;  // 0: the input slot is not read (the texture keeps what it had)
    uint8_t padInput = 0;  // the input texture padded to power-of-two sizes
    double hostSeconds = 0.0;
    int64_t frameIndex = -1;  // the plug-in's step; -1: the next one
    std::vector<ParameterChange> changes;
    size_t SlotBytes() const {
        return std::max(FrameBytes(width, height), FrameBytes(inputWidth, inputHeight));
    }
    template <class F>
    void Fields(F& f) {
        f(slot), f(width), f(height), f(inputWidth), f(inputHeight), f(hasInput), f(padInput),
            f(hostSeconds), f(frameIndex), f(changes);
    }
};
struct EmptyAnswer {
    template <class F>
    void Fields(F&) {}
};

// The display texts of a live instance of this size.
struct DisplaysRequest {
    static constexpr MessageType kType = MessageType::kDisplays;
    uint32_t width = 64;
    uint32_t height = 64;
    std::vector<ParameterChange> changes;
    template <class F>
    void Fields(F& f) {
        f(width), f(height), f(changes);
    }
};
struct DisplaysAnswer {
    std::vector<std::string> displays;
    template <class F>
    void Fields(F& f) {
        f(displays);
    }
};

// Deinstantiates the instance, so that a failure there is reported while someone waits.
struct ReleaseRequest {
    static constexpr MessageType kType = MessageType::kRelease;
    template <class F>
    void Fields(F&) {}
};

// Every answer starts with this header.
struct AnswerHeader {
    uint32_t status = static_cast<uint32_t>(AnswerStatus::kOk);
    std::string message;
    template <class F>
    void Fields(F& f) {
        f(status), f(message);
    }
};

template <class Message>
std::vector<uint8_t> Encode(const Message& message) {
    MessageWriter writer;
    writer(message);
    return writer.Bytes();
}

// Reads a whole message from `reader`: anything short, long or out of range throws
// ProtocolError.
template <class Message>
Message Decode(MessageReader& reader) {
    Message message;
    reader(message);
    if (reader.Left() != 0) {
        throw ProtocolError();
    }
    return message;
}

// Longer payloads are a breach of the protocol: a report of kMaxParameters parameters
// and the largest thumbnail fit easily.
constexpr uint32_t kMaxPayload = 64u << 20;

// Sends a whole message; false when the peer is gone. Never raises SIGPIPE.
bool SendMessage(int fd, MessageType type, const std::vector<uint8_t>& payload);
// Reads a whole message, blocking; false at end of stream, on an error or a payload
// longer than kMaxPayload.
bool ReceiveMessage(int fd, MessageType& type, std::vector<uint8_t>& payload);

}  // namespace ffglhost

#endif  // FFGLHOST_WORKER_PROTOCOL_H
