// Scenario host: a process of its own per scenario, because the library reads its settings once per
// process and keeps its callbacks for the life of the process. Results go to standard output.
#include "dirlib/directory_guesses.h"
#include "dirlib/locbase.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

#include <windows.h>
#include <objbase.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Print(const std::string& text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void WINAPI PrintNarrow(bool isError, const char* message) {
    Print(std::string(isError ? "E " : "I ") + message + "\n");
}

// Wide messages as hexadecimal UTF-16 units, so the test sees exactly what arrived.
void WINAPI PrintWide(bool isError, const wchar_t* message) {
    std::string line = isError ? "WE" : "WI";
    char unit[8];
    for (const wchar_t* c = message; *c != L'\0'; ++c) {
        std::snprintf(unit, sizeof unit, " %04x", static_cast<unsigned>(*c));
        line += unit;
    }
    Print(line + "\n");
}

void PrintSettings() {
    const LibrarySettings& s = g_librarySettings;
    const std::string module = s.module == ::GetModuleHandleA(nullptr) ? "exe" : s.module == nullptr ? "null" : "other";
    Print("SETTINGS internTrace=" + std::to_string(s.internTraceOn) + " file=<" + s.internTraceFile +
          "> locbase=" + std::to_string(s.locbaseActive) + " libDirs=" + std::to_string(s.libDirsActive) +
          " libDirsFile=<" + s.libDirsFile + "> altLog=" + std::to_string(s.altLogDirOn) + " altLogDir=<" +
          s.altLogDir + "> logMutex=" + std::to_string(s.logMutex != nullptr) +
          " userMutex=" + std::to_string(s.userNameMutex != nullptr) + " module=" + module + "\n");
}

void PrintIds() {
    Print("PID " + std::to_string(::GetCurrentProcessId()) + " TID " + std::to_string(::GetCurrentThreadId()) + "\n");
}

int Messages() {
    PrintIds();
    LBS_SetTraceCallback(PrintNarrow);
    Init();
    PrintSettings();
    return 0;
}

int MessagesTwice() {
    LBS_SetTraceCallback(PrintNarrow);
    Init();
    Print("--- second\n");
    Init();
    return 0;
}

// Writes count lines through the internal log with no callback, as the co-installer does. With a
// gate name the host reports "ready" after Init and waits for "go", so that all hosts write at once.
int Lines(int count, const char* tag, const char* gate) {
    Init();
    PrintIds();
    if (gate != nullptr) {
        HANDLE ready = ::OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, (std::string(gate) + "_ready").c_str());
        HANDLE go = ::OpenEventA(SYNCHRONIZE, FALSE, (std::string(gate) + "_go").c_str());
        if (ready == nullptr || go == nullptr) return 5;
        ::ReleaseSemaphore(ready, 1, nullptr);
        if (::WaitForSingleObject(go, 60000) != WAIT_OBJECT_0) return 6;
        ::CloseHandle(ready);
        ::CloseHandle(go);
    }
    for (int i = 0; i < count; ++i) _TracerWrite(kTraceInfo, "%s Zeile %d", tag, i);
    return 0;
}

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
    _TracerWrite(kTraceInfo, "%s", "");
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

int OsVersion() {
    LBS_SetTraceCallback(PrintNarrow);
    const int first = LBS_GetOsVersion();
    const int second = LBS_GetOsVersion();
    Print("CLASS " + std::to_string(first) + " " + std::to_string(second) + "\n");
    return 0;
}

int SpecialFolders() {
    LBS_SetTraceCallback(PrintNarrow);
    for (int type : {0, 1, 2, 3, 4, 5, 6, -1}) {
        Print("FOLDER " + std::to_string(type) + " <" + LBS_GetSpecialFolderPath(static_cast<LocbaseDirType>(type)) + ">\n");
    }
    return 0;
}

// The library linked into a DLL must find that DLL as its own module, not the host executable.
int DllInit(const char* dllName) {
    PrintIds();
    HMODULE dll = ::LoadLibraryA(dllName);
    if (dll == nullptr) return 3;
    using ProbeInit = HMODULE (*)();
    const auto probe = reinterpret_cast<ProbeInit>(reinterpret_cast<void*>(::GetProcAddress(dll, "ProbeInit")));
    if (probe == nullptr) return 4;
    const HMODULE reported = probe();
    Print(std::string("DLLMODULE ") + (reported == dll ? "dll" : reported == ::GetModuleHandleA(nullptr) ? "exe" : "other") + "\n");
    return 0;
}

int OpenMutex(const char* name) {
    HANDLE mutex = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
    if (mutex == nullptr) return static_cast<int>(::GetLastError());
    const DWORD wait = ::WaitForSingleObject(mutex, 5000);
    if (wait == WAIT_OBJECT_0) ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    return wait == WAIT_OBJECT_0 ? 0 : 1000;
}

int InheritedMutex(const char* handleValue) {
    HANDLE mutex = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(handleValue, nullptr, 10)));
    DWORD flags = 0;
    if (!::GetHandleInformation(mutex, &flags)) return static_cast<int>(::GetLastError());
    const DWORD wait = ::WaitForSingleObject(mutex, 5000);
    if (wait == WAIT_OBJECT_0) ::ReleaseMutex(mutex);
    return wait == WAIT_OBJECT_0 ? 0 : 1000;
}

bool Flag(const char* text) { return std::strcmp(text, "1") == 0; }

// One directory operation after Init, so that only its own lines follow the marker.
int Getter(int argc, char** argv) {
    LBS_SetTraceCallback(PrintNarrow);
    Init();
    Print("--- call\n");
    const std::string op = argv[2];
    auto arg = [&](int i) { return std::string(i < argc ? argv[i] : ""); };
    std::string result;
    if (op == "prog" && argc == 5) result = LBS_GetProgDir(argv[3], Flag(argv[4]));
    else if (op == "konfig" && argc == 4) result = LBS_GetKonfigDir(argv[3]);
    else if (op == "user-konfig" && argc == 5) result = LBS_GetKonfigDirCurrentUser(argv[3], Flag(argv[4]));
    else if (op == "log" && argc == 5) result = LBS_GetLogDir(argv[3], Flag(argv[4]));
    else if (op == "data" && argc == 6) result = LBS_GetDataDir(argv[3], Flag(argv[4]), arg(5));
    else if (op == "temp" && argc == 3) result = LBS_GetTempDir();
    else if (op == "temp-low" && argc == 3) result = _GetTempDirLow();
    else if (op == "guess-konfig" && argc == 4) result = _GuessLocalKonfigDir(argv[3]);
    else if (op == "guess-user-konfig" && argc == 5) result = _GuessLocalUserKonfigDir(argv[3], Flag(argv[4]));
    else if (op == "guess-log" && argc == 5) result = _GuessLocalLogDir(argv[3], Flag(argv[4]));
    else if (op == "guess-data" && argc == 6) result = _GuessLocalDataDir(argv[3], arg(4), Flag(argv[5]));
    else if (op == "korvan-env" && argc == 4) result = _IsKorvanEnvironment(argv[3]) ? "true" : "false";
    else return 102;
    Print("RESULT <" + result + ">\n");
    return 0;
}

// Enters and leaves a single-threaded apartment, whose window makes Wine start its desktop process
// if it is not running yet.
int Desktop() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    ::CoUninitialize();
    return 0;
}

// The first library call of the process, which makes the path dump when it is asked for, then a
// second call that must add nothing to it.
int FirstUse() {
    LBS_SetTraceCallback(PrintNarrow);
    Print("TEMP <" + LBS_GetTempDir() + ">\n");
    Print("--- second\n");
    Print("TEMP <" + LBS_GetTempDir() + ">\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 100;
    const std::string scenario = argv[1];
    if (scenario == "messages") return Messages();
    if (scenario == "messages-twice") return MessagesTwice();
    if (scenario == "lines" && (argc == 4 || argc == 5)) return Lines(std::atoi(argv[2]), argv[3], argc == 5 ? argv[4] : nullptr);
    if (scenario == "wide-messages") return WideMessages();
    if (scenario == "debug-output") return DebugOutput();
    if (scenario == "os-version") return OsVersion();
    if (scenario == "getter" && argc >= 3) return Getter(argc, argv);
    if (scenario == "first-use") return FirstUse();
    if (scenario == "desktop") return Desktop();
    if (scenario == "special-folders") return SpecialFolders();
    if (scenario == "dll-init" && argc == 3) return DllInit(argv[2]);
    if (scenario == "open-mutex" && argc == 3) return OpenMutex(argv[2]);
    if (scenario == "inherited-mutex" && argc == 3) return InheritedMutex(argv[2]);
    return 101;
}
