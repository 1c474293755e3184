// The benchmarks' setupapi.dll, as cheap as the system's: the bench's simulated one journals each call
// under a lock, many times the module's own work. Only the log token is read; the rest fails at once.
#include "platform/sdk_extras.h"

#include <cfgmgr32.h>

extern "C" {
SP_LOG_TOKEN WINAPI SetupGetThreadLogToken(void) { return LOGTOKEN_NO_LOG; }
void __cdecl SetupWriteTextLog(SP_LOG_TOKEN, DWORD, DWORD, PCSTR, ...) {}
void __cdecl SetupWriteTextLogError(SP_LOG_TOKEN, DWORD, DWORD, DWORD, PCSTR, ...) {}
CONFIGRET WINAPI CM_Get_Child(PDEVINST, DEVINST, ULONG) { return CR_FAILURE; }
CONFIGRET WINAPI CM_Get_Parent(PDEVINST, DEVINST, ULONG) { return CR_FAILURE; }
CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST, PWCHAR, ULONG, ULONG) { return CR_FAILURE; }
HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID*, PCWSTR, HWND, DWORD) { return INVALID_HANDLE_VALUE; }
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO) { return FALSE; }
BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO, DWORD, PSP_DEVINFO_DATA) { return FALSE; }
BOOL WINAPI SetupDiGetClassInstallParamsW(HDEVINFO, PSP_DEVINFO_DATA, PSP_CLASSINSTALL_HEADER, DWORD, PDWORD) { return FALSE; }
BOOL WINAPI SetupDiRemoveDevice(HDEVINFO, PSP_DEVINFO_DATA) { return FALSE; }
BOOL WINAPI SetupDiSetDeviceInstallParamsW(HDEVINFO, PSP_DEVINFO_DATA, PSP_DEVINSTALL_PARAMS_W) { return FALSE; }
}
