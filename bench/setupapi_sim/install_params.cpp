// Class install parameters (read only, as a co-installer sees them) and device install
// parameters (read and replaced) of the simulated devices.
#include "bench/setupapi_sim/sim_state.h"

#include <cstring>

namespace {

using sim::Fail;
using sim::Succeed;
using sim::TheState;

std::string SetText(HDEVINFO handle) {
    return "DeviceInfoSet=" + sim::Hex(reinterpret_cast<ULONG_PTR>(handle));
}

// The parameters a call addresses: the element's device, or the set's own when no element is named.
SP_DEVINSTALL_PARAMS_W* InstallParamsOf(HDEVINFO handle, const SP_DEVINFO_DATA* data, DWORD* error) {
    auto& state = TheState();
    sim::DeviceSet* set = state.FindSet(handle);
    if (!set) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (!data) return &set->installParams;
    sim::Device* device = state.ResolveDevice(*set, *data, error);
    return device ? &device->installParams : nullptr;
}

std::string InstallParamsText(HDEVINFO handle, const SP_DEVINFO_DATA* data, const SP_DEVINSTALL_PARAMS_W* params) {
    std::string text = SetText(handle) + ", DevInst=" + sim::DeviceDataText(data);
    if (!params) return text + ", DeviceInstallParams=null";
    return text + ", cbSize=" + std::to_string(params->cbSize) + ", Flags=" + sim::Hex(params->Flags) +
           ", FlagsEx=" + sim::Hex(params->FlagsEx);
}

}  // namespace

extern "C" {

BOOL WINAPI SetupDiGetClassInstallParamsW(HDEVINFO handle, PSP_DEVINFO_DATA data, PSP_CLASSINSTALL_HEADER header,
                                          DWORD size, PDWORD requiredSize) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter("SetupDiGetClassInstallParamsW", SetText(handle) + ", DevInst=" + sim::DeviceDataText(data) +
                                                                        ", ClassInstallParamsSize=" + std::to_string(size))) {
        return Fail(*failure);
    }
    sim::DeviceSet* set = state.FindSet(handle);
    if (!set) return Fail(ERROR_INVALID_HANDLE);
    if (header && header->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) return Fail(ERROR_INVALID_USER_BUFFER);
    if (!header && size != 0) return Fail(ERROR_INVALID_PARAMETER);
    if (header && size < sizeof(SP_CLASSINSTALL_HEADER)) return Fail(ERROR_INVALID_PARAMETER);
    // Only devices carry class install parameters here; a set never has its own.
    if (!data) return Fail(ERROR_NO_CLASSINSTALL_PARAMS);
    DWORD error = NO_ERROR;
    const sim::Device* device = state.ResolveDevice(*set, *data, &error);
    if (!device) return Fail(error);
    if (!device->classParams) return Fail(ERROR_NO_CLASSINSTALL_PARAMS);
    const std::vector<BYTE>& bytes = *device->classParams;
    if (requiredSize) *requiredSize = device->classParamsRequiredSize;
    if (size < bytes.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(header, bytes.data(), bytes.size());
    return Succeed();
}

BOOL WINAPI SetupDiSetDeviceInstallParamsW(HDEVINFO handle, PSP_DEVINFO_DATA data, PSP_DEVINSTALL_PARAMS_W params) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter("SetupDiSetDeviceInstallParamsW", InstallParamsText(handle, data, params))) {
        return Fail(*failure);
    }
    DWORD error = NO_ERROR;
    SP_DEVINSTALL_PARAMS_W* target = InstallParamsOf(handle, data, &error);
    if (!target) return Fail(error);
    if (!params) return Fail(ERROR_INVALID_PARAMETER);
    if (params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) return Fail(ERROR_INVALID_USER_BUFFER);
    *target = *params;
    return Succeed();
}

BOOL WINAPI SetupDiGetDeviceInstallParamsW(HDEVINFO handle, PSP_DEVINFO_DATA data, PSP_DEVINSTALL_PARAMS_W params) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter("SetupDiGetDeviceInstallParamsW", SetText(handle) + ", DevInst=" + sim::DeviceDataText(data))) {
        return Fail(*failure);
    }
    DWORD error = NO_ERROR;
    const SP_DEVINSTALL_PARAMS_W* source = InstallParamsOf(handle, data, &error);
    if (!source) return Fail(error);
    if (!params) return Fail(ERROR_INVALID_PARAMETER);
    if (params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) return Fail(ERROR_INVALID_USER_BUFFER);
    *params = *source;
    params->cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
    return Succeed();
}

}  // extern "C"
