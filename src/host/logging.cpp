#include "logging.h"

#include <cstdio>

#include "platform.h"

namespace {
FFLogFunc g_hostLogCallback = nullptr;
}  // namespace

extern "C" void SetLogCallback(FFLogFunc callback) {
    g_hostLogCallback = callback;
}

void LogToHost(const char* message) {
    FFLogFunc callback = g_hostLogCallback;
    if (callback != nullptr && message != nullptr) {
        callback(message);
    }
}

void EmitDiagnostic(const char* text) {
    WriteDebuggerChannel(text);
    WriteDebuggerChannel("\n");
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
