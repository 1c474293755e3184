#include "tracehub/hub_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace hubtest {

namespace {

template <typename T>
void Bind(HMODULE module, const char* name, T& slot) {
    slot = reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    EXPECT_NE(nullptr, reinterpret_cast<void*>(slot)) << name;
}

HubApi LoadHub() {
    HubApi api{};
    HMODULE module = ::LoadLibraryA("KvTraceHub001.dll");
    EXPECT_NE(nullptr, module) << "error " << ::GetLastError();
    if (!module) return api;
    Bind(module, "Write", api.Write);
    Bind(module, "WriteEntry", api.WriteEntry);
    Bind(module, "Dump", api.Dump);
    Bind(module, "DumpEntry", api.DumpEntry);
    Bind(module, "ConfigureTrace", api.ConfigureTrace);
    Bind(module, "IsTracingEnabled", api.IsTracingEnabled);
    Bind(module, "SetTracingEnabled", api.SetTracingEnabled);
    Bind(module, "SetAppTracingLevel", api.SetAppTracingLevel);
    Bind(module, "GetAppTracingLevel", api.GetAppTracingLevel);
    Bind(module, "ShouldTrace", api.ShouldTrace);
    Bind(module, "ShouldTraceCategory", api.ShouldTraceCategory);
    Bind(module, "SetLevel", api.SetLevel);
    Bind(module, "GetLevel", api.GetLevel);
    Bind(module, "ListenerExists", api.ListenerExists);
    Bind(module, "AddListener", api.AddListener);
    Bind(module, "AddConsoleListener", api.AddConsoleListener);
    Bind(module, "AddTextfileListener", api.AddTextfileListener);
    Bind(module, "RemoveListenerCategory", api.RemoveListenerCategory);
    Bind(module, "RemoveListener", api.RemoveListener);
    Bind(module, "RemoveCategory", api.RemoveCategory);
    Bind(module, "RemoveAllCategories", api.RemoveAllCategories);
    Bind(module, "DoneTraceSystem", api.DoneTraceSystem);
    Bind(module, "InitTraceSystem", api.InitTraceSystem);
    return api;
}

std::mutex g_captureMutex;
std::string g_captured;

LONG CALLBACK CaptureDebugString(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        std::lock_guard<std::mutex> lock(g_captureMutex);
        g_captured.append(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

const HubApi& Hub() {
    static const HubApi api = LoadHub();
    return api;
}

void ResetHub() {
    const HubApi& hub = Hub();
    ASSERT_NE(nullptr, hub.InitTraceSystem);
    hub.InitTraceSystem();
    ASSERT_TRUE(hub.ConfigureTrace(""));
}

std::string TempPath(const std::string& name) {
    // A name is never reused: a file deleted while the library still holds it open stays in the way.
    static std::atomic<int> counter{0};
    char buffer[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, buffer);
    return std::string(buffer) + "kvtrace_" + std::to_string(::GetCurrentProcessId()) + "_" +
           std::to_string(++counter) + "_" + name;
}

std::string ReadFile(const std::string& path) {
    std::string content;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return content;
    char chunk[65536];
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) content.append(chunk, read);
    ::CloseHandle(file);
    return content;
}

std::vector<std::string> ReadLines(const std::string& path) {
    const std::string content = ReadFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        const size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start) + "<torn>");
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (int i = 0; i < 5; ++i) {
        const size_t tab = line.find('\t', start);
        if (tab == std::string::npos) break;
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

std::string NumberedText(const std::string& tag, int number) {
    return tag + " " + std::to_string(number) + " " +
           std::string(100 + number % 57, static_cast<char>('a' + number % 26));
}

TempFile::TempFile(const std::string& name) : path_(TempPath(name)) { ::DeleteFileA(path_.c_str()); }

TempFile::~TempFile() { ::DeleteFileA(path_.c_str()); }

DebugOutputCapture::DebugOutputCapture() : handler_(::AddVectoredExceptionHandler(1, CaptureDebugString)) {
    std::lock_guard<std::mutex> lock(g_captureMutex);
    g_captured.clear();
}

DebugOutputCapture::~DebugOutputCapture() { ::RemoveVectoredExceptionHandler(handler_); }

std::string DebugOutputCapture::Text() const {
    std::lock_guard<std::mutex> lock(g_captureMutex);
    return g_captured;
}

}  // namespace hubtest
