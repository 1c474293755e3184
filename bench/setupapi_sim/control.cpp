// The Sim* control interface: what a test sets up, reads back and arms. Not journalled.
#include "bench/setupapi_sim/sim_state.h"

namespace {

using sim::TheState;

template <typename Container>
bool InRange(const Container& container, size_t index) {
    return index < container.size();
}

}  // namespace

extern "C" {

void SimReset(void) {
    auto lock = TheState().Lock();
    TheState().Reset();
}

DEVINST SimAddDevice(const wchar_t* instanceId, DEVINST parent, const GUID* classGuid) {
    if (!instanceId || !classGuid) return 0;
    auto lock = TheState().Lock();
    return TheState().AddDevice(instanceId, parent, *classGuid);
}

DEVINST SimAddDeviceDuplicateId(const wchar_t* instanceId, DEVINST parent, const GUID* classGuid) {
    if (!instanceId || !classGuid) return 0;
    auto lock = TheState().Lock();
    return TheState().AddDevice(instanceId, parent, *classGuid, true);
}

BOOL SimDeviceExists(DEVINST devInst) {
    auto lock = TheState().Lock();
    return TheState().FindDevice(devInst) != nullptr;
}

size_t SimDeviceCount(void) {
    auto lock = TheState().Lock();
    return TheState().DeviceCount();
}

BOOL SimSetClassInstallParams(DEVINST devInst, const void* data, DWORD size) {
    auto lock = TheState().Lock();
    sim::Device* device = TheState().FindDevice(devInst);
    if (!device) return FALSE;
    if (!data) {
        device->classParams.reset();
        device->classParamsRequiredSize = 0;
        return TRUE;
    }
    const BYTE* bytes = static_cast<const BYTE*>(data);
    device->classParams.emplace(bytes, bytes + size);
    device->classParamsRequiredSize = size;
    return TRUE;
}

BOOL SimSetClassInstallParamsRequiredSize(DEVINST devInst, DWORD requiredSize) {
    auto lock = TheState().Lock();
    sim::Device* device = TheState().FindDevice(devInst);
    if (!device) return FALSE;
    device->classParamsRequiredSize = requiredSize;
    return TRUE;
}

BOOL SimSetDeviceInstallParams(DEVINST devInst, const SP_DEVINSTALL_PARAMS_W* params) {
    if (!params) return FALSE;
    auto lock = TheState().Lock();
    sim::Device* device = TheState().FindDevice(devInst);
    if (!device) return FALSE;
    device->installParams = *params;
    return TRUE;
}

BOOL SimGetDeviceInstallParams(DEVINST devInst, SP_DEVINSTALL_PARAMS_W* params) {
    if (!params) return FALSE;
    auto lock = TheState().Lock();
    const sim::Device* device = TheState().FindDevice(devInst);
    if (!device) return FALSE;
    *params = device->installParams;
    return TRUE;
}

BOOL SimCreateDeviceInfo(DEVINST devInst, HDEVINFO* set, SP_DEVINFO_DATA* data) {
    if (!set || !data) return FALSE;
    auto& state = TheState();
    auto lock = state.Lock();
    if (!state.FindDevice(devInst)) return FALSE;
    *set = state.CreateSet(false, {devInst});
    const sim::DeviceSet* created = state.FindSet(*set);
    const ULONG_PTR id = created->elements.front();
    const sim::Element* element = state.FindElement(*created, id);
    data->cbSize = sizeof(SP_DEVINFO_DATA);
    data->ClassGuid = element->classGuid;
    data->DevInst = element->devInst;
    data->Reserved = id;
    return TRUE;
}

BOOL SimIsDeviceInfoSetValid(HDEVINFO set) {
    auto lock = TheState().Lock();
    return TheState().FindSet(set) != nullptr;
}

ULONG SimSetsOpened(void) {
    auto lock = TheState().Lock();
    return TheState().setsOpened;
}

ULONG SimSetsDestroyed(void) {
    auto lock = TheState().Lock();
    return TheState().setsDestroyed;
}

ULONG SimSetsOpen(void) {
    auto lock = TheState().Lock();
    return TheState().setsOpened - TheState().setsDestroyed;
}

size_t SimClassDevsCallCount(void) {
    auto lock = TheState().Lock();
    return TheState().classDevsCalls.size();
}

BOOL SimGetClassDevsCall(size_t index, SimClassDevsCall* call) {
    auto lock = TheState().Lock();
    const auto& calls = TheState().classDevsCalls;
    if (!call || !InRange(calls, index)) return FALSE;
    const sim::ClassDevsCall& recorded = calls[index];
    call->hasClassGuid = recorded.classGuid.has_value();
    call->classGuid = recorded.classGuid.value_or(GUID{});
    call->enumerator = recorded.enumerator ? recorded.enumerator->c_str() : nullptr;
    call->window = recorded.window;
    call->flags = recorded.flags;
    call->result = recorded.result;
    return TRUE;
}

void SimSetThreadLogToken(SP_LOG_TOKEN token) {
    auto lock = TheState().Lock();
    TheState().logToken = token;
}

size_t SimTextLogCount(void) {
    auto lock = TheState().Lock();
    return TheState().textLog.size();
}

BOOL SimGetTextLogEntry(size_t index, SimTextLogEntry* entry) {
    auto lock = TheState().Lock();
    const auto& log = TheState().textLog;
    if (!entry || !InRange(log, index)) return FALSE;
    const sim::TextLogEntry& recorded = log[index];
    entry->token = recorded.token;
    entry->category = recorded.category;
    entry->flags = recorded.flags;
    entry->hasError = recorded.hasError;
    entry->error = recorded.error;
    entry->message = recorded.message ? recorded.message->c_str() : nullptr;
    entry->messageLength = recorded.message ? recorded.message->size() : 0;
    entry->text = recorded.message ? recorded.text.c_str() : nullptr;
    return TRUE;
}

BOOL SimInjectFailure(const char* function, SimFailMode mode, ULONG n, DWORD error) {
    if (!function) return FALSE;
    if (mode != SimFailNth && mode != SimFailFromNth && mode != SimFailAlways) return FALSE;
    auto lock = TheState().Lock();
    if (!TheState().IsExport(function)) return FALSE;
    sim::Injection injection;
    injection.mode = mode;
    injection.n = n;
    injection.error = error;
    TheState().Arm(function, injection);
    return TRUE;
}

void SimClearFailures(void) {
    auto lock = TheState().Lock();
    TheState().ClearFailures();
}

size_t SimJournalCount(void) {
    auto lock = TheState().Lock();
    return TheState().journal.size();
}

BOOL SimGetJournalEntry(size_t index, SimCall* call) {
    auto lock = TheState().Lock();
    const auto& journal = TheState().journal;
    if (!call || !InRange(journal, index)) return FALSE;
    call->function = journal[index].function.c_str();
    call->arguments = journal[index].arguments.c_str();
    call->injected = journal[index].injected;
    return TRUE;
}

ULONG SimCallCount(const char* function) {
    if (!function) return 0;
    auto lock = TheState().Lock();
    ULONG count = 0;
    for (const auto& entry : TheState().journal) {
        if (entry.function == function) ++count;
    }
    return count;
}

}  // extern "C"
