// What the worker client and the worker say to each other. Requests and answers are
// messages on a stream socket: a 4-byte type, a 4-byte payload length, the payload
// (numbers little-endian as the machine stores them, texts as a length and bytes).
// Frames do not travel on the socket: both sides map one shared memory file holding the
// call record of the plug-in call in flight, then the input frame and the output frame,
// each width x height RGBA8, bottom row first (GL order).
#ifndef FFGLHOST_WORKER_PROTOCOL_H
#define FFGLHOST_WORKER_PROTOCOL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/plugin/plugin_report.h"

namespace ffglhost {

// The file descriptors the worker finds open when it starts.
constexpr int kWorkerSocketFd = 3;
constexpr int kWorkerMemoryFd = 4;

// The shared memory: the call record page, then the two frames.
constexpr size_t kCallPageBytes = 4096;
constexpr uint32_t kMaxFrameSide = 16384;
inline size_t FrameBytes(uint32_t width, uint32_t height) {
    return size_t{width} * height * 4;
}
inline size_t SharedBytes(uint32_t width, uint32_t height) {
    return kCallPageBytes + 2 * FrameBytes(width, height);
}

enum class MessageType : uint32_t {
    kLoad = 1,      // path, log prefix, quiet -> answer with the plug-in report
    kRender = 2,    // frame + changed parameters -> answer
    kDisplays = 3,  // changed parameters -> answer with one text per parameter
    kAnswer = 100,  // status (0 ok), message, payload of the request
};

// Builds a payload.
class MessageWriter {
  public:
    void U32(uint32_t value) { Raw(&value, sizeof value); }
    void I64(int64_t value) { Raw(&value, sizeof value); }
    void F32(float value) { Raw(&value, sizeof value); }
    void F64(double value) { Raw(&value, sizeof value); }
    void Text(const std::string& text);
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    void Raw(const void* data, size_t size);
    std::vector<uint8_t> bytes_;
};

// Reads a payload; throws HostError when it runs short (a malformed message).
class MessageReader {
  public:
    explicit MessageReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint32_t U32();
    int64_t I64();
    float F32();
    double F64();
    std::string Text();

  private:
    void Raw(void* data, size_t size);
    const std::vector<uint8_t>& bytes_;
    size_t offset_ = 0;
};

// One parameter change carried with a request.
struct ParameterChange {
    uint32_t index = 0;
    bool isText = false;
    float value = 0.0f;
    std::string text;
};
void WriteChanges(MessageWriter& writer, const std::vector<ParameterChange>& changes);
std::vector<ParameterChange> ReadChanges(MessageReader& reader);

void WriteReport(MessageWriter& writer, const PluginReport& report);
PluginReport ReadReport(MessageReader& reader);

// Sends a whole message; false when the peer is gone. Never raises SIGPIPE.
bool SendMessage(int fd, MessageType type, const std::vector<uint8_t>& payload);
// Reads a whole message, blocking; false at end of stream or on an error.
bool ReceiveMessage(int fd, MessageType& type, std::vector<uint8_t>& payload);

}  // namespace ffglhost

#endif  // FFGLHOST_WORKER_PROTOCOL_H
