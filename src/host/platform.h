// The few operating-system calls the module makes, behind one small layer.
#ifndef QUELLIX_HOST_PLATFORM_H
#define QUELLIX_HOST_PLATFORM_H

// Marks the module's two exported entry points; everything else stays hidden.
#ifdef _WIN32
#define QUELLIX_EXPORT __declspec(dllexport)
#else
#define QUELLIX_EXPORT __attribute__((visibility("default")))
#endif

// Writes text to the debugger output channel: OutputDebugStringA on Windows, standard
// error elsewhere (there is no debugger channel on Linux).
void WriteDebuggerChannel(const char* text);

#endif  // QUELLIX_HOST_PLATFORM_H
