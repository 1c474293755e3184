#include "coinstaller/coinstaller_harness.h"

#include "test_support/heap_watch.h"

#include <gtest/gtest.h>

namespace harness {

HMODULE CoInstallerModule() {
    static HMODULE module = [] {
        HMODULE loaded = ::LoadLibraryW(L"TeskCoInstaller.dll");
        if (loaded != nullptr) heap_watch::Install(loaded);
        return loaded;
    }();
    return module;
}

DWORD CallCoDeviceInstall(DI_FUNCTION request, HDEVINFO set, PSP_DEVINFO_DATA data,
                          PCOINSTALLER_CONTEXT_DATA context) {
    static const auto entry =
        reinterpret_cast<CoDeviceInstallFn>(reinterpret_cast<void*>(::GetProcAddress(CoInstallerModule(), "CoDeviceInstall")));
    if (entry == nullptr) {
        ADD_FAILURE() << "TeskCoInstaller.dll or its CoDeviceInstall export is missing";
        return 0xFFFFFFFF;
    }
    return entry(request, set, data, context);
}

ReaderTree AddReader(bool withChild) {
    ReaderTree tree{};
    tree.hub = SimAddDevice(kHubId, 0, &kUsbClass);
    tree.reader = SimAddDevice(kReaderId, tree.hub, &kReaderClass);
    if (withChild) tree.child = SimAddDevice(kChildId, tree.reader, &GUID_DEVCLASS_SMARTCARDFILTER);
    EXPECT_NE(0u, tree.reader);
    EXPECT_TRUE(SimCreateDeviceInfo(tree.reader, &tree.set, &tree.data));
    return tree;
}

DEVINST AddFilterDevice(const wchar_t* instanceId) {
    const DEVINST device = SimAddDevice(instanceId, 0, &GUID_DEVCLASS_SMARTCARDFILTER);
    EXPECT_NE(0u, device);
    return device;
}

void SetPropertyChange(DEVINST device, DWORD stateChange) {
    SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = stateChange;
    params.Scope = DICS_FLAG_GLOBAL;
    params.HwProfile = 0;
    EXPECT_TRUE(SimSetClassInstallParams(device, &params, sizeof(params)));
}

bool PlayDisable(ReaderTree& tree) {
    SetPropertyChange(tree.reader, DICS_DISABLE);
    COINSTALLER_CONTEXT_DATA context{};
    const DWORD pre = CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context);
    EXPECT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED), pre);
    if (pre != ERROR_DI_POSTPROCESSING_REQUIRED) return false;
    context.PostProcessing = TRUE;
    const DWORD post = CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), post);
    EXPECT_EQ(nullptr, context.PrivateData) << "the child identifier record must be released";
    return post == NO_ERROR;
}

std::vector<TextLogEntry> TextLog() {
    std::vector<TextLogEntry> entries;
    for (size_t i = 0; i < SimTextLogCount(); ++i) {
        SimTextLogEntry entry{};
        if (!SimGetTextLogEntry(i, &entry)) continue;
        entries.push_back({entry.category, entry.flags, entry.hasError != FALSE, entry.error,
                           entry.message ? std::string(entry.message, entry.messageLength) : std::string()});
    }
    return entries;
}

std::string Latin1(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow.push_back(static_cast<char>(c <= 0xFF ? c : '?'));
    return narrow;
}

}  // namespace harness
