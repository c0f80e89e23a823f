// The window: GLFW with an OpenGL 4.1 core context, the plug-in's frames scaled to fit
// with their aspect kept, the Dear ImGui panel and the keys.
#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>
#include <imgui_stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>

#include "cli/supervisor.h"
#include "lib/host_error.h"
#include "lib/io/png_file.h"
#include "lib/plugin/plugin_text.h"
#include "lib/plugin/preset.h"
#include "play_session.h"

using ffglhost::HostError;
using ffglhost::ParameterSetting;
using Clock = std::chrono::steady_clock;

namespace {

// Parameter types drawn as a checkbox and as a button; float types get a slider.
constexpr uint32_t kBooleanType = 0;
constexpr uint32_t kEventType = 1;
constexpr float kPanelWidth = 400.0f;
constexpr std::chrono::milliseconds kIdleRedraw{250};

std::vector<int> g_keys;  // pressed since the last frame, from the key callback
bool g_input = false;     // any input since the last redraw

void KeyCallback(GLFWwindow*, int key, int, int action, int) {
    if (action == GLFW_PRESS) {
        g_keys.push_back(key);
    }
    g_input = true;
}

void InstallInputCallbacks(GLFWwindow* window) {
    glfwSetKeyCallback(window, KeyCallback);
    glfwSetCharCallback(window, [](GLFWwindow*, unsigned) { g_input = true; });
    glfwSetCursorPosCallback(window, [](GLFWwindow*, double, double) { g_input = true; });
    glfwSetMouseButtonCallback(window, [](GLFWwindow*, int, int, int) { g_input = true; });
    glfwSetScrollCallback(window, [](GLFWwindow*, double, double) { g_input = true; });
    glfwSetFramebufferSizeCallback(window, [](GLFWwindow*, int, int) { g_input = true; });
}

// Until the window is open, the window system's complaint becomes part of the one line
// that says why it could not be opened.
std::string g_windowError;
bool g_windowOpen = false;

void ErrorCallback(int, const char* description) {
    if (g_windowOpen) {
        PrintError(std::string("window system: ") + description);
    } else {
        g_windowError = description;
    }
}

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// "looks/warm.json" -> "looks/warm-0003.png", the first number not yet taken.
std::string SnapshotPath(const std::string& presetPath) {
    std::string stem = presetPath;
    const size_t slash = stem.find_last_of('/');
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) {
        stem.resize(dot);
    }
    for (int number = 1;; ++number) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%04d.png", number);
        if (!Exists(stem + suffix)) {
            return stem + suffix;
        }
    }
}

// The texture the window shows and the framebuffer it is blitted from.
class FrameTexture {
  public:
    FrameTexture(uint32_t width, uint32_t height) : width_(width), height_(height) {
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width),
                     static_cast<GLsizei>(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_,
                               0);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    }
    ~FrameTexture() {
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteTextures(1, &texture_);
    }
    FrameTexture(const FrameTexture&) = delete;
    FrameTexture& operator=(const FrameTexture&) = delete;

    void Upload(const ffglhost::Image& image) {
        if (image.width != width_ || image.height != height_) {
            return;
        }
        glBindTexture(GL_TEXTURE_2D, texture_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width_),
                        static_cast<GLsizei>(height_), GL_RGBA, GL_UNSIGNED_BYTE,
                        image.rgba.data());
    }

    // Scaled to fit `windowWidth` x `windowHeight`, centred; the top row goes up.
    void Draw(int windowWidth, int windowHeight) const {
        const double scale = std::min(static_cast<double>(windowWidth) / width_,
                                      static_cast<double>(windowHeight) / height_);
        const auto w = static_cast<GLint>(width_ * scale);
        const auto h = static_cast<GLint>(height_ * scale);
        const GLint x = (windowWidth - w) / 2;
        const GLint y = (windowHeight - h) / 2;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBlitFramebuffer(0, 0, static_cast<GLint>(width_), static_cast<GLint>(height_), x, y + h,
                          x + w, y, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    }

  private:
    GLuint texture_ = 0;
    GLuint framebuffer_ = 0;
    uint32_t width_;
    uint32_t height_;
};

// '%' doubled, so a display text can be an ImGui format.
std::string AsFormat(const std::string& text) {
    std::string format;
    for (char c : ffglhost::PrintableText(text, 64)) {
        format += c;
        if (c == '%') {
            format += '%';
        }
    }
    return format;
}

class Player {
  public:
    Player(PlaySession& session, GLFWwindow* window)
        : session_(session), window_(window), texture_(session.width, session.height) {
        shown_.displays.assign(session.values.size(), "");
        renderer_ = std::make_unique<RenderThread>(std::move(session.renderer),
                                                   std::move(session.openInput),
                                                   [] { glfwPostEmptyEvent(); });
    }

    // One turn of the loop; false once the player should quit.
    bool Turn() {
        const Clock::time_point now = Clock::now();
        if (!session_.paused) {
            clockSeconds_ += std::chrono::duration<double>(now - lastTurn_).count();
        }
        lastTurn_ = now;
        const bool oscChanged = TakeOsc();
        // With nothing new to show, the window is redrawn only for the rates' line.
        if (!renderer_->FrameReady() && !g_input && !oscChanged && now - lastDraw_ < kIdleRedraw) {
            renderer_->Request(FrameIndex(), session_.values, version_);
            return true;
        }
        g_input = false;
        lastDraw_ = now;
        bool newFrame = false;
        PlayFrame frame;
        if (renderer_->TakeFrame(frame)) {
            std::swap(shown_, frame);
            texture_.Upload(shown_.image);
            newFrame = true;
            ++framesShown_;
            drawMsTotal_ += shown_.drawMs;
        }
        const std::string notice = renderer_->TakeNotice();
        if (!notice.empty()) {
            Say(notice);
        }
        const uint64_t failures = renderer_->FailureCount();
        failure_ = renderer_->Failure();
        if (failures != failuresSaid_) {
            failuresSaid_ = failures;
            PrintError(failure_ + " (R restarts it)");
        }
        renderer_->Request(FrameIndex(), session_.values, version_);

        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplGlfw_NewFrame();
        ImGui::NewFrame();
        if (panelShown_) {
            Panel();
        }
        Overlay();
        ImGui::Render();
        const bool quit = Keys();

        int width = 0;
        int height = 0;
        glfwGetFramebufferSize(window_, &width, &height);
        glViewport(0, 0, width, height);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        if (framesShown_ > 0) {
            texture_.Draw(width, height);
        }
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        glfwSwapBuffers(window_);
        ++turns_;
        if (newFrame) {
            NoteLatencies(shown_.version);
        }
        return !quit && !glfwWindowShouldClose(window_) &&
               (session_.quitAfter == 0 || framesShown_ < session_.quitAfter);
    }

    void PrintSummary() const {
        const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
        std::printf(
            "played %llu frames of the plug-in in %.2f s: %.1f frames per second (window "
            "redrawn %.1f times a second; the plug-in's frame %.2f ms on average)\n",
            static_cast<unsigned long long>(framesShown_), seconds, framesShown_ / seconds,
            turns_ / seconds, framesShown_ > 0 ? drawMsTotal_ / framesShown_ : 0.0);
        if (!latenciesMs_.empty()) {
            std::vector<double> sorted = latenciesMs_;
            std::sort(sorted.begin(), sorted.end());
            std::printf(
                "OSC: %zu change%s; the first frame showing each was on screen %.1f ms after it "
                "arrived (median), %.1f ms at most\n",
                sorted.size(), sorted.size() == 1 ? "" : "s", sorted[sorted.size() / 2],
                sorted.back());
        }
    }

    bool PlugInHangs() {
        return renderer_->Failure().find("has not returned") != std::string::npos;
    }

  private:
    void Changed() { ++version_; }
    // The frame at t seconds is step round(60 t), as in the frei0r bridge.
    int64_t FrameIndex() const { return std::llround(clockSeconds_ * kPlayFrameRate); }

    void Say(const std::string& message) {
        status_ = message;
        PrintError(message);
    }

    // Answers whether a value changed.
    bool TakeOsc() {
        if (!session_.osc) {
            return false;
        }
        std::vector<OscChange> changes = session_.osc->Take();
        for (OscChange& change : changes) {
            for (ParameterSetting& value : session_.values) {
                if (value.index == change.setting.index) {
                    value = change.setting;
                }
            }
            Changed();
            pendingOsc_.push_back({version_, change.received});
        }
        return !changes.empty();
    }

    void NoteLatencies(uint64_t shownVersion) {
        const Clock::time_point now = Clock::now();
        while (!pendingOsc_.empty() && pendingOsc_.front().first <= shownVersion) {
            latenciesMs_.push_back(
                std::chrono::duration<double, std::milli>(now - pendingOsc_.front().second)
                    .count());
            pendingOsc_.pop_front();
        }
    }

    void Snapshot() {
        if (framesShown_ == 0) {
            Say("no frame to save yet");
            return;
        }
        const std::string path = SnapshotPath(session_.presetPath);
        try {
            ffglhost::WritePng(path, shown_.image);
            std::printf("wrote %s\n", path.c_str());
            std::fflush(stdout);
            status_ = "wrote " + path;
        } catch (const HostError& error) {
            Say(error.what());
        }
    }

    void SavePreset() {
        try {
            ffglhost::WritePreset(session_.presetPath, session_.report, session_.values);
            std::printf("saved %s\n", session_.presetPath.c_str());
            std::fflush(stdout);
            status_ = "saved " + session_.presetPath;
        } catch (const HostError& error) {
            Say(error.what());
        }
    }

    void LoadPreset() {
        try {
            for (const ParameterSetting& setting :
                 ffglhost::ReadPreset(session_.presetPath, session_.report)) {
                for (ParameterSetting& value : session_.values) {
                    if (value.index == setting.index) {
                        value = setting;
                    }
                }
            }
            Changed();
            std::printf("loaded %s\n", session_.presetPath.c_str());
            std::fflush(stdout);
            status_ = "loaded " + session_.presetPath;
        } catch (const HostError& error) {
            Say(error.what());  // the values stay as they were
        }
    }

    void ToggleFullScreen() {
        if (glfwGetWindowMonitor(window_) != nullptr) {
            glfwSetWindowMonitor(window_, nullptr, windowed_[0], windowed_[1], windowed_[2],
                                 windowed_[3], 0);
            return;
        }
        GLFWmonitor* monitor = glfwGetPrimaryMonitor();
        const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
        if (mode == nullptr) {
            return;
        }
        glfwGetWindowPos(window_, &windowed_[0], &windowed_[1]);
        glfwGetWindowSize(window_, &windowed_[2], &windowed_[3]);
        glfwSetWindowMonitor(window_, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
    }

    // Answers true for Esc.
    bool Keys() {
        std::vector<int> keys;
        keys.swap(g_keys);
        if (ImGui::GetIO().WantTextInput) {
            return false;  // typing into a text field
        }
        for (int key : keys) {
            switch (key) {
                case GLFW_KEY_ESCAPE:
                    return true;
                case GLFW_KEY_SPACE:
                    session_.paused = !session_.paused;
                    break;
                case GLFW_KEY_S:
                    Snapshot();
                    break;
                case GLFW_KEY_F:
                    ToggleFullScreen();
                    break;
                case GLFW_KEY_H:
                    panelShown_ = !panelShown_;
                    break;
                case GLFW_KEY_R:
                    renderer_->Restart();
                    status_ = "restarted the plug-in";
                    break;
                default:
                    break;
            }
        }
        return false;
    }

    // One row: the control showing the plug-in's display text, the name, a reset.
    void ParameterRow(size_t i) {
        const ffglhost::ParameterReport& parameter = session_.report.parameters[i];
        ParameterSetting& value = session_.values[i];
        const std::string id = "##p" + std::to_string(i);
        const std::string display = i < shown_.displays.size() ? shown_.displays[i] : "";
        ImGui::PushItemWidth(200.0f);
        bool changed = false;
        if (parameter.isText) {
            changed = ImGui::InputText(id.c_str(), &value.text);
        } else if (parameter.type == kBooleanType) {
            bool on = value.value >= 0.5f;
            changed = ImGui::Checkbox(id.c_str(), &on);
            value.value = on ? 1.0f : 0.0f;
        } else if (parameter.type == kEventType) {
            ImGui::Button(("fire" + id).c_str());
            const float pressed = ImGui::IsItemActive() ? 1.0f : 0.0f;
            changed = pressed != value.value;
            value.value = pressed;
        } else {
            const float low = std::min(parameter.min, parameter.max);
            const float high = std::max(parameter.min, parameter.max);
            const std::string format = display.empty() ? "%.3f" : AsFormat(display);
            changed = ImGui::SliderFloat(id.c_str(), &value.value, low, high, format.c_str(),
                                         ImGuiSliderFlags_AlwaysClamp);
        }
        ImGui::PopItemWidth();
        ImGui::SameLine();
        ImGui::TextUnformatted(ffglhost::PrintableText(parameter.name, 40).c_str());
        ImGui::SameLine(kPanelWidth - 60.0f);
        if (ImGui::SmallButton(("reset" + id).c_str())) {
            value = session_.defaults[i];
            changed = true;
        }
        if (changed) {
            Changed();
        }
    }

    void Panel() {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(kPanelWidth, 0));
        ImGui::Begin("##panel", nullptr,
                     ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                         ImGuiWindowFlags_NoMove | ImGuiWindowFlags_AlwaysAutoResize |
                         ImGuiWindowFlags_NoSavedSettings);
        ImGui::TextUnformatted(ffglhost::PrintableText(session_.report.name, 60).c_str());
        ImGui::Separator();
        for (size_t i = 0; i < session_.values.size(); ++i) {
            ParameterRow(i);
        }
        ImGui::Separator();
        if (ImGui::Button("Reset all")) {
            session_.values = session_.defaults;
            Changed();
        }
        ImGui::PushItemWidth(230.0f);
        ImGui::InputText("##preset", &session_.presetPath);
        ImGui::PopItemWidth();
        ImGui::SameLine();
        if (ImGui::Button("Save")) {
            SavePreset();
        }
        ImGui::SameLine();
        if (ImGui::Button("Load")) {
            LoadPreset();
        }
        ImGui::TextUnformatted(status_.empty() ? " " : status_.c_str());
        ImGui::End();
    }

    // The rates at the bottom left, a failure in the middle.
    void Overlay() {
        ImDrawList* draw = ImGui::GetForegroundDrawList();
        const ImVec2 size = ImGui::GetIO().DisplaySize;
        const double now = std::chrono::duration<double>(Clock::now() - started_).count();
        if (now - rateSince_ >= 1.0) {
            rate_ = (framesShown_ - rateFrames_) / (now - rateSince_);
            rateFrames_ = framesShown_;
            rateSince_ = now;
        }
        char line[160];
        std::snprintf(line, sizeof line, "%.1f fps   plug-in %.1f ms a frame   frame %lld%s", rate_,
                      shown_.drawMs, static_cast<long long>(shown_.index),
                      session_.paused ? " (paused)" : "");
        const ImVec2 text = ImGui::CalcTextSize(line);
        const ImVec2 corner(6, size.y - text.y - 8);
        draw->AddRectFilled(ImVec2(corner.x - 4, corner.y - 3),
                            ImVec2(corner.x + text.x + 4, corner.y + text.y + 3),
                            IM_COL32(0, 0, 0, 200));
        draw->AddText(corner, IM_COL32(255, 255, 255, 255), line);
        if (!failure_.empty()) {
            const std::string message =
                ffglhost::PrintableText(failure_, 200) + "  (R restarts it)";
            const ImVec2 box = ImGui::CalcTextSize(message.c_str());
            const ImVec2 at((size.x - box.x) / 2, (size.y - box.y) / 2);
            draw->AddRectFilled(ImVec2(at.x - 10, at.y - 8),
                                ImVec2(at.x + box.x + 10, at.y + box.y + 8),
                                IM_COL32(120, 0, 0, 230));
            draw->AddText(at, IM_COL32(255, 255, 255, 255), message.c_str());
        }
    }

    PlaySession& session_;
    GLFWwindow* window_;
    FrameTexture texture_;
    std::unique_ptr<RenderThread> renderer_;
    PlayFrame shown_;
    uint64_t version_ = 1;
    double clockSeconds_ = 0.0;
    Clock::time_point started_ = Clock::now();
    Clock::time_point lastTurn_ = Clock::now();
    Clock::time_point lastDraw_;
    uint64_t framesShown_ = 0;
    uint64_t turns_ = 0;
    double drawMsTotal_ = 0.0;
    double rate_ = 0.0;
    double rateSince_ = 0.0;
    uint64_t rateFrames_ = 0;
    bool panelShown_ = true;
    std::string status_;
    std::string failure_;
    uint64_t failuresSaid_ = 0;
    int windowed_[4] = {0, 0, 0, 0};
    std::deque<std::pair<uint64_t, Clock::time_point>> pendingOsc_;
    std::vector<double> latenciesMs_;
};

}  // namespace

int RunPlayWindow(PlaySession& session) {
    glfwSetErrorCallback(ErrorCallback);
    if (glfwInit() != GLFW_TRUE) {
        throw HostError("cannot open a window: " + g_windowError + " (is DISPLAY set?)");
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    const std::string title = "ffgl-host play: " + ffglhost::PrintableText(session.report.name, 60);
    GLFWwindow* window =
        glfwCreateWindow(static_cast<int>(session.width), static_cast<int>(session.height),
                         title.c_str(), nullptr, nullptr);
    if (window == nullptr) {
        glfwTerminate();
        throw HostError("cannot open a window with an OpenGL 4.1 core context: " + g_windowError);
    }
    g_windowOpen = true;
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    InstallInputCallbacks(window);  // before ImGui, which chains them

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;  // no imgui.ini in the user's folder
    ImGui::StyleColorsDark();
    ImGui::GetStyle().Colors[ImGuiCol_WindowBg].w = 1.0f;  // the panel hides the picture
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL3_Init("#version 410 core");

    {
        Player player(session, window);
        // The display's rate paces the loop where swapping does not wait for it.
        const GLFWvidmode* mode = glfwGetVideoMode(glfwGetPrimaryMonitor());
        const double period =
            1.0 / (mode != nullptr && mode->refreshRate > 0 ? mode->refreshRate : 60);
        Clock::time_point next = Clock::now();
        while (player.Turn()) {
            next +=
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(period));
            const Clock::time_point now = Clock::now();
            next = std::clamp(next, now,
                              now + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(period)));
            glfwWaitEventsTimeout(std::chrono::duration<double>(next - now).count());
        }
        player.PrintSummary();
    }
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
