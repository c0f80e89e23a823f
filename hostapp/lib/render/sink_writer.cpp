#include "sink_writer.h"

namespace ffglhost {

SinkWriter::SinkWriter(FrameSink& sink, size_t queueCapacity)
    : sink_(sink), queue_(queueCapacity), thread_([this] { Run(); }) {}

SinkWriter::~SinkWriter() {
    queue_.Abandon();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SinkWriter::Run() {
    uint64_t index = 0;
    Image frame;
    while (queue_.Pop(frame)) {
        try {
            sink_.Write(frame, index++);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            failure_ = std::current_exception();
            queue_.Abandon();
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        spare_.push_back(std::move(frame));
    }
}

void SinkWriter::RethrowFailure() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

Image SinkWriter::TakeBuffer() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.empty()) {
        return Image();
    }
    Image buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
}

void SinkWriter::Push(Image frame) {
    if (!queue_.Push(frame)) {
        RethrowFailure();
    }
    RethrowFailure();
}

void SinkWriter::Finish() {
    queue_.Close();
    thread_.join();
    RethrowFailure();
    sink_.Finish();
}

}  // namespace ffglhost
