// The co-installer of the TESK reader family: SetupAPI calls CoDeviceInstall for every
// installation request of such a device. It acts on disable, remove and install-device and
// never fails an installation because of its own errors.
#include "coinstaller/install_function_name.h"
#include "platform/sdk_extras.h"
#include "platform/unique_devinfo.h"
#include "trace/method_trace.h"
#include "trace/text_conversion.h"
#include "trace/trace_calls.h"

#include <cfgmgr32.h>

#include <cstdint>
#include <cwchar>
#include <memory>

namespace {

constexpr wchar_t kCategory[] = L"TESK.CoInstall";
constexpr wchar_t kDumpCategory[] = L"TESK.CoInstall.Dump";
constexpr wchar_t kFunction[] = L"CoDeviceInstall";

// The scope trace takes narrow texts: twins of the same constants, made by the compiler.
constexpr int32_t kScopeLevel = static_cast<int32_t>(TraceLevel::Info);
constexpr NarrowLiteral kScopeCategory(kCategory);
constexpr NarrowLiteral kScopeFunction(kFunction);

constexpr const char* BareFileName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return name;
}
constexpr const char* kSourceFile = BareFileName(__FILE__);

// The child identifier travels from pre- to post-processing in the request's context.
using ChildIdRecord = std::unique_ptr<wchar_t[]>;

static_assert(sizeof(SP_PROPCHANGE_PARAMS) == 20, "the size SetupAPI reports for the parameters");

// Windows-1252 texts of the SetupAPI text log.
constexpr char kLogClassInstallParams[] = "TeskCoInstaller: ERROR SetupDiGetClassInstallParams";
constexpr char kLogClassDevs[] = "TeskCoInstaller: ERROR SetupDiGetClassDevs <SmartcardFilter>";
constexpr char kLogRemoveDevice[] = "TeskCoInstaller: ERROR SetupDiRemoveDevice";
constexpr char kLogFilterRemoved[] = "TeskCoInstaller: Dazugeh\xf6riger ScFilter wurde erfolgreich gel\xf6scht";
constexpr char kLogDeviceId[] = "TeskCoInstaller: ERROR DeviceId konnte nicht ermittelt werden";
constexpr char kLogParent[] = "TeskCoInstaller: ERROR Parent konnte nicht ermittelt werden";
constexpr char kLogParentId[] = "TeskCoInstaller: ERROR DeviceId (Parent) konnte nicht ermittelt werden";
constexpr char kLogChild[] = "TeskCoInstaller: ERROR Child konnte nicht ermittelt werden";
constexpr char kLogChildId[] = "TeskCoInstaller: ERROR DeviceId (Child) konnte nicht ermittelt werden";
constexpr char kLogInstallDisabled[] = "TeskCoInstaller: Parameter <DI_INSTALLDISABLED> wurde gesetzt";
constexpr char kLogInstallParams[] = "TeskCoInstaller: ERROR SetupDiSetDeviceInstallParams";

// Pointers and tokens are shown as their low 32 bits, as the formats expect 32-bit numbers.
unsigned Low32(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

// The fixed messages hold no '%', so they are passed as the message format itself.
void LogText(SP_LOG_TOKEN token, const char* message) {
    SetupWriteTextLog(token, TXTLOG_INSTALLER, TXTLOG_DETAILS, message);
}
void LogError(SP_LOG_TOKEN token, DWORD error, const char* message) {
    SetupWriteTextLogError(token, TXTLOG_INSTALLER, TXTLOG_DETAILS, error, message);
}

// Reads a device instance identifier into a 200-character buffer, terminated whatever happens.
CONFIGRET ReadDeviceId(DEVINST node, wchar_t (&id)[MAX_DEVICE_ID_LEN]) {
    const CONFIGRET result = CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0);
    id[MAX_DEVICE_ID_LEN - 1] = L'\0';
    return result;
}

struct Request {
    HDEVINFO deviceInfoSet;
    PSP_DEVINFO_DATA deviceInfoData;
    PCOINSTALLER_CONTEXT_DATA context;
    SP_LOG_TOKEN logToken;
};

DWORD RememberChild(const Request& request) {
    DEVINST child = 0;
    CONFIGRET result = CM_Get_Child(&child, request.deviceInfoData->DevInst, 0);
    if (result != CR_SUCCESS) {
        TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::Child konnte nicht ermittelt werden! ERROR <0x%08x>",
                         kFunction, result);
        return NO_ERROR;
    }
    ChildIdRecord record(new wchar_t[MAX_DEVICE_ID_LEN]());
    result = CM_Get_Device_IDW(child, record.get(), MAX_DEVICE_ID_LEN, 0);
    record[MAX_DEVICE_ID_LEN - 1] = L'\0';
    if (result != CR_SUCCESS) {
        TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::DeviceId (Child) konnte nicht ermittelt werden!",
                         kFunction);
        return NO_ERROR;
    }
    TraceWriteFormat(TraceLevel::Info, kCategory,
                     L"%s::Setze DeviceId (Child) <%s> in Context-PrivateData und fordere Postprocessing an",
                     kFunction, record.get());
    request.context->PrivateData = record.release();
    return ERROR_DI_POSTPROCESSING_REQUIRED;
}

void RemoveFilterDevicesOf(const Request& request, const wchar_t* childId) {
    TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::DevID aus Context-PrivateData ist <%s>", kFunction, childId);

    tesk::UniqueHdevinfo filters(
        SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, DIGCF_PROFILE));
    if (!filters) {
        const DWORD error = GetLastError();
        TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::ERROR <0x%08x> SetupDiGetClassDevs <SmartcardFilter>",
                         kFunction, error);
        LogError(request.logToken, error, kLogClassDevs);
        return;
    }

    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(filters.get(), index, &element); ++index) {
        if (index == 0) TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::Enumeriere ScFilter...", kFunction);

        wchar_t id[MAX_DEVICE_ID_LEN] = {};
        const CONFIGRET result = ReadDeviceId(element.DevInst, id);
        if (result != CR_SUCCESS) {
            TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::ERROR <0x%08x> CM_Get_Device_ID", kFunction, result);
            continue;
        }
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::Aktuelle DeviceID: <%s>", kFunction, id);
        // Instance identifiers are compared exactly: a filter of another reader may differ in case only.
        if (std::wcscmp(id, childId) != 0) continue;

        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::Lösche dazugehörigen ScFilter...", kFunction);
        if (!SetupDiRemoveDevice(filters.get(), &element)) {
            const DWORD error = GetLastError();
            TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::ERROR <0x%08x> SetupDiRemoveDevice", kFunction, error);
            LogError(request.logToken, error, kLogRemoveDevice);
        } else {
            TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::Dazugehöriger ScFilter wurde erfolgreich gelöscht",
                             kFunction);
            LogText(request.logToken, kLogFilterRemoved);
        }
    }
}

DWORD HandlePropertyChange(const Request& request) {
    SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    DWORD requiredSize = 0;
    if (!SetupDiGetClassInstallParamsW(request.deviceInfoSet, request.deviceInfoData, &params.ClassInstallHeader,
                                       sizeof(params), &requiredSize)) {
        const DWORD error = GetLastError();
        TraceWriteFormat(TraceLevel::Error, kCategory, L"ERROR <0x%08x> SetupDiGetClassInstallParams!", error);
        LogError(request.logToken, error, kLogClassInstallParams);
        return NO_ERROR;
    }
    TraceDump(TraceLevel::Info, kDumpCategory, L"SP_PROPCHANGE_PARAMS", L"pcp", &params, sizeof(params));
    if (requiredSize != sizeof(params)) {
        TraceWriteFormat(TraceLevel::Warning, kCategory, L"%s::dwSizeRequiredForPcp <%d> != sizeof(pcp) <%d>",
                         kFunction, requiredSize, static_cast<int>(sizeof(params)));
        return NO_ERROR;
    }
    if (params.StateChange != DICS_DISABLE || request.context == nullptr) return NO_ERROR;

    if (!request.context->PostProcessing) return RememberChild(request);

    if (request.context->PostProcessing == TRUE && request.context->PrivateData != nullptr) {
        RemoveFilterDevicesOf(request, static_cast<const wchar_t*>(request.context->PrivateData));
    }
    return NO_ERROR;
}

void HandleRemove(const Request& request) {
    const DEVINST device = request.deviceInfoData->DevInst;
    wchar_t id[MAX_DEVICE_ID_LEN] = {};
    CONFIGRET result = ReadDeviceId(device, id);
    if (result == CR_SUCCESS) {
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::DeviceId <%s>", kFunction, id);
    } else {
        TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::DeviceId konnte nicht ermittelt werden!", kFunction);
        LogError(request.logToken, result, kLogDeviceId);
    }

    // Parent and child are examined only for a category traced in detail.
    if (TraceGetLevel(kCategory) < static_cast<int32_t>(TraceLevel::Info)) return;

    DEVINST parent = 0;
    result = CM_Get_Parent(&parent, device, 0);
    if (result != CR_SUCCESS) {
        TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::Parent konnte nicht ermittelt werden! ERROR <0x%08x>",
                         kFunction, result);
        LogError(request.logToken, result, kLogParent);
    } else if ((result = ReadDeviceId(parent, id)) == CR_SUCCESS) {
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::DeviceId (Parent) <%s>", kFunction, id);
    } else {
        TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::DeviceId (Parent) konnte nicht ermittelt werden!",
                         kFunction);
        LogError(request.logToken, result, kLogParentId);
    }

    DEVINST child = 0;
    result = CM_Get_Child(&child, device, 0);
    if (result != CR_SUCCESS) {
        TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::Child konnte nicht ermittelt werden! ERROR <0x%08x>",
                         kFunction, result);
        LogError(request.logToken, result, kLogChild);
    } else if ((result = ReadDeviceId(child, id)) == CR_SUCCESS) {
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::DeviceId (Child) <%s>", kFunction, id);
    } else {
        TraceWriteFormat(TraceLevel::Error, kCategory, L"%s::DeviceId (Child) konnte nicht ermittelt werden!",
                         kFunction);
        LogError(request.logToken, result, kLogChildId);
    }
}

void HandleInstallDevice(const Request& request) {
    // Replaces the device's parameters whole: only the install-disabled flag is set.
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof(params);
    params.Flags = DI_INSTALLDISABLED;
    if (SetupDiSetDeviceInstallParamsW(request.deviceInfoSet, request.deviceInfoData, &params)) {
        TraceWriteFormat(TraceLevel::Info, kCategory, L"Parameter <DI_INSTALLDISABLED> wurde gesetzt");
        LogText(request.logToken, kLogInstallDisabled);
    } else {
        const DWORD error = GetLastError();
        TraceWriteFormat(TraceLevel::Error, kCategory, L"ERROR <0x%08x> SetupDiSetDeviceInstallParams!", error);
        LogError(request.logToken, error, kLogInstallParams);
    }
}

// Releases the child identifier record when a post-processing call ends, on every path.
class PostProcessingRecord {
public:
    explicit PostProcessingRecord(PCOINSTALLER_CONTEXT_DATA context) noexcept
        : context_(context != nullptr && context->PostProcessing && context->PrivateData != nullptr ? context
                                                                                                  : nullptr) {}
    ~PostProcessingRecord() {
        if (context_ == nullptr) return;
        const ChildIdRecord released(static_cast<wchar_t*>(context_->PrivateData));
        context_->PrivateData = nullptr;
    }
    PostProcessingRecord(const PostProcessingRecord&) = delete;
    PostProcessingRecord& operator=(const PostProcessingRecord&) = delete;

private:
    PCOINSTALLER_CONTEXT_DATA context_;
};

DWORD HandleInstallRequest(DI_FUNCTION installFunction, HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData,
                           PCOINSTALLER_CONTEXT_DATA context) {
    PostProcessingRecord record(context);
    MethodTrace scope(kScopeLevel, kScopeCategory.c_str(), kScopeFunction.c_str(), kSourceFile, __LINE__, "");

    const Request request{deviceInfoSet, deviceInfoData, context, SetupGetThreadLogToken()};
    {
        const InstallFunctionNameText name = InstallFunctionName(installFunction);
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::InstallFunction <%s>", kFunction, name.c_str());
    }
    TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::LogToken <%d>", kFunction,
                     static_cast<int32_t>(static_cast<uint32_t>(request.logToken)));

    if (context == nullptr) {
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::Context == NULL", kFunction);
    } else if (!context->PostProcessing) {
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::PostProcessing <FALSE>, PrivateData <0x%08x>", kFunction,
                         Low32(context->PrivateData));
    } else {
        TraceWriteFormat(TraceLevel::Info, kCategory,
                         L"%s::PostProcessing <%d>, InstallResult <0x%08x>, PrivateData <0x%08x>", kFunction,
                         context->PostProcessing, context->InstallResult, Low32(context->PrivateData));
        if (context->InstallResult != NO_ERROR) {
            TraceWriteFormat(TraceLevel::Critical, kCategory,
                             L"%s::In einer anderen Komponente ist ein Fehler aufgetreten. Aufräumen und Ende der "
                             L"Aktion!",
                             kFunction);
            return context->InstallResult;
        }
    }

    if (deviceInfoData == nullptr) {
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::DeviceInfoData == NULL", kFunction);
        return NO_ERROR;
    }

    switch (installFunction) {
        case DIF_PROPERTYCHANGE:
            return HandlePropertyChange(request);
        case DIF_REMOVE:
            HandleRemove(request);
            return NO_ERROR;
        case DIF_INSTALLDEVICE:
            HandleInstallDevice(request);
            return NO_ERROR;
        default:
            return NO_ERROR;
    }
}

}  // namespace

extern "C" DWORD WINAPI CoDeviceInstall(DI_FUNCTION installFunction, HDEVINFO deviceInfoSet,
                                        PSP_DEVINFO_DATA deviceInfoData, PCOINSTALLER_CONTEXT_DATA context) {
    // Nothing may escape into SetupAPI: the scope trace has reported the unwinding by now, and
    // the installation goes on as if this co-installer had not been there.
    try {
        return HandleInstallRequest(installFunction, deviceInfoSet, deviceInfoData, context);
    } catch (...) {
        return NO_ERROR;
    }
}
