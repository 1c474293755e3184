// Drives the shipped TeskCoInstaller.dll as SetupAPI does, against the simulated setupapi.dll.
#pragma once

#include "bench/setupapi_sim/setupapi_sim.h"
#include "platform/sdk_extras.h"
#include "test_support/heap_watch.h"
#include "test_support/module.h"

#include <gtest/gtest.h>

namespace harness {

// {50DD5230-BA8A-11D1-BF5D-0000F805F530} smart-card readers, {36FC9E60-C465-11CF-8056-444553540000} USB.
inline constexpr GUID kReaderClass = {0x50dd5230, 0xba8a, 0x11d1, {0xbf, 0x5d, 0x00, 0x00, 0xf8, 0x05, 0xf5, 0x30}};
inline constexpr GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr wchar_t kHubId[] = L"USB\\ROOT_HUB30\\4&2A5B3C&0&0";

// A reader below a hub with a filter device as its child, and the set SetupAPI would hand over.
struct ReaderTree {
    DEVINST reader, child;
    HDEVINFO set;
    SP_DEVINFO_DATA data;
};

// Loaded once per process from beside the program, with its heap calls watched, and never
// unloaded, as in a SetupAPI host.
inline HMODULE CoInstallerModule() {
    static const HMODULE module = [] {
        tesk::UniqueHmodule loaded = test_support::LoadModule("TeskCoInstaller.dll");
        if (loaded) heap_watch::Install(loaded.get());
        return loaded.release();
    }();
    return module;
}

inline DWORD CallCoDeviceInstall(DI_FUNCTION request, HDEVINFO set, PSP_DEVINFO_DATA data,
                                 PCOINSTALLER_CONTEXT_DATA context) {
    static const auto entry =
        test_support::ExportAs<test_support::CoDeviceInstallFn>(CoInstallerModule(), "CoDeviceInstall");
    return entry ? entry(request, set, data, context) : 0xFFFFFFFF;
}

inline ReaderTree AddReader() {
    ReaderTree tree{};
    const DEVINST hub = SimAddDevice(kHubId, 0, &kUsbClass);
    tree.reader = SimAddDevice(L"USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2", hub, &kReaderClass);
    tree.child = SimAddDevice(L"SCFILTER\\CID_4B4F5256414E\\7&3A2B1C&0&0", tree.reader, &GUID_DEVCLASS_SMARTCARDFILTER);
    EXPECT_TRUE(SimCreateDeviceInfo(tree.reader, &tree.set, &tree.data));
    return tree;
}

inline void SetDisable(DEVINST device) {
    SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader = {sizeof(SP_CLASSINSTALL_HEADER), DIF_PROPERTYCHANGE};
    params.StateChange = DICS_DISABLE;
    params.Scope = DICS_FLAG_GLOBAL;
    EXPECT_TRUE(SimSetClassInstallParams(device, &params, sizeof(params)));
}

}  // namespace harness
