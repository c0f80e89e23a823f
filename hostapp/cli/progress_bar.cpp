#include "progress_bar.h"

#include <cstdio>

namespace {

constexpr double kDelaySeconds = 1.0;
constexpr double kRedrawSeconds = 0.1;
constexpr int kBarWidth = 30;

}  // namespace

ProgressBar::ProgressBar(uint64_t total, bool enabled)
    : total_(total), enabled_(enabled), started_(Clock::now()), lastDrawn_(started_) {}

std::string ProgressBar::Format(uint64_t done, uint64_t total, double seconds, int barWidth) {
    const double fraction = total > 0 ? static_cast<double>(done) / total : 1.0;
    const int filled = static_cast<int>(fraction * barWidth);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(static_cast<size_t>(barWidth), '.');
    const double fps = seconds > 0 ? done / seconds : 0.0;
    const long left = fps > 0 ? static_cast<long>((total - done) / fps + 0.5) : 0;
    char text[160];
    std::snprintf(text, sizeof text, "%llu/%llu [%s] %.1f fps, %ld:%02ld left",
                  static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                  bar.c_str(), fps, left / 60, left % 60);
    return text;
}

void ProgressBar::Update(uint64_t done) {
    if (!enabled_) {
        return;
    }
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    if (elapsed < kDelaySeconds ||
        std::chrono::duration<double>(now - lastDrawn_).count() < kRedrawSeconds) {
        return;
    }
    lastDrawn_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r%s\033[K", Format(done, total_, elapsed, kBarWidth).c_str());
    std::fflush(stderr);
}

void ProgressBar::Clear() {
    if (shown_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        shown_ = false;
    }
}
