#include "render_command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "lib/gl/gl_context.h"
#include "lib/host_error.h"
#include "lib/io/child_process.h"
#include "lib/io/file_names.h"
#include "lib/plugin/parameter_values.h"
#include "lib/plugin/plugin_report.h"
#include "lib/plugin/preset.h"
#include "lib/render/png_sequence_sink.h"
#include "lib/render/render_loop.h"
#include "lib/render/sound_track.h"
#include "lib/worker/worker_client.h"
#include "progress_bar.h"
#include "render_setup.h"
#include "staged_run.h"
#include "usage_error.h"

using ffglhost::HostError;

CLI::App* AddRenderCommand(CLI::App& app, RenderOptions& options) {
    CLI::App* render = app.add_subcommand("render", "Render frames through a plug-in");
    render->add_option("PLUGIN", options.plugin, "Path to the plug-in library")->required();
    render->add_option("-n,--frames", options.frames, "Number of frames to write")
        ->capture_default_str();
    render->add_option("--input", options.input,
                       "A PNG or JPEG picture, or a video read through ffmpeg "
                       "(default: a built-in test picture)");
    render->add_option("--out", options.out,
                       "A directory for numbered PNGs, FILE.png for the last frame, or a "
                       "FILE.mp4, .webm or .gif video");
    render->add_option("--sheet", options.sheet,
                       "Write a contact sheet of evenly spaced frames to this PNG file");
    render->add_option("--preset", options.preset,
                       "Take the parameter values of a preset file (--set overrides them)");
    render
        ->add_option("--set", options.settings,
                     "Set a parameter, NAME=VALUE (names in any case; repeatable)")
        ->allow_extra_args(false);
    render->add_option("--size", options.size,
                       "Output size WIDTHxHEIGHT (default: the input's size, 1280x720 for the "
                       "built-in picture)");
    render
        ->add_option("--fps", options.fps,
                     "Frames per second of the host clock and of video output (default: "
                     "the input video's rate, else 60)")
        ->each([&options](const std::string&) { options.fpsGiven = true; });
    render->add_option("--start", options.start,
                       "Render this many frames first without writing them");
    render->add_flag("--pad", options.pad,
                     "Give the plug-in its input in a texture padded to power-of-two sizes");
    render->add_flag("-q,--quiet", options.quiet, "No progress bar and no plug-in log lines");
    render->add_flag("--no-audio", options.noAudio,
                     "Leave the input video's sound out of a video output");
    render
        ->add_option("--call-timeout", options.callTimeout,
                     "Seconds any one plug-in call may take before the run is stopped (0: no "
                     "limit)")
        ->capture_default_str();
    return render;
}

namespace {

struct CheckedNumbers {
    uint64_t frames = 0;
    uint64_t start = 0;
};

CheckedNumbers CheckNumbers(const RenderOptions& options) {
    CheckedNumbers numbers;
    numbers.frames = ParseCount(options.frames, "--frames", 1);
    numbers.start = ParseCount(options.start, "--start", 0);
    if (options.fpsGiven && !(options.fps >= 0.01 && options.fps <= 1000.0)) {
        throw UsageError("--fps needs a rate from 0.01 to 1000 frames per second");
    }
    if (!(options.callTimeout >= 0.0 && options.callTimeout <= 1e6)) {
        throw UsageError("--call-timeout needs a number of seconds from 0 (no limit) to 1000000");
    }
    for (const std::string& setting : options.settings) {
        if (setting.find('=') == std::string::npos) {
            throw UsageError("--set needs NAME=VALUE, got \"" + setting + "\"");
        }
    }
    if (!options.size.empty()) {
        ParseFrameSize(options.size);
    }
    return numbers;
}

void CheckOutputs(const RenderOptions& options) {
    if (!options.out.empty()) {
        ClassifyOutput(options.out);
    }
    if (!options.sheet.empty() && ffglhost::LowercaseExtension(options.sheet) != ".png") {
        throw UsageError("--sheet needs a .png file name, got " + options.sheet);
    }
    if (!options.out.empty() && options.out == options.sheet) {
        throw UsageError("--out and --sheet name the same file: " + options.out);
    }
}

// Checked before anything starts, so a missing ffmpeg never costs a render.
void CheckTools(const RenderOptions& options) {
    const bool videoIn = IsVideoInput(options.input);
    const bool videoOut = !options.out.empty() && ClassifyOutput(options.out) == OutputKind::kVideo;
    std::vector<std::string> programs;
    if (videoIn || videoOut) {
        programs.push_back("ffmpeg");
    }
    if (videoIn) {
        programs.push_back("ffprobe");  // for the clip's size and frame rate
    }
    for (const std::string& program : programs) {
        if (ffglhost::FindOnPath(program).empty()) {
            const std::string what = videoIn ? "read " + options.input : "write " + options.out;
            throw HostError(program + " is needed to " + what +
                            " but is not on PATH (install the Debian package ffmpeg)");
        }
    }
}

// The frame loop gives the plug-in exactly one input.
void CheckInputCount(const ffglhost::PluginReport& report) {
    if (report.inputsKnown && report.minimumInputs > 1) {
        throw HostError("the plug-in needs " + std::to_string(report.minimumInputs) +
                        " inputs; ffgl-host renders plug-ins that take one input or none");
    }
}

// What becomes of a video input's sound in --out.
ffglhost::SoundPlan PlanSound(const RenderOptions& options, const CheckedNumbers& numbers,
                              const OpenedInput& input, double fps) {
    ffglhost::SoundRequest request;
    if (IsVideoInput(options.input) && !options.out.empty()) {
        request.inputPath = options.input;
        request.codec = input.audioCodec;
    }
    request.dropped = options.noAudio;
    request.inputFps = input.fps;
    request.outputFps = fps;
    request.start = numbers.start;
    request.frames = numbers.frames;
    const bool directory =
        !options.out.empty() && ClassifyOutput(options.out) == OutputKind::kDirectory;
    return ffglhost::PlanSound(request, directory ? "" : ffglhost::LowercaseExtension(options.out));
}

std::string Summary(const ffglhost::RenderResult& result, FrameSize size,
                    const ffglhost::FrameSink& sinks, const std::string& pictureNote) {
    const double fps = result.seconds > 0 ? result.rendered / result.seconds : 0.0;
    char line[256];
    std::snprintf(line, sizeof line,
                  "rendered %llu frame%s at %ux%u in %.2f s: %.1f frames per second\n",
                  static_cast<unsigned long long>(result.rendered), result.rendered == 1 ? "" : "s",
                  size.width, size.height, result.seconds, fps);
    const std::string written = sinks.Describe();
    return line + (written.empty() ? "" : "wrote " + written + "\n") +
           (pictureNote.empty() ? "" : "note: " + pictureNote + "\n");
}

struct RenderOutcome {
    std::string summary;  // printed once the outputs are in place
    uint64_t framesWritten = 0;
};

// The render itself: the plug-in draws in its worker, this process decodes, encodes and
// writes.
RenderOutcome RenderThroughWorker(const RenderOptions& options, const CheckedNumbers& numbers,
                                  const ffglhost::StagedOutput* out,
                                  const ffglhost::StagedOutput* sheet, StopRequests& stop) {
    const std::optional<FrameSize> size =
        options.size.empty() ? std::nullopt
                             : std::optional<FrameSize>(ParseFrameSize(options.size));
    WatchedWorker worker(stop, options.callTimeout, options.quiet);
    ffglhost::WorkerClient& client = worker.client;

    const ffglhost::PluginReport report = client.Load(options.plugin);
    CheckInputCount(report);
    client.SetValues(ffglhost::ChooseValues(report, options.preset, options.settings));
    // The worker's limits decide whether the input may be decoded at all.
    OpenedInput input = OpenInput(options.input, size, WorkerLimits(client), options.pad);
    const double fps = options.fpsGiven ? options.fps : input.fps;

    const ffglhost::SoundPlan sound = PlanSound(options, numbers, input, fps);
    std::unique_ptr<ffglhost::FanOutSink> sinks =
        MakeSinks(out, sheet, numbers.frames, input.output, fps, sound, input.colour);
    ffglhost::RenderPlan plan;
    plan.width = input.output.width;
    plan.height = input.output.height;
    plan.frames = numbers.frames;
    plan.skip = numbers.start;
    plan.fps = fps;
    plan.padInput = options.pad;
    ProgressBar progress(plan.skip + plan.frames, !options.quiet && isatty(STDERR_FILENO) == 1);
    ffglhost::RenderCallbacks callbacks;
    callbacks.progress = [&progress](uint64_t done, uint64_t) { progress.Update(done); };
    callbacks.stop = [&stop] { return stop.Signal() != 0; };
    const ffglhost::RenderResult result =
        ffglhost::RenderFrames(client, *input.source, *sinks, plan, callbacks);
    progress.Clear();
    // A plug-in that fails as its instance goes fails the render.
    client.Release();
    if (result.inputEnded) {
        std::fprintf(stderr, "ffgl-host: the input ended after %llu frames\n",
                     static_cast<unsigned long long>(result.rendered));
    }
    // A video output says what became of the sound itself.
    const bool videoOut = !options.out.empty() && ClassifyOutput(options.out) == OutputKind::kVideo;
    RenderOutcome outcome;
    outcome.framesWritten = result.written;
    outcome.summary =
        Summary(result, input.output, *sinks, videoOut ? "" : sound.note) +
        (input.note.empty() ? "" : "input " + options.input + ": " + input.note + "\n");
    return outcome;
}

}  // namespace

int RunRender(const RenderOptions& options) {
    const CheckedNumbers numbers = CheckNumbers(options);
    CheckOutputs(options);
    CheckTools(options);
    ffglhost::StagedOutputs outputs(std::to_string(getpid()));
    const bool directory =
        !options.out.empty() && ClassifyOutput(options.out) == OutputKind::kDirectory;
    const ffglhost::StagedOutput* out = nullptr;
    const ffglhost::StagedOutput* sheet = nullptr;
    if (!options.out.empty()) {
        outputs.Add(options.out, directory);
    }
    if (!options.sheet.empty()) {
        outputs.Add(options.sheet, false);
    }
    out = options.out.empty() ? nullptr : &outputs.Outputs().front();
    sheet = options.sheet.empty() ? nullptr : &outputs.Outputs().back();

    RenderOutcome outcome;
    const auto work = [&](StopRequests& stop) {
        outcome = RenderThroughWorker(options, numbers, out, sheet, stop);
    };
    const auto afterCommit = [&] {
        std::fputs(outcome.summary.c_str(), stdout);
        if (directory) {
            const std::string note = ffglhost::OlderFramesNote(
                out->finalPath, outcome.framesWritten, ffglhost::SequenceDigits(numbers.frames));
            if (!note.empty()) {
                std::printf("note: %s\n", note.c_str());
            }
        }
    };
    return RunStaged(outputs, work, afterCommit);
}
