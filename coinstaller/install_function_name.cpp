#include "coinstaller/install_function_name.h"

namespace {

// Indexed by request code; the codes without a name (0, the obsolete DIF_MOVEDEVICE 0x0E, 0x2B to
// 0x2F) hold "<unbekannt>", and row 0 serves every code beyond the table. The rows are finished
// values, so that naming a request is one copy of a row.
constexpr InstallFunctionNameText kNames[] = {
    {L"<unbekannt>"},
    {L"<DIF_SELECTDEVICE>"},
    {L"<DIF_INSTALLDEVICE>"},
    {L"<DIF_ASSIGNRESOURCES>"},
    {L"<DIF_PROPERTIES>"},
    {L"<DIF_REMOVE>"},
    {L"<DIF_FIRSTTIMESETUP>"},
    {L"<DIF_FOUNDDEVICE>"},
    {L"<DIF_SELECTCLASSDRIVERS>"},
    {L"<DIF_VALIDATECLASSDRIVERS>"},
    {L"<DIF_INSTALLCLASSDRIVERS>"},
    {L"<DIF_CALCDISKSPACE>"},
    {L"<DIF_DESTROYPRIVATEDATA>"},
    {L"<DIF_VALIDATEDRIVER>"},
    {L"<unbekannt>"},
    {L"<DIF_DETECT>"},
    {L"<DIF_INSTALLWIZARD>"},
    {L"<DIF_DESTROYWIZARDDATA>"},
    {L"<DIF_PROPERTYCHANGE>"},
    {L"<DIF_ENABLECLASS>"},
    {L"<DIF_DETECTVERIFY>"},
    {L"<DIF_INSTALLDEVICEFILES>"},
    {L"<DIF_UNREMOVE>"},
    {L"<DIF_SELECTBESTCOMPATDRV>"},
    {L"<DIF_ALLOW_INSTALL>"},
    {L"<DIF_REGISTERDEVICE>"},
    {L"<DIF_NEWDEVICEWIZARD_PRESELECT>"},
    {L"<DIF_NEWDEVICEWIZARD_SELECT>"},
    {L"<DIF_NEWDEVICEWIZARD_PREANALYZE>"},
    {L"<DIF_NEWDEVICEWIZARD_POSTANALYZE>"},
    {L"<DIF_NEWDEVICEWIZARD_FINISHINSTALL>"},
    {L"<DIF_UNUSED1>"},
    {L"<DIF_INSTALLINTERFACES>"},
    {L"<DIF_DETECTCANCEL>"},
    {L"<DIF_REGISTER_COINSTALLERS>"},
    {L"<DIF_ADDPROPERTYPAGE_ADVANCED>"},
    {L"<DIF_ADDPROPERTYPAGE_BASIC>"},
    {L"<DIF_RESERVED1>"},
    {L"<DIF_TROUBLESHOOTER>"},
    {L"<DIF_POWERMESSAGEWAKE>"},
    {L"<DIF_ADDREMOTEPROPERTYPAGE_ADVANCED>"},
    {L"<DIF_UPDATEDRIVER_UI>"},
    {L"<DIF_FINISHINSTALL_ACTION>"},
    {L"<unbekannt>"},
    {L"<unbekannt>"},
    {L"<unbekannt>"},
    {L"<unbekannt>"},
    {L"<unbekannt>"},
    {L"<DIF_RESERVED2>"},
};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == 0x31, "codes 0 to 0x30");

}  // namespace

InstallFunctionNameText InstallFunctionName(DI_FUNCTION installFunction) noexcept {
    return installFunction < sizeof(kNames) / sizeof(kNames[0]) ? kNames[installFunction] : kNames[0];
}
