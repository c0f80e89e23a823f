// The platform layer on Windows: diagnostics reach the debugger output channel
// (OutputDebugStringA) and standard output.
#include <windows.h>
// windows.h first: the rest of the Windows headers need its types.
#include <gtest/gtest.h>

#include <string>

#include "host/logging.h"

namespace {

std::string g_debuggerText;

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text's length (terminator
// included) and address; a debugger shows it. This handler plays the debugger.
LONG CALLBACK CaptureDebuggerText(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
    g_debuggerText.append(reinterpret_cast<const char*>(record->ExceptionInformation[1]),
                          length > 0 ? length - 1 : 0);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(WindowsPlatform, DiagnosticsGoToTheDebuggerChannelAndStandardOutput) {
    g_debuggerText.clear();
    void* handler = AddVectoredExceptionHandler(1, CaptureDebuggerText);
    ASSERT_NE(handler, nullptr);
    testing::internal::CaptureStdout();
    EmitDiagnostic("Fragment Shader error: 0:3(1): syntax error");
    const std::string out = testing::internal::GetCapturedStdout();
    RemoveVectoredExceptionHandler(handler);
    EXPECT_EQ(g_debuggerText, "Fragment Shader error: 0:3(1): syntax error\n");
    EXPECT_EQ(out, "Fragment Shader error: 0:3(1): syntax error\n");
}

}  // namespace
