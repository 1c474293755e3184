#include "coinstaller_harness.h"

#include "test_support/heap_watch.h"
#include "test_support/module.h"

#include <gtest/gtest.h>

namespace harness {

HMODULE CoInstallerModule() {
    // Never unloaded, as in a SetupAPI host.
    static const HMODULE module = [] {
        tesk::UniqueHmodule loaded = test_support::LoadModule("TeskCoInstaller.dll");
        if (loaded) heap_watch::Install(loaded.get());
        return loaded.release();
    }();
    return module;
}

DWORD CallCoDeviceInstall(DI_FUNCTION request, HDEVINFO set, PSP_DEVINFO_DATA data,
                          PCOINSTALLER_CONTEXT_DATA context) {
    static const auto entry =
        test_support::ExportAs<test_support::CoDeviceInstallFn>(CoInstallerModule(), "CoDeviceInstall");
    return entry ? entry(request, set, data, context) : 0xFFFFFFFF;
}

ReaderTree AddReader() {
    ReaderTree tree{};
    const DEVINST hub = SimAddDevice(kHubId, 0, &kUsbClass);
    tree.reader = SimAddDevice(L"USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2", hub, &kReaderClass);
    tree.child = SimAddDevice(L"SCFILTER\\CID_4B4F5256414E\\7&3A2B1C&0&0", tree.reader, &GUID_DEVCLASS_SMARTCARDFILTER);
    EXPECT_TRUE(SimCreateDeviceInfo(tree.reader, &tree.set, &tree.data));
    return tree;
}

void SetDisable(DEVINST device) {
    SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader = {sizeof(SP_CLASSINSTALL_HEADER), DIF_PROPERTYCHANGE};
    params.StateChange = DICS_DISABLE;
    params.Scope = DICS_FLAG_GLOBAL;
    EXPECT_TRUE(SimSetClassInstallParams(device, &params, sizeof(params)));
}

}  // namespace harness
