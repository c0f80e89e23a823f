// The module's two message outlets: the host's log function and the diagnostic channel.
#ifndef QUELLIX_HOST_LOGGING_H
#define QUELLIX_HOST_LOGGING_H

#include "ffgl/abi.h"
#include "platform.h"

// Exported: installs the host's log function, replacing any earlier one; null removes it.
extern "C" QUELLIX_EXPORT void SetLogCallback(FFLogFunc callback);

// Hands the message, unchanged, to the host's log function; dropped when none is installed
// or the message is null.
void LogToHost(const char* message);

// Writes the text and an end of line to the debugger channel and to standard output
// (flushed). Never reaches the host's log function.
void EmitDiagnostic(const char* text);

#endif  // QUELLIX_HOST_LOGGING_H
