#include "coinstaller/install_function_name.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// The SDK's request codes and their names, written out independently of the implementation.
const std::map<DWORD, std::wstring>& NamedCodes() {
    static const std::map<DWORD, std::wstring> names = {
        {0x01, L"<DIF_SELECTDEVICE>"},
        {0x02, L"<DIF_INSTALLDEVICE>"},
        {0x03, L"<DIF_ASSIGNRESOURCES>"},
        {0x04, L"<DIF_PROPERTIES>"},
        {0x05, L"<DIF_REMOVE>"},
        {0x06, L"<DIF_FIRSTTIMESETUP>"},
        {0x07, L"<DIF_FOUNDDEVICE>"},
        {0x08, L"<DIF_SELECTCLASSDRIVERS>"},
        {0x09, L"<DIF_VALIDATECLASSDRIVERS>"},
        {0x0A, L"<DIF_INSTALLCLASSDRIVERS>"},
        {0x0B, L"<DIF_CALCDISKSPACE>"},
        {0x0C, L"<DIF_DESTROYPRIVATEDATA>"},
        {0x0D, L"<DIF_VALIDATEDRIVER>"},
        {0x0F, L"<DIF_DETECT>"},
        {0x10, L"<DIF_INSTALLWIZARD>"},
        {0x11, L"<DIF_DESTROYWIZARDDATA>"},
        {0x12, L"<DIF_PROPERTYCHANGE>"},
        {0x13, L"<DIF_ENABLECLASS>"},
        {0x14, L"<DIF_DETECTVERIFY>"},
        {0x15, L"<DIF_INSTALLDEVICEFILES>"},
        {0x16, L"<DIF_UNREMOVE>"},
        {0x17, L"<DIF_SELECTBESTCOMPATDRV>"},
        {0x18, L"<DIF_ALLOW_INSTALL>"},
        {0x19, L"<DIF_REGISTERDEVICE>"},
        {0x1A, L"<DIF_NEWDEVICEWIZARD_PRESELECT>"},
        {0x1B, L"<DIF_NEWDEVICEWIZARD_SELECT>"},
        {0x1C, L"<DIF_NEWDEVICEWIZARD_PREANALYZE>"},
        {0x1D, L"<DIF_NEWDEVICEWIZARD_POSTANALYZE>"},
        {0x1E, L"<DIF_NEWDEVICEWIZARD_FINISHINSTALL>"},
        {0x1F, L"<DIF_UNUSED1>"},
        {0x20, L"<DIF_INSTALLINTERFACES>"},
        {0x21, L"<DIF_DETECTCANCEL>"},
        {0x22, L"<DIF_REGISTER_COINSTALLERS>"},
        {0x23, L"<DIF_ADDPROPERTYPAGE_ADVANCED>"},
        {0x24, L"<DIF_ADDPROPERTYPAGE_BASIC>"},
        {0x25, L"<DIF_RESERVED1>"},
        {0x26, L"<DIF_TROUBLESHOOTER>"},
        {0x27, L"<DIF_POWERMESSAGEWAKE>"},
        {0x28, L"<DIF_ADDREMOTEPROPERTYPAGE_ADVANCED>"},
        {0x29, L"<DIF_UPDATEDRIVER_UI>"},
        {0x2A, L"<DIF_FINISHINSTALL_ACTION>"},
        {0x30, L"<DIF_RESERVED2>"},
    };
    return names;
}

TEST(InstallFunctionName, NamesEveryRequestCodeOfTheSdk) {
    ASSERT_EQ(42u, NamedCodes().size());
    for (const auto& [code, name] : NamedCodes()) {
        EXPECT_EQ(name, InstallFunctionName(code).c_str()) << "code 0x" << std::hex << code;
    }
}

TEST(InstallFunctionName, AgreesWithTheSdkConstants) {
    EXPECT_EQ(std::wstring(L"<DIF_PROPERTYCHANGE>"), InstallFunctionName(DIF_PROPERTYCHANGE).c_str());
    EXPECT_EQ(std::wstring(L"<DIF_REMOVE>"), InstallFunctionName(DIF_REMOVE).c_str());
    EXPECT_EQ(std::wstring(L"<DIF_INSTALLDEVICE>"), InstallFunctionName(DIF_INSTALLDEVICE).c_str());
}

TEST(InstallFunctionName, EveryOtherCodeIsUnknown) {
    int unknown = 0;
    for (DWORD code = 0; code <= 0x100; ++code) {
        if (NamedCodes().count(code) != 0) continue;
        EXPECT_EQ(std::wstring(L"<unbekannt>"), InstallFunctionName(code).c_str()) << "code 0x" << std::hex << code;
        ++unknown;
    }
    EXPECT_EQ(0x101 - 42, unknown);
    for (DWORD code : {0x7FFFFFFFul, 0x80000000ul, 0xFFFFFFFEul, 0xFFFFFFFFul}) {
        EXPECT_EQ(std::wstring(L"<unbekannt>"), InstallFunctionName(code).c_str());
    }
}

TEST(InstallFunctionName, EachCallBuildsAnIndependentText) {
    InstallFunctionNameText first = InstallFunctionName(DIF_REMOVE);
    const InstallFunctionNameText second = InstallFunctionName(DIF_REMOVE);
    first.text[1] = L'X';
    EXPECT_EQ(std::wstring(L"<DIF_REMOVE>"), second.c_str());
}

}  // namespace
