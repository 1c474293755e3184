// Test helpers: the library bound by export name as its callers bind it, temporary files that
// remove themselves, and a capture of the library's notes on the debugger output.
#pragma once

#include "contracts/KvTraceHub001.h"

#include <windows.h>

#include <string>
#include <vector>

namespace hubtest {

struct HubApi {
    KvTrace_Write Write;
    KvTrace_WriteEntry WriteEntry;
    KvTrace_Dump Dump;
    KvTrace_DumpEntry DumpEntry;
    KvTrace_ConfigureTrace ConfigureTrace;
    KvTrace_IsTracingEnabled IsTracingEnabled;
    KvTrace_SetTracingEnabled SetTracingEnabled;
    KvTrace_SetAppTracingLevel SetAppTracingLevel;
    KvTrace_GetAppTracingLevel GetAppTracingLevel;
    KvTrace_ShouldTrace ShouldTrace;
    KvTrace_ShouldTraceCategory ShouldTraceCategory;
    KvTrace_SetLevel SetLevel;
    KvTrace_GetLevel GetLevel;
    KvTrace_ListenerExists ListenerExists;
    KvTrace_AddListener AddListener;
    KvTrace_AddConsoleListener AddConsoleListener;
    KvTrace_AddTextfileListener AddTextfileListener;
    KvTrace_RemoveListenerCategory RemoveListenerCategory;
    KvTrace_RemoveListener RemoveListener;
    KvTrace_RemoveCategory RemoveCategory;
    KvTrace_RemoveAllCategories RemoveAllCategories;
    KvTrace_DoneTraceSystem DoneTraceSystem;
    KvTrace_InitTraceSystem InitTraceSystem;
};

// Loads KvTraceHub001.dll from beside the test program once; fails the test if an export is missing.
const HubApi& Hub();
// Brings the library into its initial state: initialised, every setting at its default.
void ResetHub();

std::string TempPath(const std::string& name);
std::string ReadFile(const std::string& path);
// Lines without their CR LF; a last line without CR LF comes back with a trailing "<torn>".
std::vector<std::string> ReadLines(const std::string& path);
std::vector<std::string> SplitTabs(const std::string& line);
// "<tag> <number> <padding>": long enough that torn or interleaved writes would show.
std::string NumberedText(const std::string& tag, int number);

class TempFile {
public:
    explicit TempFile(const std::string& name);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    const char* c_str() const { return path_.c_str(); }

private:
    std::string path_;
};

// Collects what OutputDebugStringA reports in this process while it lives.
class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;
    std::string Text() const;

private:
    void* handler_;
};

}  // namespace hubtest
