// Scenario host of the configuration-service client: one process per scenario, because the library
// reads "LocbaseActive" once per process. The lookup runs on a thread of its own whose COM state the
// scenario chooses; afterwards the host probes that the lookup left the thread's apartment as it
// found it. Messages, the result and the probes go to standard output.
#include "dirlib/locbase.h"
#include "dirlib/locbase_service.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

void Print(const std::string& text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void WINAPI PrintNarrow(bool isError, const char* message) {
    Print(std::string(isError ? "E " : "I ") + message + "\n");
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

struct Scenario {
    std::string mode;  // "none", "sta" or "mta": the thread's COM state before the lookup
    std::function<std::string()> lookup;
};

// Before: the chosen state. After: a second initialisation of the same kind must find the apartment
// still there (S_FALSE), and once both are undone the thread must be free for the other kind (S_OK).
// A lookup that leaked or over-released an apartment changes one of the two probes.
DWORD WINAPI RunScenario(void* parameter) {
    const Scenario& scenario = *static_cast<Scenario*>(parameter);
    const DWORD model = scenario.mode == "mta" ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED;
    const DWORD other = scenario.mode == "mta" ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
    if (scenario.mode != "none") Print("BEFORE " + Hex(::CoInitializeEx(nullptr, model)) + "\n");

    const std::string result = scenario.lookup();
    Print("RESULT <" + result + ">\n");

    if (scenario.mode == "none") {
        const HRESULT probe = ::CoInitializeEx(nullptr, other);
        Print("PROBE " + Hex(probe) + "\n");
        if (SUCCEEDED(probe)) ::CoUninitialize();
    } else {
        const HRESULT same = ::CoInitializeEx(nullptr, model);
        if (SUCCEEDED(same)) ::CoUninitialize();
        ::CoUninitialize();
        const HRESULT probe = ::CoInitializeEx(nullptr, other);
        Print("PROBE " + Hex(same) + " " + Hex(probe) + "\n");
        if (SUCCEEDED(probe)) ::CoUninitialize();
    }
    return 0;
}

int Run(Scenario scenario) {
    LBS_SetTraceCallback(PrintNarrow);
    HANDLE thread = ::CreateThread(nullptr, 0, RunScenario, &scenario, 0, nullptr);
    if (thread == nullptr) return 3;
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    return 0;
}

}  // namespace

// confsvc_host value <component> <type> <mode>
// confsvc_host datadir <component> <area> <mode>
// confsvc_host systemdir <selector> <mode>
int main(int argc, char** argv) {
    if (argc < 2) return 100;
    const std::string kind = argv[1];
    if (kind == "value" && argc == 5) {
        const std::string component = argv[2];
        const int type = std::atoi(argv[3]);
        return Run({argv[4], [=] { return _GetValueFromLocbase(component, type, ""); }});
    }
    if (kind == "datadir" && argc == 5) {
        const std::string component = argv[2];
        const std::string area = argv[3];
        return Run({argv[4], [=] { return LBS_GetAvailableDataDirLocbase(component, area); }});
    }
    if (kind == "systemdir" && argc == 4) {
        const int selector = std::atoi(argv[2]);
        return Run({argv[3], [=] { return LBS_GetSystemDir(selector); }});
    }
    return 101;
}
