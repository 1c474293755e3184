// Device information sets over the simulated tree: listing a class, walking a set, removing a
// device and releasing the set.
#include "bench/setupapi_sim/sim_state.h"

#include <cwctype>

namespace {

using sim::Fail;
using sim::Succeed;
using sim::TheState;

constexpr DWORD kKnownFlags = DIGCF_DEFAULT | DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// An enumerator names either an enumerator ("USB") or one device instance ("USB\VID_1&PID_2\3").
bool MatchesEnumerator(const std::wstring& instanceId, const wchar_t* enumerator) {
    if (!enumerator) return true;
    const std::wstring id = Lower(instanceId);
    const std::wstring name = Lower(enumerator);
    return id == name || id.compare(0, name.size() + 1, name + L"\\") == 0;
}

HDEVINFO ListClass(const GUID* classGuid, const wchar_t* enumerator, DWORD flags) {
    auto& state = TheState();
    if (flags & ~kKnownFlags) {
        ::SetLastError(ERROR_INVALID_FLAGS);
        return INVALID_HANDLE_VALUE;
    }
    // Interface lists are not simulated; the module lists setup classes only.
    if (flags & (DIGCF_DEVICEINTERFACE | DIGCF_DEFAULT)) {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    if (!classGuid && !(flags & DIGCF_ALLCLASSES)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<DEVINST> members;
    for (const sim::Device* device : state.Devices()) {
        const bool classMatches = (flags & DIGCF_ALLCLASSES) || IsEqualGUID(device->classGuid, *classGuid);
        if (classMatches && MatchesEnumerator(device->instanceId, enumerator)) members.push_back(device->devInst);
    }
    const HDEVINFO set = state.CreateSet(true, members);
    Succeed();
    return set;
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND window, DWORD flags) {
    auto& state = TheState();
    auto lock = state.Lock();
    sim::ClassDevsCall call;
    if (classGuid) call.classGuid = *classGuid;
    if (enumerator) call.enumerator = enumerator;
    call.window = window;
    call.flags = flags;
    const auto failure = state.Enter("SetupDiGetClassDevsW", "ClassGuid=" + sim::GuidText(classGuid) +
                                                                  ", Enumerator=" + sim::Text(enumerator) +
                                                                  ", hwndParent=" + sim::Hex(reinterpret_cast<ULONG_PTR>(window)) +
                                                                  ", Flags=" + sim::Hex(flags));
    if (failure) {
        ::SetLastError(*failure);
    } else {
        call.result = ListClass(classGuid, enumerator, flags);
    }
    // The error code must survive the bookkeeping.
    const DWORD error = ::GetLastError();
    state.classDevsCalls.push_back(std::move(call));
    ::SetLastError(error);
    return state.classDevsCalls.back().result;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA data) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter("SetupDiEnumDeviceInfo", "DeviceInfoSet=" + sim::Hex(reinterpret_cast<ULONG_PTR>(handle)) +
                                                                ", MemberIndex=" + std::to_string(index))) {
        return Fail(*failure);
    }
    const sim::DeviceSet* set = state.FindSet(handle);
    if (!set) return Fail(ERROR_INVALID_HANDLE);
    if (!data) return Fail(ERROR_INVALID_PARAMETER);
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    if (index >= set->elements.size()) return Fail(ERROR_NO_MORE_ITEMS);
    const ULONG_PTR id = set->elements[index];
    const sim::Element* element = state.FindElement(*set, id);
    data->ClassGuid = element->classGuid;
    data->DevInst = element->devInst;
    data->Reserved = id;
    return Succeed();
}

// The element stays in its set (a set is a snapshot); the node and its subtree leave the tree
// and every later listing.
BOOL WINAPI SetupDiRemoveDevice(HDEVINFO handle, PSP_DEVINFO_DATA data) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter("SetupDiRemoveDevice", "DeviceInfoSet=" + sim::Hex(reinterpret_cast<ULONG_PTR>(handle)) +
                                                              ", DevInst=" + sim::DeviceDataText(data))) {
        return Fail(*failure);
    }
    const sim::DeviceSet* set = state.FindSet(handle);
    if (!set) return Fail(ERROR_INVALID_HANDLE);
    if (!data) return Fail(ERROR_INVALID_PARAMETER);
    DWORD error = NO_ERROR;
    sim::Device* device = state.ResolveDevice(*set, *data, &error);
    if (!device) return Fail(error);
    state.RemoveSubtree(device->devInst);
    return Succeed();
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter("SetupDiDestroyDeviceInfoList",
                                   "DeviceInfoSet=" + sim::Hex(reinterpret_cast<ULONG_PTR>(handle)))) {
        return Fail(*failure);
    }
    if (!state.FindSet(handle)) return Fail(ERROR_INVALID_HANDLE);
    state.DestroySet(handle);
    return Succeed();
}

}  // extern "C"
