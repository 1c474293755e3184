/* Control interface of the simulated setupapi.dll.
 *
 * A test program links the simulation's import library, so the test and the module under test
 * share one simulated device tree, one set table, one text log and one call journal. Every Sim*
 * function is thread-safe and none of them appears in the journal.
 *
 * Strings and pointers handed out (SimCall, SimTextLogEntry, SimClassDevsCall) stay valid until
 * the next SimReset. */
#ifndef SETUPAPI_SIM_H
#define SETUPAPI_SIM_H

#include "platform/sdk_extras.h"

#include <cfgmgr32.h>
#include <stddef.h>

#ifdef SETUPAPI_SIM_BUILD
#define SIM_API
#else
#define SIM_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets every device, set, text-log entry, journal entry, recorded SetupDiGetClassDevsW call
 * and armed failure; the log token becomes 0 and DEVINST numbering starts again. */
SIM_API void SimReset(void);

/* ---- Device tree ---- */

/* Adds a device node below parent (0: a top-level node) as its last child. Returns the new
 * node's DEVINST (never 0, distinct from small indexes), or 0 when the ID is null, empty, longer
 * than MAX_DEVICE_ID_LEN - 1, already present (exact comparison), the parent is unknown or
 * classGuid is null. New nodes have no class install parameters and zeroed device install
 * parameters (cbSize set). */
SIM_API DEVINST SimAddDevice(const wchar_t* instanceId, DEVINST parent, const GUID* classGuid);
/* As SimAddDevice, but an ID that another node already has is accepted: a stale registration
 * that a class listing returns beside the live node of the same ID. */
SIM_API DEVINST SimAddDeviceDuplicateId(const wchar_t* instanceId, DEVINST parent, const GUID* classGuid);
/* TRUE while the node is in the tree (SetupDiRemoveDevice takes a node and its subtree out). */
SIM_API BOOL SimDeviceExists(DEVINST devInst);
/* Number of nodes in the tree. */
SIM_API size_t SimDeviceCount(void);

/* ---- Per-device parameters ---- */

/* Stores a copy of the class install parameters (header included) and makes size the size that
 * SetupDiGetClassInstallParamsW reports. data null (size ignored): the device has none. */
SIM_API BOOL SimSetClassInstallParams(DEVINST devInst, const void* data, DWORD size);
/* Overrides the size that SetupDiGetClassInstallParamsW reports, leaving the stored bytes. */
SIM_API BOOL SimSetClassInstallParamsRequiredSize(DEVINST devInst, DWORD requiredSize);
/* Replaces the device's install parameters verbatim (any cbSize, any flags). */
SIM_API BOOL SimSetDeviceInstallParams(DEVINST devInst, const SP_DEVINSTALL_PARAMS_W* params);
/* Copies the device's current install parameters. */
SIM_API BOOL SimGetDeviceInstallParams(DEVINST devInst, SP_DEVINSTALL_PARAMS_W* params);

/* ---- Device information sets ---- */

/* Makes a set holding only devInst, as SetupAPI hands one to a co-installer, and fills *data as
 * SetupDiEnumDeviceInfo would. Such sets are not counted by SimSetsOpened/Destroyed/Open. */
SIM_API BOOL SimCreateDeviceInfo(DEVINST devInst, HDEVINFO* set, SP_DEVINFO_DATA* data);
/* TRUE while the handle names a set that has not been destroyed. */
SIM_API BOOL SimIsDeviceInfoSetValid(HDEVINFO set);
/* Sets returned by SetupDiGetClassDevsW / of those, destroyed / still open. */
SIM_API ULONG SimSetsOpened(void);
SIM_API ULONG SimSetsDestroyed(void);
SIM_API ULONG SimSetsOpen(void);

/* Every SetupDiGetClassDevsW call, failed ones included, in call order. */
typedef struct SimClassDevsCall {
    BOOL hasClassGuid; /* FALSE: ClassGuid was null */
    GUID classGuid;
    const wchar_t* enumerator; /* null when none was passed */
    HWND window;
    DWORD flags;
    HDEVINFO result; /* INVALID_HANDLE_VALUE when the call failed */
} SimClassDevsCall;
SIM_API size_t SimClassDevsCallCount(void);
SIM_API BOOL SimGetClassDevsCall(size_t index, SimClassDevsCall* call);

/* ---- SetupAPI text log ---- */

/* The value SetupGetThreadLogToken returns (on every thread). */
SIM_API void SimSetThreadLogToken(SP_LOG_TOKEN token);

typedef struct SimTextLogEntry {
    SP_LOG_TOKEN token;
    DWORD category;
    DWORD flags;
    BOOL hasError; /* TRUE for SetupWriteTextLogError */
    DWORD error;
    const char* message; /* the message argument's bytes; null when it was null */
    size_t messageLength;
    const char* text; /* message formatted with the arguments (msvcrt printf rules); null likewise */
} SimTextLogEntry;
SIM_API size_t SimTextLogCount(void);
SIM_API BOOL SimGetTextLogEntry(size_t index, SimTextLogEntry* entry);

/* ---- Failure injection ---- */

typedef enum SimFailMode {
    SimFailNth = 0,       /* only the Nth call after arming fails (N counts from 1) */
    SimFailFromNth = 1,   /* the Nth call after arming and every later one fail */
    SimFailAlways = 2     /* every call fails (N ignored) */
} SimFailMode;

/* Arms a failure for one export, replacing any armed before for it. The failing call does
 * nothing but report error: SetupDi* set it as last error and return FALSE
 * (SetupDiGetClassDevsW: INVALID_HANDLE_VALUE); CM_* return it as CONFIGRET with the output
 * DEVINST set to (DEVINST)-1 when one was given; SetupGetThreadLogToken sets it as last error and
 * returns LOGTOKEN_UNSPECIFIED; SetupWriteTextLog/SetupWriteTextLogError set it as last error and
 * record no entry. Returns FALSE for a name that is not an export of the simulation. */
SIM_API BOOL SimInjectFailure(const char* function, SimFailMode mode, ULONG n, DWORD error);
SIM_API void SimClearFailures(void);

/* ---- Call journal ---- */

/* One call of an export. arguments is "name=value" pairs separated by ", ": handles, flags,
 * errors and tokens in lower-case hex with 0x, DEVINSTs, indexes and sizes in decimal, GUIDs in
 * lower-case braces, strings in double quotes (non-ASCII as \uXXXX), absent pointers as null.
 * A DeviceInfoData argument appears as DevInst=<its DevInst field>. */
typedef struct SimCall {
    const char* function;
    const char* arguments;
    BOOL injected; /* TRUE when an armed failure answered the call */
} SimCall;
SIM_API size_t SimJournalCount(void);
SIM_API BOOL SimGetJournalEntry(size_t index, SimCall* call);
/* Calls of one export since the last reset. */
SIM_API ULONG SimCallCount(const char* function);

#ifdef __cplusplus
}
#endif

#endif
