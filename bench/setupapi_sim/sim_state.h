// The simulation's one process-wide state: device tree, sets, parameters, text log, armed
// failures and call journal, all behind one lock so that exports and Sim* calls may race.
#pragma once

#include "bench/setupapi_sim/setupapi_sim.h"

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// New DEVINST numbers, set handles and element ids start far from small indexes and from each
// other, so that mix-ups show; none is ever reused before a reset.
constexpr DEVINST kFirstDevInst = 0x1001;
constexpr ULONG_PTR kFirstSetHandle = 0x51E70000;
constexpr ULONG_PTR kFirstElementId = 0xE1E00000;

struct Device {
    DEVINST devInst = 0;
    std::wstring instanceId;
    DEVINST parent = 0;
    std::vector<DEVINST> children;  // creation order; the first is CM_Get_Child's answer
    GUID classGuid = {};
    std::optional<std::vector<BYTE>> classParams;
    DWORD classParamsRequiredSize = 0;
    SP_DEVINSTALL_PARAMS_W installParams = {};
};

struct DeviceSet {
    bool fromClassDevs = false;  // opened by SetupDiGetClassDevsW, not handed over by a test
    std::vector<ULONG_PTR> elements;  // element ids, in listing order
    SP_DEVINSTALL_PARAMS_W installParams = {};  // the set's own, used when no element is named
};

struct Element {
    DEVINST devInst = 0;
    GUID classGuid = {};
};

struct Injection {
    SimFailMode mode = SimFailNth;
    ULONG n = 0;
    DWORD error = 0;
    ULONG callsSinceArmed = 0;
};

struct JournalEntry {
    std::string function;
    std::string arguments;
    bool injected = false;
};

struct TextLogEntry {
    SP_LOG_TOKEN token = 0;
    DWORD category = 0;
    DWORD flags = 0;
    bool hasError = false;
    DWORD error = 0;
    std::optional<std::string> message;
    std::string text;
};

struct ClassDevsCall {
    std::optional<GUID> classGuid;
    std::optional<std::wstring> enumerator;
    HWND window = nullptr;
    DWORD flags = 0;
    HDEVINFO result = INVALID_HANDLE_VALUE;
};

class State {
public:
    std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(mutex_); }

    void Reset();

    // Journals the call and answers whether an armed failure takes it over (and with which code).
    std::optional<DWORD> Enter(const char* function, std::string arguments);

    bool IsExport(const std::string& function) const;
    void Arm(const std::string& function, const Injection& injection) { injections_[function] = injection; }
    void ClearFailures() { injections_.clear(); }

    Device* FindDevice(DEVINST devInst);
    DEVINST AddDevice(const std::wstring& instanceId, DEVINST parent, const GUID& classGuid, bool allowDuplicateId = false);
    void RemoveSubtree(DEVINST devInst);
    size_t DeviceCount() const { return devices_.size(); }
    // Current devices in creation order.
    std::vector<const Device*> Devices() const;

    HDEVINFO CreateSet(bool fromClassDevs, const std::vector<DEVINST>& devices);
    DeviceSet* FindSet(HDEVINFO set);
    void DestroySet(HDEVINFO set);
    const Element* FindElement(const DeviceSet& set, ULONG_PTR elementId) const;
    // The node behind one element of a set, or null with the Windows error code in *error.
    Device* ResolveDevice(const DeviceSet& set, const SP_DEVINFO_DATA& data, DWORD* error);

    ULONG setsOpened = 0;
    ULONG setsDestroyed = 0;
    SP_LOG_TOKEN logToken = 0;
    std::deque<TextLogEntry> textLog;
    std::deque<ClassDevsCall> classDevsCalls;
    std::deque<JournalEntry> journal;

private:
    std::recursive_mutex mutex_;
    std::map<DEVINST, Device> devices_;
    DEVINST nextDevInst_ = kFirstDevInst;
    std::map<HDEVINFO, DeviceSet> sets_;
    ULONG_PTR nextSet_ = kFirstSetHandle;
    std::map<ULONG_PTR, Element> elements_;
    ULONG_PTR nextElement_ = kFirstElementId;
    std::map<std::string, Injection> injections_;
};

State& TheState();

// SetupDi* report their outcome through the last error, success included.
BOOL Succeed();
BOOL Fail(DWORD error);

// Argument text pieces for the journal.
std::string Hex(ULONG_PTR value);
std::string Text(const wchar_t* value);
std::string GuidText(const GUID* guid);
std::string DeviceDataText(const SP_DEVINFO_DATA* data);

}  // namespace sim
