// One library scenario per process, because the directory library reads its settings once per
// process and keeps its callbacks for the life of the process. What the tests read goes to standard
// output: the messages ("I "/"E " and text), the settings, the ids and the result of the call.
#include "dirlib/directory_guesses.h"
#include "dirlib/locbase.h"
#include "dirlib/locbase_service.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

void Print(const std::string& text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", value);
    return text;
}
void WINAPI PrintNarrow(bool isError, const char* message) { Print(std::string(isError ? "E " : "I ") + message + "\n"); }
void PrintIds() { Print("PID " + std::to_string(::GetCurrentProcessId()) + " TID " + std::to_string(::GetCurrentThreadId()) + "\n"); }

void PrintSettings() {
    const LibrarySettings& s = g_librarySettings;
    Print("SETTINGS internTrace=" + std::to_string(s.internTraceOn) + " file=<" + s.internTraceFile + "> locbase=" + std::to_string(s.locbaseActive) +
          " libDirs=" + std::to_string(s.libDirsActive) + " libDirsFile=<" + s.libDirsFile + "> altLog=" + std::to_string(s.altLogDirOn) +
          " altLogDir=<" + s.altLogDir + "> logMutex=" + std::to_string(s.logMutex != nullptr) +
          " userMutex=" + std::to_string(s.userNameMutex != nullptr) + " module=" + (s.module == ::GetModuleHandleA(nullptr) ? "exe" : "other") + "\n");
}

// Writes one line through the internal log with no callback, as the co-installer does.
int Line(const char* text) {
    Init();
    PrintIds();
    _TracerWrite(kTraceInfo, "%s", text);
    return 0;
}

// The call runs on a thread whose COM state the scenario chooses ("none", "sta", "mta"); afterwards
// a second initialisation of the same kind must find the apartment still there (S_FALSE), and once
// both are undone the thread must be free for the other kind (S_OK).
struct Call {
    std::function<std::string()> run;
    std::string mode;
};

DWORD WINAPI RunCall(void* parameter) {
    const Call& call = *static_cast<Call*>(parameter);
    const DWORD model = call.mode == "mta" ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED;
    if (call.mode != "none") Print("BEFORE " + Hex(::CoInitializeEx(nullptr, model)) + "\n");
    Print("RESULT <" + call.run() + ">\n");
    std::string probe = "PROBE";
    if (call.mode != "none") {
        const HRESULT same = ::CoInitializeEx(nullptr, model);
        if (SUCCEEDED(same)) ::CoUninitialize();
        ::CoUninitialize();
        probe += " " + Hex(same);
    }
    const HRESULT free = ::CoInitializeEx(nullptr, model == COINIT_MULTITHREADED ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
    if (SUCCEEDED(free)) ::CoUninitialize();
    Print(probe + " " + Hex(free) + "\n");
    return 0;
}

// One library call after Init, so that only its own lines follow the marker.
int RunOne(const std::vector<std::string>& a) {
    auto at = [&](size_t i) { return i < a.size() ? a[i] : std::string(); };
    auto flag = [&](size_t i) { return at(i) == "1"; };
    auto number = [&](size_t i) { return std::atoi(at(i).c_str()); };
    const std::map<std::string, std::function<std::string()>> calls = {
        {"prog", [&] { return LBS_GetProgDir(at(1), flag(2)); }},
        {"konfig", [&] { return LBS_GetKonfigDir(at(1)); }},
        {"user-konfig", [&] { return LBS_GetKonfigDirCurrentUser(at(1), flag(2)); }},
        {"log", [&] { return LBS_GetLogDir(at(1), flag(2)); }},
        {"data", [&] { return LBS_GetDataDir(at(1), flag(2), at(3)); }},
        {"temp", [&] { return LBS_GetTempDir(); }},
        {"temp-low", [&] { return _GetTempDirLow(); }},
        {"guess-log", [&] { return _GuessLocalLogDir(at(1), flag(2)); }},
        {"korvan-env", [&] { return std::string(_IsKorvanEnvironment(at(1)) ? "true" : "false"); }},
        {"os-version", [&] { return std::to_string(LBS_GetOsVersion()) + " " + std::to_string(LBS_GetOsVersion()); }},
        {"value", [&] { return _GetValueFromLocbase(at(1), number(2), ""); }},
        {"datadir", [&] { return LBS_GetAvailableDataDirLocbase(at(1), at(2)); }},
        {"systemdir", [&] { return LBS_GetSystemDir(number(1)); }},
    };
    const auto found = calls.find(at(0));
    if (found == calls.end()) return 102;
    LBS_SetTraceCallback(PrintNarrow);
    Init();
    Print("--- call\n");
    Call call{found->second, at(0) == "value" || at(0) == "datadir" || at(0) == "systemdir" ? a.back() : "none"};
    HANDLE thread = ::CreateThread(nullptr, 0, RunCall, &call, 0, nullptr);
    return thread != nullptr && ::WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string scenario = argc > 1 ? argv[1] : "";
    if (scenario == "init") {
        PrintIds();
        LBS_SetTraceCallback(PrintNarrow);
        Init();
        PrintSettings();
        return 0;
    }
    if (scenario == "line" && argc == 3) return Line(argv[2]);
    if (scenario == "call" && argc >= 3) return RunOne(std::vector<std::string>(argv + 2, argv + argc));
    // The library linked into a DLL must find that DLL as its own module, not the host executable.
    if (scenario == "dll-init") {
        HMODULE dll = ::LoadLibraryA("library_probe.dll");
        const auto probe = dll ? reinterpret_cast<HMODULE (*)()>(reinterpret_cast<void*>(::GetProcAddress(dll, "ProbeInit"))) : nullptr;
        Print(std::string("DLLMODULE ") + (probe && probe() == dll ? "dll" : "other") + "\n");
        return 0;
    }
    // Enters a single-threaded apartment, whose window makes Wine start its desktop process.
    if (scenario == "desktop") return FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ? 2 : 0;
    return 101;
}
