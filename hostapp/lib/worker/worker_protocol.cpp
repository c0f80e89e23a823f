#include "worker_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

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

void MessageWriter::operator()(const std::string& text) {
    (*this)(static_cast<uint32_t>(text.size()));
    Raw(text.data(), text.size());
}

void MessageReader::Raw(void* data, size_t size) {
    if (size_ - offset_ < size) {
        throw ProtocolError();
    }
    std::memcpy(data, data_ + offset_, size);
    offset_ += size;
}

void MessageReader::operator()(std::string& text) {
    uint32_t size = 0;
    (*this)(size);
    if (size_ - offset_ < size) {
        throw ProtocolError();
    }
    text.assign(reinterpret_cast<const char*>(data_ + offset_), size);
    offset_ += size;
}

namespace {

// The fields of a report, for both directions.
template <class F, class Parameter>
void ParameterFields(F& f, Parameter& p) {
    f(p.index), f(p.name), f(p.type), f(p.isText), f(p.defaultValue), f(p.defaultText),
        f(p.display), f(p.min), f(p.max);
}

template <class F, class Change>
void ChangeFields(F& f, Change& c) {
    f(c.index), f(c.isText), f(c.value), f(c.text);
}

template <class F, class Report>
void ReportFields(F& f, Report& r) {
    f(r.id), f(r.name), f(r.type), f(r.apiMajor), f(r.apiMinor), f(r.versionMajor),
        f(r.versionMinor), f(r.description), f(r.about), f(r.inputsKnown), f(r.minimumInputs),
        f(r.maximumInputs), f(r.supportsHostTime), f(r.parameters);
}

}  // namespace

void MessageWriter::operator()(const ParameterReport& parameter) {
    ParameterFields(*this, parameter);
}

void MessageWriter::operator()(const PluginReport& report) {
    ReportFields(*this, report);
}

void MessageWriter::operator()(const ParameterChange& change) {
    ChangeFields(*this, change);
}

void MessageReader::operator()(bool& value) {
    uint8_t byte = 0;
    (*this)(byte);
    if (byte > 1) {
        throw ProtocolError();
    }
    value = byte != 0;
}

void MessageReader::operator()(ParameterChange& change) {
    ChangeFields(*this, change);
}

void MessageReader::operator()(ParameterReport& parameter) {
    ParameterFields(*this, parameter);
}

void MessageReader::operator()(PluginReport& report) {
    ReportFields(*this, report);
    if (report.parameters.size() > kMaxParameters) {
        throw ProtocolError();
    }
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
