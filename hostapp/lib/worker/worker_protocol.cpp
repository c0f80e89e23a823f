#include "worker_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

// Longer payloads are refused: a report of kMaxParameters parameters fits easily.
constexpr uint32_t kMaxPayload = 64u << 20;

bool SendAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    auto* bytes = static_cast<uint8_t*>(data);
    while (size > 0) {
        const ssize_t got = read(fd, bytes, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

void MessageWriter::Raw(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + size);
}

void MessageWriter::Text(const std::string& text) {
    U32(static_cast<uint32_t>(text.size()));
    Raw(text.data(), text.size());
}

void MessageReader::Raw(void* data, size_t size) {
    if (bytes_.size() - offset_ < size) {
        throw HostError("a malformed message between the host and its worker");
    }
    std::memcpy(data, bytes_.data() + offset_, size);
    offset_ += size;
}

uint32_t MessageReader::U32() {
    uint32_t value = 0;
    Raw(&value, sizeof value);
    return value;
}

int64_t MessageReader::I64() {
    int64_t value = 0;
    Raw(&value, sizeof value);
    return value;
}

float MessageReader::F32() {
    float value = 0;
    Raw(&value, sizeof value);
    return value;
}

double MessageReader::F64() {
    double value = 0;
    Raw(&value, sizeof value);
    return value;
}

std::string MessageReader::Text() {
    const uint32_t size = U32();
    if (bytes_.size() - offset_ < size) {
        throw HostError("a malformed message between the host and its worker");
    }
    std::string text(reinterpret_cast<const char*>(bytes_.data() + offset_), size);
    offset_ += size;
    return text;
}

void WriteChanges(MessageWriter& writer, const std::vector<ParameterChange>& changes) {
    writer.U32(static_cast<uint32_t>(changes.size()));
    for (const ParameterChange& change : changes) {
        writer.U32(change.index);
        writer.U32(change.isText ? 1 : 0);
        writer.F32(change.value);
        writer.Text(change.text);
    }
}

std::vector<ParameterChange> ReadChanges(MessageReader& reader) {
    const uint32_t count = reader.U32();
    if (count > kMaxParameters) {
        throw HostError("a malformed message between the host and its worker");
    }
    std::vector<ParameterChange> changes(count);
    for (ParameterChange& change : changes) {
        change.index = reader.U32();
        change.isText = reader.U32() != 0;
        change.value = reader.F32();
        change.text = reader.Text();
    }
    return changes;
}

void WriteReport(MessageWriter& writer, const PluginReport& report) {
    writer.Text(report.id);
    writer.Text(report.name);
    for (const uint32_t value : {report.type, report.apiMajor, report.apiMinor, report.versionMajor,
                                 report.versionMinor}) {
        writer.U32(value);
    }
    writer.Text(report.description);
    writer.Text(report.about);
    writer.U32(report.inputsKnown ? 1 : 0);
    writer.U32(report.minimumInputs);
    writer.U32(report.maximumInputs);
    writer.U32(report.supportsHostTime ? 1 : 0);
    writer.U32(static_cast<uint32_t>(report.parameters.size()));
    for (const ParameterReport& parameter : report.parameters) {
        writer.U32(parameter.index);
        writer.Text(parameter.name);
        writer.U32(parameter.type);
        writer.U32(parameter.isText ? 1 : 0);
        writer.F32(parameter.defaultValue);
        writer.Text(parameter.defaultText);
        writer.Text(parameter.display);
        writer.F32(parameter.min);
        writer.F32(parameter.max);
    }
}

PluginReport ReadReport(MessageReader& reader) {
    PluginReport report;
    report.id = reader.Text();
    report.name = reader.Text();
    for (uint32_t* value : {&report.type, &report.apiMajor, &report.apiMinor, &report.versionMajor,
                            &report.versionMinor}) {
        *value = reader.U32();
    }
    report.description = reader.Text();
    report.about = reader.Text();
    report.inputsKnown = reader.U32() != 0;
    report.minimumInputs = reader.U32();
    report.maximumInputs = reader.U32();
    report.supportsHostTime = reader.U32() != 0;
    const uint32_t count = reader.U32();
    if (count > kMaxParameters) {
        throw HostError("a malformed message between the host and its worker");
    }
    report.parameters.resize(count);
    for (ParameterReport& parameter : report.parameters) {
        parameter.index = reader.U32();
        parameter.name = reader.Text();
        parameter.type = reader.U32();
        parameter.isText = reader.U32() != 0;
        parameter.defaultValue = reader.F32();
        parameter.defaultText = reader.Text();
        parameter.display = reader.Text();
        parameter.min = reader.F32();
        parameter.max = reader.F32();
    }
    return report;
}

bool SendMessage(int fd, MessageType type, const std::vector<uint8_t>& payload) {
    const uint32_t header[2] = {static_cast<uint32_t>(type), static_cast<uint32_t>(payload.size())};
    return SendAll(fd, header, sizeof header) &&
           (payload.empty() || SendAll(fd, payload.data(), payload.size()));
}

bool ReceiveMessage(int fd, MessageType& type, std::vector<uint8_t>& payload) {
    uint32_t header[2] = {0, 0};
    if (!ReadAll(fd, header, sizeof header) || header[1] > kMaxPayload) {
        return false;
    }
    type = static_cast<MessageType>(header[0]);
    payload.resize(header[1]);
    return header[1] == 0 || ReadAll(fd, payload.data(), payload.size());
}

}  // namespace ffglhost
