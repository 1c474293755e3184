// Drives the shipped TeskCoInstaller.dll as SetupAPI does, against the simulated setupapi.dll,
// and reads back what it wrote to the trace and to the SetupAPI text log.
#pragma once

#include "platform/sdk_extras.h"
#include "bench/setupapi_sim/setupapi_sim.h"

#include <cstdint>
#include <string>
#include <vector>

namespace harness {

using CoDeviceInstallFn = DWORD(WINAPI*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

// Loaded once per process from beside the test program, with its heap calls watched.
HMODULE CoInstallerModule();
DWORD CallCoDeviceInstall(DI_FUNCTION request, HDEVINFO set, PSP_DEVINFO_DATA data,
                          PCOINSTALLER_CONTEXT_DATA context);

// {50DD5230-BA8A-11D1-BF5D-0000F805F530} smart-card readers, {36FC9E60-C465-11CF-8056-444553540000} USB.
inline constexpr GUID kReaderClass = {0x50dd5230, 0xba8a, 0x11d1, {0xbf, 0x5d, 0x00, 0x00, 0xf8, 0x05, 0xf5, 0x30}};
inline constexpr GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

inline constexpr wchar_t kHubId[] = L"USB\\ROOT_HUB30\\4&2A5B3C&0&0";
inline constexpr wchar_t kReaderId[] = L"USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2";
inline constexpr wchar_t kChildId[] = L"SCFILTER\\CID_4B4F5256414E\\7&3A2B1C&0&0";

// A reader below a hub, with a smart-card filter device as its child, and the device
// information set SetupAPI would hand the co-installer for the reader.
struct ReaderTree {
    DEVINST hub;
    DEVINST reader;
    DEVINST child;
    HDEVINFO set;
    SP_DEVINFO_DATA data;
};
ReaderTree AddReader(bool withChild = true);
DEVINST AddFilterDevice(const wchar_t* instanceId);

// Class install parameters of a property change with the given state change.
void SetPropertyChange(DEVINST device, DWORD stateChange);

// A disable of the reader as SetupAPI plays it: pre-processing, and post-processing when asked
// for. Returns false (with a test failure) when either call answers otherwise than expected.
bool PlayDisable(ReaderTree& tree);

struct TraceLine {
    int32_t level;
    std::string category;
    std::string text;
};
// Every line the module wrote to the trace library, in order.
std::vector<TraceLine> TraceLines();
// Only the texts, of the co-installer's own category.
std::vector<std::string> CoInstallTexts();
bool HasText(const std::string& text);
int32_t LevelOf(const std::string& text);

struct TextLogEntry {
    DWORD category;
    DWORD flags;
    bool hasError;
    DWORD error;
    std::string message;
};
std::vector<TextLogEntry> TextLog();

// The narrow form in which the module hands a wide text to the trace library.
std::string Latin1(const std::wstring& text);

}  // namespace harness
