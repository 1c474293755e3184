#include "dirlib/os_version.h"

#include "dirlib/locbase.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

#include <atomic>

namespace {

// 0 until a classification gives a class; a system that classifies as 0 is examined again.
std::atomic<int> g_osVersionClass{0};

struct VersionName {
    int versionClass;
    const char* text;
};

constexpr VersionName kVersionNames[] = {
    {1, "Windows XP"},
    {2, "Windows XP SP1"},
    {3, "Windows XP SP2"},
    {4, "Windows XP SP3"},
    {5, "Windows 2003 Server"},
    {6, "Windows 2003 Server R2"},
    {7, "Windows VISTA"},
    {8, "Windows VISTA SP1"},
    {9, "Windows VISTA SP2"},
    {10, "Windows 2008 Server"},
    {11, "Windows 7"},
    {12, "Windows 7 SP1"},
    {13, "Windows 2008 Server R2"},
    {14, "Windows 8"},
    {15, "Windows 2012 Server"},
    {16, "Windows 8.1"},
    {17, "Windows 2012 Server R2"},
    {18, "Windows 10"},
    {19, "Windows 2016 Server"},
    {100, "Windows Major > 10 und Minor x (nach Win10)"},
    {101, "Server Windows Major > 10 und Minor x (nach Server2016)"},
};

int ClassifyXp(WORD servicePack) {
    switch (servicePack) {
        case 1: return 2;
        case 2: return 3;
        case 3: return 4;
        default: return 1;
    }
}

int ClassifyVersion6(DWORD minor, bool workstation, WORD servicePack) {
    switch (minor) {
        case 0:
            if (!workstation) return 10;
            return servicePack == 1 ? 8 : servicePack == 2 ? 9 : 7;
        case 1:
            if (!workstation) return 13;
            return servicePack == 1 ? 12 : 11;
        case 2: return workstation ? 14 : 15;
        case 3: return workstation ? 16 : 17;
        default: return 0;
    }
}

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);

}  // namespace

int _ClassifyOsVersion(const OSVERSIONINFOEXW& version, int serverR2Metric) {
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return 0;
    const bool workstation = version.wProductType == VER_NT_WORKSTATION;
    const DWORD major = version.dwMajorVersion;
    const DWORD minor = version.dwMinorVersion;
    if (major == 5 && minor == 1) return ClassifyXp(version.wServicePackMajor);
    if (major == 5 && minor == 2) return serverR2Metric == 0 ? 5 : 6;
    if (major == 6) return ClassifyVersion6(minor, workstation, version.wServicePackMajor);
    if (major == 10 && minor == 0) return workstation ? 18 : 19;
    if (major > 10) return workstation ? 100 : 101;
    return 0;
}

std::string _GetOsVersionName(int versionClass) {
    for (const VersionName& name : kVersionNames) {
        if (name.versionClass == versionClass) return name.text;
    }
    return "Windows Version UNKNOWN";
}

int LBS_GetOsVersion() {
    Init();
    if (g_osVersionClass.load(std::memory_order_relaxed) == 0) {
        try {
            OSVERSIONINFOEXW version = {};
            version.dwOSVersionInfoSize = sizeof version;
            const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
                reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
            if (rtlGetVersion == nullptr) {
                _TracerWrite(kTraceError,
                             "LBS_GetOsVersion: Funktionszeiger f\xfcr <RtlGetVersion> konnte nicht ermittelt werden!");
            } else {
                const LONG status = rtlGetVersion(&version);
                if (status != 0) {
                    _TracerWrite(kTraceError, "LBS_GetOsVersion: <RtlGetVersion> lieferte Fehler <%d>!",
                                 static_cast<int>(status));
                }
            }
            g_osVersionClass.store(_ClassifyOsVersion(version, ::GetSystemMetrics(SM_SERVERR2)),
                                   std::memory_order_relaxed);
        } catch (...) {
            _TracerWrite(kTraceError, "LBS_GetOsVersion: Im Catch...");
        }
    }
    const int versionClass = g_osVersionClass.load(std::memory_order_relaxed);
    _TracerWrite(kTraceInfo, "LBS_GetOsVersion: \"%d\" (%s)", versionClass, _GetOsVersionName(versionClass).c_str());
    return versionClass;
}
