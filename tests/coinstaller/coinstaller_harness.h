// Drives the shipped TeskCoInstaller.dll as SetupAPI does, against the simulated setupapi.dll.
#pragma once

#include "bench/setupapi_sim/setupapi_sim.h"
#include "platform/sdk_extras.h"

namespace harness {

// Loaded once per process from beside the program, with its heap calls watched.
HMODULE CoInstallerModule();
DWORD CallCoDeviceInstall(DI_FUNCTION request, HDEVINFO set, PSP_DEVINFO_DATA data,
                          PCOINSTALLER_CONTEXT_DATA context);

// {50DD5230-BA8A-11D1-BF5D-0000F805F530} smart-card readers, {36FC9E60-C465-11CF-8056-444553540000} USB.
inline constexpr GUID kReaderClass = {0x50dd5230, 0xba8a, 0x11d1, {0xbf, 0x5d, 0x00, 0x00, 0xf8, 0x05, 0xf5, 0x30}};
inline constexpr GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr wchar_t kHubId[] = L"USB\\ROOT_HUB30\\4&2A5B3C&0&0";

// A reader below a hub with a filter device as its child, and the set SetupAPI would hand over.
struct ReaderTree {
    DEVINST reader;
    DEVINST child;
    HDEVINFO set;
    SP_DEVINFO_DATA data;
};
ReaderTree AddReader();

void SetDisable(DEVINST device);

}  // namespace harness
