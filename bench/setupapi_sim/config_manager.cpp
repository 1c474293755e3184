// The configuration-manager view of the simulated device tree: CM_Get_Child, CM_Get_Parent and
// CM_Get_Device_IDW, checking their arguments in the order Windows does.
#include "bench/setupapi_sim/sim_state.h"

#include <cstring>

namespace {

using sim::TheState;

// Once the arguments are accepted the output holds (DEVINST)-1 until a relative is found, so a
// caller that reads it after a failure sees a value that names no node.
constexpr DEVINST kNoRelative = static_cast<DEVINST>(-1);

std::string RelativeArgs(DEVINST devInst, ULONG flags) {
    return "dnDevInst=" + std::to_string(devInst) + ", ulFlags=" + sim::Hex(flags);
}

template <typename PickRelative>
CONFIGRET GetRelative(const char* function, PDEVINST relative, DEVINST devInst, ULONG flags, PickRelative pick) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter(function, RelativeArgs(devInst, flags))) {
        if (relative) *relative = kNoRelative;
        return static_cast<CONFIGRET>(*failure);
    }
    if (!relative) return CR_INVALID_POINTER;
    if (devInst == 0) return CR_INVALID_DEVNODE;
    if (flags != 0) return CR_INVALID_FLAG;
    *relative = kNoRelative;
    const sim::Device* device = state.FindDevice(devInst);
    if (!device) return CR_INVALID_DEVNODE;
    const DEVINST found = pick(*device);
    if (found == 0) return CR_NO_SUCH_DEVNODE;
    *relative = found;
    return CR_SUCCESS;
}

}  // namespace

extern "C" {

CONFIGRET WINAPI CM_Get_Child(PDEVINST child, DEVINST devInst, ULONG flags) {
    return GetRelative("CM_Get_Child", child, devInst, flags, [](const sim::Device& device) {
        return device.children.empty() ? DEVINST{0} : device.children.front();
    });
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST devInst, ULONG flags) {
    return GetRelative("CM_Get_Parent", parent, devInst, flags,
                       [](const sim::Device& device) { return device.parent; });
}

// As documented: as much of the ID as fits is copied, and the terminating zero only when it
// fits too; otherwise the answer is CR_BUFFER_SMALL.
CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST devInst, PWCHAR buffer, ULONG length, ULONG flags) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter("CM_Get_Device_IDW", "dnDevInst=" + std::to_string(devInst) +
                                                             ", BufferLen=" + std::to_string(length) +
                                                             ", ulFlags=" + sim::Hex(flags))) {
        return static_cast<CONFIGRET>(*failure);
    }
    if (!buffer) return CR_INVALID_POINTER;
    if (devInst == 0) return CR_INVALID_DEVNODE;
    if (flags != 0) return CR_INVALID_FLAG;
    const sim::Device* device = state.FindDevice(devInst);
    if (!device) return CR_INVALID_DEVNODE;
    const std::wstring& id = device->instanceId;
    const size_t copied = id.size() < length ? id.size() : length;
    std::memcpy(buffer, id.data(), copied * sizeof(WCHAR));
    if (length <= id.size()) return CR_BUFFER_SMALL;
    buffer[id.size()] = L'\0';
    return CR_SUCCESS;
}

}  // extern "C"
