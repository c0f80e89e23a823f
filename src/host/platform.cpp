#include "platform.h"

#ifdef _WIN32
#include <windows.h>

void WriteDebuggerChannel(const char* text) {
    OutputDebugStringA(text);
}

// The module needs no per-thread attach and detach notifications.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}
#else
#include <cstdio>

void WriteDebuggerChannel(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}
#endif
