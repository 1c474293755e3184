#include "bench/setupapi_sim/sim_state.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace sim {

namespace {

// The exports a failure can be armed for; a misspelt name must not arm nothing silently.
const char* const kExports[] = {
    "SetupGetThreadLogToken",        "SetupWriteTextLog",          "SetupWriteTextLogError",
    "SetupDiGetClassInstallParamsW", "SetupDiGetClassDevsW",       "SetupDiEnumDeviceInfo",
    "SetupDiRemoveDevice",           "SetupDiDestroyDeviceInfoList", "SetupDiSetDeviceInstallParamsW",
    "SetupDiGetDeviceInstallParamsW", "CM_Get_Child",              "CM_Get_Parent",
    "CM_Get_Device_IDW",
};

}  // namespace

State& TheState() {
    static State state;
    return state;
}

void State::Reset() {
    devices_.clear();
    nextDevInst_ = kFirstDevInst;
    sets_.clear();
    nextSet_ = kFirstSetHandle;
    elements_.clear();
    nextElement_ = kFirstElementId;
    injections_.clear();
    setsOpened = 0;
    setsDestroyed = 0;
    logToken = 0;
    textLog.clear();
    classDevsCalls.clear();
    journal.clear();
}

std::optional<DWORD> State::Enter(const char* function, std::string arguments) {
    std::optional<DWORD> failure;
    auto it = injections_.find(function);
    if (it != injections_.end()) {
        Injection& injection = it->second;
        const ULONG call = ++injection.callsSinceArmed;
        const bool fails = injection.mode == SimFailAlways ||
                           (injection.mode == SimFailNth && call == injection.n) ||
                           (injection.mode == SimFailFromNth && call >= injection.n);
        if (fails) failure = injection.error;
    }
    journal.push_back({function, std::move(arguments), failure.has_value()});
    return failure;
}

bool State::IsExport(const std::string& function) const {
    return std::any_of(std::begin(kExports), std::end(kExports),
                       [&](const char* name) { return function == name; });
}

Device* State::FindDevice(DEVINST devInst) {
    auto it = devices_.find(devInst);
    return it == devices_.end() ? nullptr : &it->second;
}

DEVINST State::AddDevice(const std::wstring& instanceId, DEVINST parent, const GUID& classGuid, bool allowDuplicateId) {
    if (instanceId.empty() || instanceId.size() >= MAX_DEVICE_ID_LEN) return 0;
    if (parent != 0 && !FindDevice(parent)) return 0;
    for (const auto& entry : devices_) {
        if (!allowDuplicateId && entry.second.instanceId == instanceId) return 0;
    }
    Device device;
    device.devInst = nextDevInst_++;
    device.instanceId = instanceId;
    device.parent = parent;
    device.classGuid = classGuid;
    device.installParams.cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
    if (parent != 0) FindDevice(parent)->children.push_back(device.devInst);
    const DEVINST devInst = device.devInst;
    devices_.emplace(devInst, std::move(device));
    return devInst;
}

void State::RemoveSubtree(DEVINST devInst) {
    Device* device = FindDevice(devInst);
    if (!device) return;
    const std::vector<DEVINST> children = device->children;
    for (DEVINST child : children) RemoveSubtree(child);
    if (Device* parent = FindDevice(device->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), devInst), siblings.end());
    }
    devices_.erase(devInst);
}

std::vector<const Device*> State::Devices() const {
    std::vector<const Device*> result;
    for (const auto& entry : devices_) result.push_back(&entry.second);
    return result;
}

HDEVINFO State::CreateSet(bool fromClassDevs, const std::vector<DEVINST>& devices) {
    DeviceSet set;
    set.fromClassDevs = fromClassDevs;
    set.installParams.cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
    for (DEVINST devInst : devices) {
        const ULONG_PTR id = nextElement_++;
        elements_[id] = Element{devInst, FindDevice(devInst)->classGuid};
        set.elements.push_back(id);
    }
    const HDEVINFO handle = reinterpret_cast<HDEVINFO>(nextSet_);
    nextSet_ += 4;
    sets_.emplace(handle, std::move(set));
    if (fromClassDevs) ++setsOpened;
    return handle;
}

DeviceSet* State::FindSet(HDEVINFO set) {
    auto it = sets_.find(set);
    return it == sets_.end() ? nullptr : &it->second;
}

void State::DestroySet(HDEVINFO handle) {
    auto it = sets_.find(handle);
    if (it == sets_.end()) return;
    if (it->second.fromClassDevs) ++setsDestroyed;
    for (ULONG_PTR id : it->second.elements) elements_.erase(id);
    sets_.erase(it);
}

const Element* State::FindElement(const DeviceSet& set, ULONG_PTR elementId) const {
    if (std::find(set.elements.begin(), set.elements.end(), elementId) == set.elements.end()) return nullptr;
    auto it = elements_.find(elementId);
    return it == elements_.end() ? nullptr : &it->second;
}

Device* State::ResolveDevice(const DeviceSet& set, const SP_DEVINFO_DATA& data, DWORD* error) {
    const Element* element = data.cbSize == sizeof(SP_DEVINFO_DATA) ? FindElement(set, data.Reserved) : nullptr;
    if (!element) {
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    Device* device = FindDevice(element->devInst);
    if (!device) *error = ERROR_NO_SUCH_DEVINST;
    return device;
}

BOOL Succeed() {
    ::SetLastError(NO_ERROR);
    return TRUE;
}

BOOL Fail(DWORD error) {
    ::SetLastError(error);
    return FALSE;
}

std::string Hex(ULONG_PTR value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
    return buffer;
}

std::string Text(const wchar_t* value) {
    if (!value) return "null";
    std::string result = "\"";
    for (; *value; ++value) {
        // Non-ASCII code units are spelt out so the journal stays plain bytes.
        if (*value >= 0x20 && *value < 0x7f) {
            result += static_cast<char>(*value);
        } else {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(*value));
            result += buffer;
        }
    }
    return result + "\"";
}

std::string GuidText(const GUID* guid) {
    if (!guid) return "null";
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned long>(guid->Data1), guid->Data2, guid->Data3, guid->Data4[0],
                  guid->Data4[1], guid->Data4[2], guid->Data4[3], guid->Data4[4], guid->Data4[5],
                  guid->Data4[6], guid->Data4[7]);
    return buffer;
}

std::string DeviceDataText(const SP_DEVINFO_DATA* data) {
    return data ? std::to_string(data->DevInst) : "null";
}

}  // namespace sim
