#include "coinstaller/library_log_forwarder.h"

#include "trace/trace_calls.h"

void WINAPI ForwardLibraryLog(bool isError, const wchar_t* message) {
    TraceWriteText(isError ? TraceLevel::Error : TraceLevel::Detail, L"TESK.CoInstall", message);
}
