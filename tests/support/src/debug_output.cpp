#include "test_support/debug_output.h"

#include <windows.h>

#include <mutex>

namespace test_support {

namespace {

std::mutex g_captureMutex;
std::string g_captured;

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C first; a vectored handler sees the text even
// without a debugger attached.
LONG CALLBACK CaptureDebugString(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        std::lock_guard<std::mutex> lock(g_captureMutex);
        g_captured.append(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DebugOutputCapture::DebugOutputCapture() : handler_(::AddVectoredExceptionHandler(1, CaptureDebugString)) {
    std::lock_guard<std::mutex> lock(g_captureMutex);
    g_captured.clear();
}

DebugOutputCapture::~DebugOutputCapture() { ::RemoveVectoredExceptionHandler(handler_); }

std::string DebugOutputCapture::Text() const {
    std::lock_guard<std::mutex> lock(g_captureMutex);
    return g_captured;
}

}  // namespace test_support
