// Plays a disable-then-remove of a TESK reader against the unmodified TeskCoInstaller.dll, the
// way SetupAPI calls a co-installer, and prints what the module traced and logged.
#include "platform/sdk_extras.h"
#include "tests/doubles/recording_trace/recording_trace.h"
#include "tests/doubles/setupapi_sim/setupapi_sim.h"

#include <cstdio>
#include <string>

namespace {

using CoDeviceInstallFn = DWORD(WINAPI*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

constexpr GUID kReaderClass = {0x50dd5230, 0xba8a, 0x11d1, {0xbf, 0x5d, 0x00, 0x00, 0xf8, 0x05, 0xf5, 0x30}};
constexpr GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The module writes ISO 8859-1 / Windows-1252 bytes; the terminal reads UTF-8.
std::string Utf8(const char* latin1) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(latin1); *p; ++p) {
        if (*p < 0x80) {
            out.push_back(static_cast<char>(*p));
        } else {
            out.push_back(static_cast<char>(0xC0 | (*p >> 6)));
            out.push_back(static_cast<char>(0x80 | (*p & 0x3F)));
        }
    }
    return out;
}

std::string Utf8(const wchar_t* text) {
    char buffer[512] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return buffer;
}

struct Node {
    const wchar_t* id;
    const char* role;
    DEVINST devInst;
    int depth;
};

void PrintTree(const char* heading, const Node* nodes, size_t count) {
    std::printf("%s\n", heading);
    for (size_t i = 0; i < count; ++i) {
        std::printf("  %*s%s  (%s)%s\n", nodes[i].depth * 2, "", Utf8(nodes[i].id).c_str(), nodes[i].role,
                    SimDeviceExists(nodes[i].devInst) ? "" : "  -- removed");
    }
}

size_t g_traceSeen = 0;
size_t g_logSeen = 0;

void PrintWhatHappened() {
    for (; g_traceSeen < RecCallCount(); ++g_traceSeen) {
        RecCall call{};
        RecGetCall(g_traceSeen, &call);
        const std::string function = call.function;
        if (function == "Write") {
            std::printf("  trace   [%2d] %s: %s\n", call.level, call.category, Utf8(call.text).c_str());
        } else if (function == "Dump") {
            std::printf("  trace   [%2d] %s: dump %s %s, %u bytes:", call.level, call.category, call.title, call.name,
                        call.size);
            for (uint32_t i = 0; i < call.size; ++i) std::printf(" %02x", call.data[i]);
            std::printf("\n");
        }
    }
    for (; g_logSeen < SimTextLogCount(); ++g_logSeen) {
        SimTextLogEntry entry{};
        SimGetTextLogEntry(g_logSeen, &entry);
        if (entry.hasError) {
            std::printf("  textlog 0x%08lx/%lu error 0x%08lx: %s\n", entry.category, entry.flags, entry.error,
                        Utf8(entry.message).c_str());
        } else {
            std::printf("  textlog 0x%08lx/%lu: %s\n", entry.category, entry.flags, Utf8(entry.message).c_str());
        }
    }
}

DWORD Request(CoDeviceInstallFn coDeviceInstall, const char* title, DI_FUNCTION function, HDEVINFO set,
              SP_DEVINFO_DATA* data, COINSTALLER_CONTEXT_DATA* context) {
    const DWORD result = coDeviceInstall(function, set, data, context);
    std::printf("\n== %s -> 0x%08lx\n", title, result);
    PrintWhatHappened();
    return result;
}

}  // namespace

int main() {
    HMODULE module = ::LoadLibraryW(L"TeskCoInstaller.dll");
    const auto coDeviceInstall =
        module ? reinterpret_cast<CoDeviceInstallFn>(reinterpret_cast<void*>(::GetProcAddress(module, "CoDeviceInstall")))
               : nullptr;
    if (coDeviceInstall == nullptr) {
        std::fprintf(stderr, "demo: TeskCoInstaller.dll or its export CoDeviceInstall not found\n");
        return 2;
    }

    SimReset();
    RecReset();
    RecSetCategoryLevel("TESK.CoInstall", 16);
    SimSetThreadLogToken(0x2A);
    Node nodes[] = {
        {L"USB\\ROOT_HUB30\\4&2A5B3C&0&0", "USB hub", 0, 0},
        {L"USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2", "TESK reader", 0, 1},
        {L"SCFILTER\\CID_4B4F5256414E\\7&3A2B1C&0&0", "smart-card filter", 0, 2},
    };
    nodes[0].devInst = SimAddDevice(nodes[0].id, 0, &kUsbClass);
    nodes[1].devInst = SimAddDevice(nodes[1].id, nodes[0].devInst, &kReaderClass);
    nodes[2].devInst = SimAddDevice(nodes[2].id, nodes[1].devInst, &GUID_DEVCLASS_SMARTCARDFILTER);

    SP_PROPCHANGE_PARAMS disable{};
    disable.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    disable.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    disable.StateChange = DICS_DISABLE;
    disable.Scope = DICS_FLAG_GLOBAL;
    SimSetClassInstallParams(nodes[1].devInst, &disable, sizeof disable);

    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA data{};
    SimCreateDeviceInfo(nodes[1].devInst, &set, &data);

    PrintTree("== Device tree before", nodes, 3);
    COINSTALLER_CONTEXT_DATA context{};
    const DWORD pre = Request(coDeviceInstall, "DIF_PROPERTYCHANGE (disable), pre-processing", DIF_PROPERTYCHANGE,
                              set, &data, &context);
    if (pre == ERROR_DI_POSTPROCESSING_REQUIRED) {
        context.PostProcessing = TRUE;
        context.InstallResult = NO_ERROR;
        Request(coDeviceInstall, "DIF_PROPERTYCHANGE (disable), post-processing", DIF_PROPERTYCHANGE, set, &data,
                &context);
    }
    Request(coDeviceInstall, "DIF_REMOVE", DIF_REMOVE, set, &data, nullptr);
    std::printf("\n");
    PrintTree("== Device tree after", nodes, 3);

    return SimDeviceExists(nodes[2].devInst) ? 1 : 0;
}
