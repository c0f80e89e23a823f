// The window: GLFW with an OpenGL 4.1 core context, the plug-in's frames scaled to fit
// with their aspect kept, the Dear ImGui panel and the keys.
#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli/staged_run.h"
#include "frame_texture.h"
#include "lib/host_error.h"
#include "lib/plugin/plugin_text.h"
#include "osc_feed.h"
#include "panel.h"
#include "play_clock.h"
#include "play_session.h"
#include "session_files.h"

using ffglhost::HostError;
using Clock = std::chrono::steady_clock;

namespace {

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

// The window's loop: it takes frames from the render thread, asks for the next one with
// the values and the clock's step, and hands the keys, the panel, OSC and the files to
// their own parts.
class Player {
  public:
    Player(PlaySession& session, GLFWwindow* window)
        : session_(session),
          window_(window),
          texture_(session.width, session.height),
          clock_(session.paused),
          osc_(session.osc.get()) {
        shown_.displays.assign(session.values.Size(), "");
        renderer_ = std::make_unique<RenderThread>(std::move(session.renderer),
                                                   std::move(session.openInput),
                                                   [] { glfwPostEmptyEvent(); });
    }

    // One turn of the loop; false once the player should quit.
    bool Turn() {
        const Clock::time_point now = Clock::now();
        clock_.Advance(now);
        const bool oscChanged = osc_.Apply(session_.values, version_);
        // With nothing new to show, the window is redrawn only for the rates' line.
        if (!renderer_->FrameReady() && !g_input && !oscChanged && now - lastDraw_ < kIdleRedraw) {
            renderer_->Request(clock_.Step(), session_.values, version_);
            return true;
        }
        g_input = false;
        lastDraw_ = now;
        const bool newFrame = TakeFrame();
        renderer_->Request(clock_.Step(), session_.values, version_);

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
            osc_.Shown(shown_.version);
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
        osc_.PrintSummary();
    }

  private:
    void Changed() { ++version_; }

    // The render thread's news: a frame or a failure. Answers whether a frame came.
    bool TakeFrame() {
        bool newFrame = false;
        PlayFrame frame;
        if (renderer_->TakeFrame(frame)) {
            std::swap(shown_, frame);
            texture_.Upload(shown_.image);
            newFrame = true;
            ++framesShown_;
            drawMsTotal_ += shown_.drawMs;
        }
        const uint64_t failures = renderer_->FailureCount();
        failure_ = renderer_->Failure();
        if (failures != failuresSaid_) {
            failuresSaid_ = failures;
            PrintError(failure_ + " (R restarts it)");
        }
        return newFrame;
    }

    void Panel() {
        bool changed = false;
        const PanelAction action = DrawPanel(session_, shown_.displays, status_, changed);
        if (action == PanelAction::kSave) {
            status_ = SavePreset(session_);
        } else if (action == PanelAction::kLoad) {
            status_ = LoadPreset(session_);
            changed = true;
        }
        if (changed) {
            Changed();
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
                    clock_.TogglePause();
                    break;
                case GLFW_KEY_S:
                    status_ = framesShown_ == 0 ? "no frame to save yet"
                                                : WriteSnapshot(session_, shown_.image);
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
                      clock_.Paused() ? " (paused)" : "");
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
    PlayClock clock_;
    OscFeed osc_;
    std::unique_ptr<RenderThread> renderer_;
    PlayFrame shown_;
    uint64_t version_ = 1;
    Clock::time_point started_ = Clock::now();
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
