#include "obs/frame_transport.h"

#include <cstring>
#include <utility>

namespace ffglobs {

namespace {

uint64_t Elapsed(std::chrono::steady_clock::time_point since) {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now() - since)
                                     .count());
}

}  // namespace

StagedCopyTransport::~StagedCopyTransport() = default;

void StagedCopyTransport::Forget() {
    for (Stage& stage : stages_) {
        stage.queued = false;
    }
}

void StagedCopyTransport::ReleaseGraphics() {
    for (Stage& stage : stages_) {
        gs_stagesurface_destroy(stage.surface);
        stage = Stage();
    }
    gs_texture_destroy(texture_);
    texture_ = nullptr;
    textureWidth_ = textureHeight_ = 0;
    stageWidth_ = stageHeight_ = 0;
}

void StagedCopyTransport::Send(gs_texture_t* texture, uint32_t width, uint32_t height,
                               const FrameStamp& stamp) {
    const auto start = std::chrono::steady_clock::now();
    if (width != stageWidth_ || height != stageHeight_) {
        for (Stage& stage : stages_) {
            gs_stagesurface_destroy(stage.surface);
            stage = Stage();
            stage.surface = gs_stagesurface_create(width, height, GS_RGBA);
        }
        stageWidth_ = width;
        stageHeight_ = height;
    }
    // The stage queued on the previous frame is mapped now; this frame's copy is queued
    // into the next stage and mapped on the next frame.
    Stage& previous = stages_[(next_ + kStages - 1) % kStages];
    Stage& current = stages_[next_];
    next_ = (next_ + 1) % kStages;
    if (current.surface == nullptr) {
        return;
    }
    gs_stage_texture(current.surface, texture);
    current.queued = true;
    current.stamp = stamp;
    stats_.stageNs += Elapsed(start);
    const auto copyStart = std::chrono::steady_clock::now();

    uint8_t* data = nullptr;
    uint32_t linesize = 0;
    if (!previous.queued || previous.surface == nullptr ||
        !gs_stagesurface_map(previous.surface, &data, &linesize)) {
        return;
    }
    previous.queued = false;
    const size_t row = size_t{width} * 4;
    fill_.width = width;
    fill_.height = height;
    fill_.stamp = previous.stamp;
    fill_.pixels.resize(row * height);
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(fill_.pixels.data() + y * row, data + size_t{y} * linesize, row);
    }
    gs_stagesurface_unmap(previous.surface);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (hasPending_) {
            ++stats_.dropped;
        }
        std::swap(fill_, pending_);
        hasPending_ = true;
    }
    wakeUp_.notify_one();
    ++stats_.sent;
    stats_.copyNs += Elapsed(copyStart);
}

gs_texture_t* StagedCopyTransport::Latest(uint32_t width, uint32_t height, FrameStamp* stamp) {
    bool fresh = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (hasResult_) {
            std::swap(result_, shown_);
            hasResult_ = false;
            fresh = true;
        }
    }
    if (fresh) {
        const auto start = std::chrono::steady_clock::now();
        if (texture_ == nullptr || textureWidth_ != shown_.width ||
            textureHeight_ != shown_.height) {
            gs_texture_destroy(texture_);
            texture_ =
                gs_texture_create(shown_.width, shown_.height, GS_RGBA, 1, nullptr, GS_DYNAMIC);
            textureWidth_ = texture_ != nullptr ? shown_.width : 0;
            textureHeight_ = texture_ != nullptr ? shown_.height : 0;
        }
        if (texture_ != nullptr) {
            gs_texture_set_image(texture_, shown_.pixels.data(), shown_.width * 4, false);
            textureStamp_ = shown_.stamp;
            ++stats_.received;
        }
        stats_.copyNs += Elapsed(start);
    }
    if (texture_ == nullptr || textureWidth_ != width || textureHeight_ != height) {
        return nullptr;
    }
    *stamp = textureStamp_;
    return texture_;
}

bool StagedCopyTransport::Take(ffglhost::WorkerFrame& frame, std::chrono::milliseconds wait) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wakeUp_.wait_for(lock, wait, [this] { return hasPending_ || woken_; });
        woken_ = false;
        if (!hasPending_) {
            return false;
        }
        std::swap(pending_, work_);
        hasPending_ = false;
    }
    workResult_.width = work_.width;
    workResult_.height = work_.height;
    workResult_.stamp = work_.stamp;
    workResult_.pixels.resize(work_.pixels.size());
    frame.width = work_.width;
    frame.height = work_.height;
    frame.input = work_.pixels.data();
    frame.output = workResult_.pixels.data();
    frame.hostSeconds = work_.stamp.seconds;
    frame.frameIndex = work_.stamp.frameIndex;
    return true;
}

void StagedCopyTransport::Done() {
    ++stats_.drawn;
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(workResult_, result_);
    hasResult_ = true;
}

void StagedCopyTransport::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wakeUp_.notify_one();
}

}  // namespace ffglobs
