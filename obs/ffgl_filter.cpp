#include "obs/ffgl_filter.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lib/worker/worker_client.h"
#include "obs/frame_transport.h"
#include "obs/plugin_output.h"

namespace ffglobs {

namespace {

// A result older than this (on the filter's clock) is not shown: the worker is stuck in
// a call, and the live source is better than a frozen picture.
constexpr double kStaleSeconds = 1.0;
// A gap longer than this between two drawn frames (the filter was hidden) counts as one
// frame, so that the plug-in does not catch up on every step it missed.
constexpr uint64_t kLongGapNs = 1000000000;
constexpr auto kIdleWait = std::chrono::milliseconds(100);
constexpr auto kStopGrace = std::chrono::milliseconds(500);

const char kStatusKey[] = "ffgl_status";
const char kRestartKey[] = "ffgl_restart";

std::string SettingKey(const ffglhost::ParameterReport& parameter) {
    return "p" + std::to_string(parameter.index);
}

float Low(const ffglhost::ParameterReport& p) {
    return std::min(p.min, p.max);
}

float High(const ffglhost::ParameterReport& p) {
    return std::max(p.min, p.max);
}

class Filter {
  public:
    Filter(obs_source_t* source, const FilterKind& kind)
        : source_(source),
          kind_(kind),
          output_(kind.entry.report.name + " (" + kind.entry.path + ")"),
          client_(Options(kind, output_.WriteFd())),
          transport_(std::make_unique<StagedCopyTransport>()),
          values_(kind.entry.report.parameters) {
        for (const ffglhost::ParameterReport& parameter : values_.Parameters()) {
            displays_.push_back(parameter.display);
        }
        obs_enter_graphics();
        texrender_ = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
        obs_leave_graphics();
        thread_ = std::thread([this] { WorkerLoop(); });
    }

    ~Filter() {
        stopping_ = true;
        transport_->Wake();
        // A plug-in call in flight (a hang) is cut short by cancelling it.
        const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
        while (busy_ && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (busy_) {
            client_.Cancel();  // loading or drawing: the worker ends at once
        }
        thread_.join();
        LogSummary();
        obs_enter_graphics();
        transport_->ReleaseGraphics();
        gs_texrender_destroy(texrender_);
        obs_leave_graphics();
    }

    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    void Update(obs_data_t* settings) {
        const auto& parameters = kind_.entry.report.parameters;
        std::lock_guard<std::mutex> lock(valuesMutex_);
        for (size_t i = 0; i < parameters.size(); ++i) {
            const ffglhost::ParameterReport& p = parameters[i];
            const std::string key = SettingKey(p);
            if (p.isText) {
                const char* text = obs_data_get_string(settings, key.c_str());
                values_.SetText(i, text != nullptr ? text : "");
            } else if (ffglhost::IsSwitch(p)) {
                values_.SetSlider(i, obs_data_get_bool(settings, key.c_str()) ? 1.0 : 0.0);
            } else {
                const double value = obs_data_get_double(settings, key.c_str());
                const float kept = values_.Clamp(i, value);
                if (kept != static_cast<float>(value)) {
                    // A scene collection written by hand or by an older plug-in: the
                    // value kept is the one drawn.
                    obs_data_set_double(settings, key.c_str(), kept);
                }
            }
        }
        valuesChanged_ = true;
    }

    void Render() {
        obs_source_t* target = obs_filter_get_target(source_);
        obs_source_t* parent = obs_filter_get_parent(source_);
        const uint32_t width = target != nullptr ? obs_source_get_base_width(target) : 0;
        const uint32_t height = target != nullptr ? obs_source_get_base_height(target) : 0;
        if (target == nullptr || parent == nullptr || texrender_ == nullptr || failed_) {
            // After a restart, no result from before the failure is shown again.
            firstSerial_ = serial_ + 1;
            obs_source_skip_video_filter(source_);
            return;
        }
        if (width < 1 || height < 1 || width > ffglhost::kMaxFrameSide ||
            height > ffglhost::kMaxFrameSide) {
            // Each once per filter: a media source is 0x0 until its first frame, every time.
            const bool empty = width == 0 || height == 0;
            if (empty && !emptyNoted_) {
                blog(LOG_INFO,
                     "[ffgl-obs] %s: the source has no picture yet (%ux%u); it is shown "
                     "unfiltered until it has one",
                     Name(), width, height);
            } else if (!empty && !sizeNoted_) {
                blog(LOG_WARNING,
                     "[ffgl-obs] %s: a source of %ux%u passes through unfiltered (sizes run "
                     "from 1 to %u)",
                     Name(), width, height, ffglhost::kMaxFrameSide);
            }
            (empty ? emptyNoted_ : sizeNoted_) = true;
            obs_source_skip_video_filter(source_);
            return;
        }

        // One capture per video frame: a second draw in the same frame (a projector, a
        // screenshot) shows the same picture.
        const uint64_t frameNs = obs_get_video_frame_time();
        if (frameNs != lastFrameNs_ || width != capturedWidth_ || height != capturedHeight_) {
            Capture(frameNs, width, height);
        }
        gs_texture_t* input = gs_texrender_get_texture(texrender_);
        FrameStamp stamp;
        gs_texture_t* result = transport_->Latest(width, height, &stamp);
        if (result != nullptr &&
            (clockNs_ * 1e-9 - stamp.seconds > kStaleSeconds || stamp.serial < firstSerial_)) {
            result = nullptr;
        }
        if (result != nullptr && stamp.serial != lastShownSerial_) {
            lastShownSerial_ = stamp.serial;
            const uint64_t delay = serial_ - stamp.serial;
            delayTotal_ += delay;
            delayMax_ = std::max<uint64_t>(delayMax_, delay);
            ++shown_;
        }
        Draw(result != nullptr ? result : input, width, height);
    }

    obs_properties_t* Properties() {
        obs_properties_t* properties = obs_properties_create();
        const auto& parameters = kind_.entry.report.parameters;
        std::vector<std::string> displays;
        {
            std::lock_guard<std::mutex> lock(valuesMutex_);
            displays = displays_;
        }
        for (size_t i = 0; i < parameters.size(); ++i) {
            const ffglhost::ParameterReport& p = parameters[i];
            const std::string key = SettingKey(p);
            if (p.isText) {
                obs_properties_add_text(properties, key.c_str(), p.name.c_str(), OBS_TEXT_DEFAULT);
            } else if (ffglhost::IsSwitch(p)) {
                obs_properties_add_bool(properties, key.c_str(), p.name.c_str());
            } else {
                const double span = static_cast<double>(High(p)) - Low(p);
                obs_property_t* slider =
                    obs_properties_add_float_slider(properties, key.c_str(), p.name.c_str(), Low(p),
                                                    High(p), span > 0.0 ? span / 1000.0 : 0.001);
                std::string tip = "Takes values " + values_.RangeText(i);
                if (!displays[i].empty()) {
                    tip += "; the plug-in shows it as " + displays[i];
                }
                obs_property_set_long_description(slider, tip.c_str());
            }
        }
        const std::string status = Status();
        obs_property_t* info =
            obs_properties_add_text(properties, kStatusKey, status.c_str(), OBS_TEXT_INFO);
        obs_property_text_set_info_type(info, failed_ ? OBS_TEXT_INFO_ERROR : OBS_TEXT_INFO_NORMAL);
        obs_property_text_set_info_word_wrap(info, true);
        obs_properties_add_button2(properties, kRestartKey, obs_module_text("Restart"), OnRestart,
                                   this);
        return properties;
    }

  private:
    static ffglhost::WorkerOptions Options(const FilterKind& kind, int outputFd) {
        ffglhost::WorkerOptions options;
        options.errorFd = outputFd;
        options.workerPath = kind.workerPath;
        options.callTimeoutSeconds = kind.callTimeoutSeconds;
        options.logPrefix = "[ffgl-obs: " + kind.entry.report.name + "] ";
        return options;
    }

    static bool OnRestart(obs_properties_t*, obs_property_t*, void* data) {
        auto* filter = static_cast<Filter*>(data);
        filter->restartRequested_ = true;
        filter->transport_->Wake();
        return true;
    }

    const char* Name() const { return kind_.entry.report.name.c_str(); }

    std::string Status() {
        if (failed_) {
            std::lock_guard<std::mutex> lock(valuesMutex_);
            return failure_ + ". The source is shown unfiltered; Restart tries again.";
        }
        std::string status = "Runs in ffgl-worker (" + kind_.entry.path + ").";
        const uint64_t shown = shown_;
        if (shown > 0) {
            char text[96];
            std::snprintf(text, sizeof text, " Results are shown %.1f frames after their capture.",
                          static_cast<double>(delayTotal_) / static_cast<double>(shown));
            status += text;
        }
        return status;
    }

    void Capture(uint64_t frameNs, uint32_t width, uint32_t height) {
        if (lastFrameNs_ != 0 && frameNs > lastFrameNs_) {
            uint64_t gap = frameNs - lastFrameNs_;
            if (gap > kLongGapNs) {
                gap = obs_get_frame_interval_ns();
                transport_->Forget();
            }
            clockNs_ += gap;
        }
        lastFrameNs_ = frameNs;
        capturedWidth_ = width;
        capturedHeight_ = height;

        gs_texrender_reset(texrender_);
        gs_blend_state_push();
        gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
        if (gs_texrender_begin(texrender_, width, height)) {
            vec4 clear;
            vec4_zero(&clear);
            gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
            gs_ortho(0.0f, static_cast<float>(width), 0.0f, static_cast<float>(height), -100.0f,
                     100.0f);
            if (obs_source_process_filter_begin(source_, GS_RGBA, OBS_ALLOW_DIRECT_RENDERING)) {
                obs_source_process_filter_end(source_, obs_get_base_effect(OBS_EFFECT_DEFAULT),
                                              width, height);
            }
            gs_texrender_end(texrender_);
        }
        gs_blend_state_pop();

        FrameStamp stamp;
        stamp.seconds = static_cast<double>(clockNs_) * 1e-9;
        stamp.frameIndex = ffglhost::StepAt(stamp.seconds);
        stamp.serial = ++serial_;
        transport_->Send(gs_texrender_get_texture(texrender_), width, height, stamp);
    }

    static void Draw(gs_texture_t* texture, uint32_t width, uint32_t height) {
        gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
        while (gs_effect_loop(effect, "Draw")) {
            obs_source_draw(texture, 0, 0, width, height, false);
        }
    }

    // The worker thread: draws each frame the transport brings through the plug-in.
    void WorkerLoop() {
        while (!stopping_) {
            ffglhost::WorkerFrame frame;
            const bool taken = transport_->Take(frame, kIdleWait);
            if (restartRequested_.exchange(false)) {
                client_.Stop();
                failed_ = false;
                blog(LOG_INFO, "[ffgl-obs] %s: restarted", Name());
            }
            if (!taken || stopping_ || failed_) {
                continue;
            }
            busy_ = true;
            const auto start = std::chrono::steady_clock::now();
            try {
                if (!client_.Loaded()) {
                    client_.Load(kind_.entry.path);
                }
                const bool changed = SendValues();
                client_.Render(frame);
                transport_->Stats().workerNs +=
                    static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::steady_clock::now() - start)
                                              .count());
                transport_->Done();
                if (changed) {
                    const std::vector<std::string> displays = client_.ParameterDisplays();
                    std::lock_guard<std::mutex> lock(valuesMutex_);
                    displays_ = displays;
                    displays_.resize(values_.Size());
                }
            } catch (const std::exception& error) {
                Fail(error.what());
            }
            busy_ = false;
        }
    }

    // Hands the current values to the client; true when they changed since last time.
    bool SendValues() {
        if (!valuesChanged_.exchange(false)) {
            return false;
        }
        std::lock_guard<std::mutex> lock(valuesMutex_);
        client_.SetValues(values_);
        return true;
    }

    void Fail(const std::string& what) {
        if (stopping_) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(valuesMutex_);
            failure_ = "The FFGL plug-in " + kind_.entry.report.name + " (" + kind_.entry.path +
                       ") stopped: " + what;
        }
        failed_ = true;
        // Values are sent again to the next worker.
        valuesChanged_ = true;
        blog(LOG_WARNING,
             "[ffgl-obs] %s (%s): %s; the source is shown unfiltered until Restart in the "
             "filter's properties",
             Name(), kind_.entry.path.c_str(), what.c_str());
    }

    void LogSummary() {
        const TransportStats& stats = transport_->Stats();
        const uint64_t sent = stats.sent;
        const uint64_t received = stats.received;
        const uint64_t shown = shown_;
        if (sent == 0 || received == 0 || shown == 0) {
            return;
        }
        blog(LOG_INFO,
             "[ffgl-obs] %s: %llu frames sent, %llu dropped, %llu drawn by the plug-in, %llu "
             "uploaded; shown %.2f frames after capture (at most %llu); staging %.3f ms, "
             "transport %.3f ms, plug-in worker %.3f ms a frame",
             Name(), static_cast<unsigned long long>(sent),
             static_cast<unsigned long long>(stats.dropped.load()),
             static_cast<unsigned long long>(stats.drawn.load()),
             static_cast<unsigned long long>(received),
             static_cast<double>(delayTotal_) / static_cast<double>(shown),
             static_cast<unsigned long long>(delayMax_),
             static_cast<double>(stats.stageNs) * 1e-6 / static_cast<double>(sent),
             static_cast<double>(stats.copyNs) * 1e-6 / static_cast<double>(sent),
             static_cast<double>(stats.workerNs) * 1e-6 /
                 static_cast<double>(std::max<uint64_t>(stats.drawn, 1)));
    }

    obs_source_t* source_;
    const FilterKind& kind_;
    PluginOutput output_;            // outlives the client and its worker
    ffglhost::WorkerClient client_;  // worker thread only
    std::unique_ptr<FrameTransport> transport_;
    gs_texrender_t* texrender_ = nullptr;
    std::thread thread_;

    std::mutex valuesMutex_;  // guards values_, displays_, failure_
    ffglhost::ParameterValues values_;
    std::vector<std::string> displays_;
    std::string failure_;
    std::atomic<bool> valuesChanged_{true};
    std::atomic<bool> failed_{false};
    std::atomic<bool> restartRequested_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> busy_{false};

    // Render thread.
    uint64_t lastFrameNs_ = 0;
    uint64_t clockNs_ = 0;
    uint64_t serial_ = 0;
    uint64_t firstSerial_ = 0;  // results captured before this one are not shown
    uint32_t capturedWidth_ = 0;
    uint32_t capturedHeight_ = 0;
    bool sizeNoted_ = false;
    bool emptyNoted_ = false;
    uint64_t lastShownSerial_ = 0;
    std::atomic<uint64_t> delayTotal_{0};
    std::atomic<uint64_t> delayMax_{0};
    std::atomic<uint64_t> shown_{0};
};

const FilterKind& KindOf(void* typeData) {
    return *static_cast<const FilterKind*>(typeData);
}

const char* GetName(void* typeData) {
    return KindOf(typeData).entry.report.name.c_str();
}

void* Create(obs_data_t* settings, obs_source_t* source) {
    const FilterKind& kind = KindOf(obs_source_get_type_data(source));
    auto* filter = new Filter(source, kind);
    filter->Update(settings);
    return filter;
}

void Destroy(void* data) {
    delete static_cast<Filter*>(data);
}

void Update(void* data, obs_data_t* settings) {
    static_cast<Filter*>(data)->Update(settings);
}

void Render(void* data, gs_effect_t*) {
    static_cast<Filter*>(data)->Render();
}

obs_properties_t* Properties(void* data, void*) {
    return data != nullptr ? static_cast<Filter*>(data)->Properties() : obs_properties_create();
}

void Defaults(void* typeData, obs_data_t* settings) {
    for (const ffglhost::ParameterReport& p : KindOf(typeData).entry.report.parameters) {
        const std::string key = SettingKey(p);
        if (p.isText) {
            obs_data_set_default_string(settings, key.c_str(), p.defaultText.c_str());
        } else if (ffglhost::IsSwitch(p)) {
            obs_data_set_default_bool(settings, key.c_str(), p.defaultValue > (p.min + p.max) / 2);
        } else {
            obs_data_set_default_double(settings, key.c_str(),
                                        std::clamp(p.defaultValue, Low(p), High(p)));
        }
    }
}

}  // namespace

obs_source_info FilterSourceInfo(FilterKind* kind) {
    obs_source_info info{};
    info.id = kind->entry.kindId.c_str();
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO;
    info.get_name = GetName;
    info.create = Create;
    info.destroy = Destroy;
    info.update = Update;
    info.video_render = Render;
    info.get_defaults2 = Defaults;
    info.get_properties2 = Properties;
    info.type_data = kind;
    return info;
}

}  // namespace ffglobs
