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

#include <clocale>
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
std::string Hex(unsigned long value, const char* format = "0x%08lx") {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
void WINAPI PrintNarrow(bool isError, const char* message) { Print(std::string(isError ? "E " : "I ") + message + "\n"); }
// Wide messages as hexadecimal UTF-16 units, so the test sees exactly what arrived.
void WINAPI PrintWide(bool isError, const wchar_t* message) {
    std::string line = isError ? "WE" : "WI";
    for (const wchar_t* c = message; *c != L'\0'; ++c) line += Hex(static_cast<unsigned long>(*c), " %04lx");
    Print(line + "\n");
}
void PrintIds() { Print("PID " + std::to_string(::GetCurrentProcessId()) + " TID " + std::to_string(::GetCurrentThreadId()) + "\n"); }

void PrintSettings() {
    const LibrarySettings& s = g_librarySettings;
    Print("SETTINGS internTrace=" + std::to_string(s.internTraceOn) + " file=<" + s.internTraceFile + "> locbase=" + std::to_string(s.locbaseActive) +
          " libDirs=" + std::to_string(s.libDirsActive) + " libDirsFile=<" + s.libDirsFile + "> altLog=" + std::to_string(s.altLogDirOn) +
          " altLogDir=<" + s.altLogDir + "> logMutex=" + std::to_string(s.logMutex != nullptr) +
          " userMutex=" + std::to_string(s.userNameMutex != nullptr) + " module=" + (s.module == ::GetModuleHandleA(nullptr) ? "exe" : "other") + "\n");
}

// Writes count lines through the internal log with no callback, as the co-installer does. With a
// gate the host reports "ready" after Init and waits for "go", so that all hosts write at once.
int Lines(int count, const char* tag, const char* gate) {
    Init();
    PrintIds();
    if (gate != nullptr) {
        HANDLE ready = ::OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, (std::string(gate) + "_ready").c_str());
        HANDLE go = ::OpenEventA(SYNCHRONIZE, FALSE, (std::string(gate) + "_go").c_str());
        if (ready == nullptr || go == nullptr || !::ReleaseSemaphore(ready, 1, nullptr) || ::WaitForSingleObject(go, 60000) != WAIT_OBJECT_0) return 5;
    }
    for (int i = 0; i < count; ++i) _TracerWrite(kTraceInfo, "%s Zeile %d", tag, i);
    return 0;
}

// Only the wide callback: messages arrive converted; a narrow one then takes the ordinary ones over.
int WideMessages() {
    LBS_SetTraceCallbackW(PrintWide);
    _TracerWrite(kTraceInfo, "Pfad <%s> f\xfcr %d", "C:\\Daten", 7);
    _TracerWrite(kTraceError, "%s", "");
    // A lone lead byte is no character of the Japanese code page.
    if (std::setlocale(LC_ALL, ".932") == nullptr) return 2;
    _TracerWrite(kTraceInfo, "%s", "abc\x82");
    std::setlocale(LC_ALL, "C");
    LBS_SetTraceCallback(PrintNarrow);
    _TracerWrite(kTraceInfo, "nur schmal");
    _TracerWrite(kTraceError, "%s", "");
    return 0;
}

// Only the writer's own failures may reach the debugger, and nothing at all while no one listens.
int DebugOutput() {
    PrintIds();
    _TracerWrite(kTraceError, "%s", "");
    _TracerWrite(kTraceInfo, "ohne Empf\xe4nger");
    LBS_SetTraceCallback(PrintNarrow);
    _TracerWrite(kTraceInfo, "gew\xf6hnliche Meldung");
    _TracerWrite(kTraceError, "%s", "");
    return 0;
}

// Waits for a mutex given by name or by an inherited handle's value; the exit code tells the result.
int WaitMutex(const std::string& how, const char* which) {
    HANDLE mutex = how == "name" ? ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, which)
                                 : reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(which, nullptr, 10)));
    DWORD flags = 0;
    if (mutex == nullptr || !::GetHandleInformation(mutex, &flags)) return static_cast<int>(::GetLastError());
    return ::WaitForSingleObject(mutex, 5000) == WAIT_OBJECT_0 && ::ReleaseMutex(mutex) ? 0 : 1000;
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
        {"folders", [&] {
             std::string all;
             for (int type : {0, 1, 2, 3, 4, 5, 6, -1}) all += LBS_GetSpecialFolderPath(static_cast<LocbaseDirType>(type)) + "|";
             return all;
         }},
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
    if (scenario == "init" || scenario == "init-twice") {
        PrintIds();
        LBS_SetTraceCallback(PrintNarrow);
        Init();
        PrintSettings();
        if (scenario == "init-twice") Print("--- second\n"), Init();
        return 0;
    }
    if (scenario == "lines" && argc >= 4) return Lines(std::atoi(argv[2]), argv[3], argc > 4 ? argv[4] : nullptr);
    if (scenario == "wide-messages") return WideMessages();
    if (scenario == "debug-output") return DebugOutput();
    if (scenario == "mutex" && argc == 4) return WaitMutex(argv[2], argv[3]);
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
    // The first library call of the process makes the path dump when asked for; a second adds nothing.
    if (scenario == "first-use") {
        LBS_SetTraceCallback(PrintNarrow);
        Print("TEMP <" + LBS_GetTempDir() + ">\n--- second\n");
        Print("TEMP <" + LBS_GetTempDir() + ">\n");
        return 0;
    }
    return 101;
}
