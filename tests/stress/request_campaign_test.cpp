// Random requests, contexts, device trees and injected SetupAPI failures, each call checked against
// the module's promises: result, stored record, device sets, removals, flags, heap.
#include "coinstaller_harness.h"
#include "test_support/figures.h"
#include "test_support/heap_watch.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <random>

namespace {

// Every simulated call with an error it really gives (SetupAPI may fail without one; a CONFIGRET of 0 is success).
constexpr std::pair<const char*, DWORD> kInjectable[] = {
    {"CM_Get_Child", CR_NO_SUCH_DEVNODE}, {"CM_Get_Device_IDW", CR_BUFFER_SMALL}, {"CM_Get_Parent", CR_FAILURE},
    {"SetupDiDestroyDeviceInfoList", ERROR_INVALID_HANDLE}, {"SetupDiEnumDeviceInfo", ERROR_NO_MORE_ITEMS},
    {"SetupDiGetClassDevsW", ERROR_NOT_ENOUGH_MEMORY}, {"SetupDiGetClassInstallParamsW", ERROR_INVALID_PARAMETER},
    {"SetupDiGetDeviceInstallParamsW", ERROR_NO_SUCH_DEVINST}, {"SetupDiRemoveDevice", ERROR_ACCESS_DENIED},
    {"SetupDiSetDeviceInstallParamsW", ERROR_INVALID_PARAMETER}, {"SetupGetThreadLogToken", 0},
    {"SetupWriteTextLog", 0}, {"SetupWriteTextLogError", ERROR_INVALID_HANDLE}};
// Separators, both letter cases, characters beyond ASCII and one outside Latin-1.
constexpr wchar_t kIdAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\\&_#.-\u00f6\u00c4\u20ac";

struct Pending { void* record; std::wstring id; };
struct Device { DEVINST devInst; std::wstring id; bool filterClass; };

// What one call was given, for the checks after it.
struct Call {
    DI_FUNCTION request = 0;
    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA data{};
    COINSTALLER_CONTEXT_DATA context{};
    std::optional<Pending> paired;
    std::wstring firstChildId;
    bool hasData = false, dataNamesReader = false, hasContext = false, disableParamsValid = false, anyFailureArmed = false, installParamsFailureArmed = false;
    std::vector<Device> devices;
};

std::mt19937_64 g_random{test_support::CampaignSeed()};
std::vector<Pending> g_pending;
std::map<std::string, double> g_count;
std::vector<std::string> g_violations;

void Add(const std::string& name) { ++g_count[name]; }
void Expect(bool holds, const std::string& what) {
    if (!holds && ++g_count["violations"] <= 20) g_violations.push_back("call " + std::to_string(static_cast<uint64_t>(g_count["calls"])) + ": " + what);
}
uint32_t Below(uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(g_random); }
bool Chance(uint32_t percent) { return Below(100) < percent; }
uint32_t Any32() { return static_cast<uint32_t>(g_random()); }
DWORD AnyResult(uint32_t percentNoError) { return Chance(percentNoError) ? NO_ERROR : Any32(); }

std::wstring RandomId() {
    std::wstring id(Chance(10) ? 190 + Below(MAX_DEVICE_ID_LEN - 190) : 1 + Below(40), L'x');
    for (wchar_t& c : id) c = kIdAlphabet[Below(std::size(kIdAlphabet) - 1)];
    return id;
}

// The identifier with its first letter in the other case; one without letters gets one.
std::wstring OtherCase(std::wstring id) {
    for (wchar_t& c : id)
        if (iswalpha(c) && c < 0x80) return c ^= 0x20, id;
    return id + L"x";
}

DEVINST Place(Call& call, const std::wstring& id, DEVINST parent, const GUID& cls) {
    const DEVINST devInst = SimAddDeviceDuplicateId(id.c_str(), parent, &cls);
    if (devInst != 0) call.devices.push_back({devInst, id, IsEqualGUID(cls, GUID_DEVCLASS_SMARTCARDFILTER) != 0});
    return devInst;
}

// A reader (maybe below a hub) with up to three children, and filter devices: copies of the
// stored identifier (stale ones may repeat it), in another letter case, in another class.
DEVINST BuildTree(Call& call) {
    const DEVINST hub = Chance(70) ? Place(call, harness::kHubId, 0, harness::kUsbClass) : 0;
    const DEVINST reader = Place(call, RandomId(), hub, harness::kReaderClass);
    for (uint32_t i = 0, children = Below(4); i < children; ++i) {
        const std::wstring id = RandomId();
        if (Place(call, id, reader, Chance(70) ? GUID_DEVCLASS_SMARTCARDFILTER : harness::kUsbClass) != 0 && i == 0)
            call.firstChildId = id;
    }
    if (Chance(85)) {
        SP_PROPCHANGE_PARAMS params{{sizeof(SP_CLASSINSTALL_HEADER), DIF_PROPERTYCHANGE}, Chance(75) ? DWORD{DICS_DISABLE} : 1 + Below(5), DICS_FLAG_GLOBAL, 0};
        SimSetClassInstallParams(reader, &params, sizeof params);
        constexpr DWORD kOtherSizes[] = {0, 8, 19, 21, 24, 0xFFFFFFFF};
        const DWORD requiredSize = Chance(90) ? sizeof params : Chance(50) ? kOtherSizes[Below(std::size(kOtherSizes))] : Any32();
        SimSetClassInstallParamsRequiredSize(reader, requiredSize);

        call.disableParamsValid = params.StateChange == DICS_DISABLE && requiredSize == sizeof params;
    }
    SP_DEVINSTALL_PARAMS_W installParams{sizeof installParams, Any32(), Any32()};
    SimSetDeviceInstallParams(reader, &installParams);
    for (uint32_t i = 0, filters = Below(5); i < filters; ++i) {
        const bool copy = call.paired && Chance(60);
        const std::wstring id = copy ? (Chance(75) ? call.paired->id : OtherCase(call.paired->id)) : RandomId();
        Place(call, id, 0, !copy || Chance(80) ? GUID_DEVCLASS_SMARTCARDFILTER : harness::kUsbClass);
    }
    return reader;
}

void OneCall(bool finishPending) {
    SimReset(), RecReset(), RecSetDefaultLevel(1 << Below(5));
    if (Chance(10)) RecSetShouldTraceAnswer(static_cast<int32_t>(Below(2)));
    SimSetThreadLogToken((static_cast<SP_LOG_TOKEN>(Any32()) << 32) | Any32());
    Call call;
    // A stored record is post-processed later, as SetupAPI pairs them, with other requests between.
    if (!g_pending.empty() && (finishPending || g_pending.size() >= 4 || Chance(40))) {
        call.paired = g_pending[Below(static_cast<uint32_t>(g_pending.size()))];
        call.request = DIF_PROPERTYCHANGE, call.hasContext = true;
        call.context = {static_cast<BOOL>(Chance(90) ? TRUE : Any32() | 1), AnyResult(75), call.paired->record};
    } else {
        constexpr DI_FUNCTION kActedUpon[] = {DIF_PROPERTYCHANGE, DIF_PROPERTYCHANGE, DIF_REMOVE, DIF_INSTALLDEVICE};
        call.request = Chance(60) ? kActedUpon[Below(4)] : Chance(60) ? Below(0x41) : Any32();
        const uint32_t kind = Below(10);
        call.hasContext = kind >= 2;
        if (kind >= 7) call.context = {static_cast<BOOL>(Chance(80) ? TRUE : Any32() | 1), AnyResult(70), nullptr};
        else if (kind >= 2) call.context = {FALSE, AnyResult(80), nullptr};
    }
    SimCreateDeviceInfo(BuildTree(call), &call.set, &call.data);
    const uint32_t dataKind = Below(20);
    call.hasData = dataKind < 19;
    if (dataKind >= 17) call.data.Reserved = Any32();  // an element of no set
    if (Chance(3)) call.set = Chance(50) ? INVALID_HANDLE_VALUE : reinterpret_cast<HDEVINFO>(uintptr_t{Any32()});
    call.dataNamesReader = dataKind < 17 && call.set != INVALID_HANDLE_VALUE && SimIsDeviceInfoSetValid(call.set);
    for (const auto& [function, typical] : kInjectable) {
        if (!Chance(8)) continue;
        SimInjectFailure(function, static_cast<SimFailMode>(Below(3)), 1 + Below(3), Chance(50) ? typical : Any32());
        call.anyFailureArmed = true;
        call.installParamsFailureArmed |= std::strcmp(function, "SetupDiSetDeviceInstallParamsW") == 0;
    }
    Add("calls");
    const bool post = call.hasContext && call.context.PostProcessing;
    Add(!call.hasContext ? "calls_null_context" : post ? "calls_post_processing" : "calls_pre_processing");
    if (call.anyFailureArmed) Add("calls_with_armed_failures");
    const int64_t liveBefore = heap_watch::LiveBlocks(), foreignBefore = heap_watch::ForeignFrees();
    COINSTALLER_CONTEXT_DATA context = call.context;
    const DWORD result = harness::CallCoDeviceInstall(call.request, call.set, call.hasData ? &call.data : nullptr,
                                                      call.hasContext ? &context : nullptr);
    int64_t expectedBlocks = 0;
    const auto* record = static_cast<const wchar_t*>(context.PrivateData);
    if (post && call.context.InstallResult != NO_ERROR) {
        Add("results_passed_on");
        Expect(result == call.context.InstallResult, "the InstallResult was not passed on");
    } else if (result == ERROR_DI_POSTPROCESSING_REQUIRED) {
        const bool live = record && heap_watch::LiveSize(record) == MAX_DEVICE_ID_LEN * sizeof(wchar_t);
        Expect(call.hasContext && !post && call.request == DIF_PROPERTYCHANGE,
               "post-processing asked for outside a property-change pre-processing");
        Expect(live && call.firstChildId == record, "the stored record is no live block with the reader's first child's identifier");
        if (live) g_pending.push_back({context.PrivateData, std::wstring(record, wcsnlen(record, MAX_DEVICE_ID_LEN))}), Add("records_stored"), expectedBlocks = 1;
    } else {
        Expect(result == NO_ERROR, "result " + std::to_string(result) + " for request " + std::to_string(call.request));
    }
    Expect(!record || (!post && result == ERROR_DI_POSTPROCESSING_REQUIRED), "PrivateData set without post-processing asked for");
    if (call.paired) {
        // Its address cannot have been handed out again: a post-processing call stores no record.
        const bool released = heap_watch::LiveSize(call.paired->record) == 0;
        Expect(released, "the stored record was not released");
        g_pending.erase(std::find_if(g_pending.begin(), g_pending.end(), [&](const Pending& p) { return p.record == call.paired->record; }));
        if (released) Add("records_released_once"), --expectedBlocks;
    }
    Expect(static_cast<int64_t>(heap_watch::LiveBlocks()) - liveBefore == expectedBlocks, "the module's live heap blocks changed unexpectedly");
    Expect(heap_watch::ForeignFrees() == foreignBefore, "a free of a block the module did not hold");
    // Every set the module opened is destroyed once, no other set is; only the filter devices with
    // the stored identifier go, and on a complete walk all of them do.
    std::map<std::string, int> balance;
    SimClassDevsCall opened{};
    char name[48];
    for (size_t i = 0; i < SimClassDevsCallCount(); ++i)
        if (SimGetClassDevsCall(i, &opened) && opened.result != INVALID_HANDLE_VALUE)
            ++balance[(snprintf(name, sizeof name, "DeviceInfoSet=0x%llx", 0ull + reinterpret_cast<uintptr_t>(opened.result)), name)];
    SimCall journal{};
    for (size_t i = 0; i < SimJournalCount(); ++i) {
        if (!SimGetJournalEntry(i, &journal)) continue;
        if (journal.injected) Add("injected_failures_answered");
        if (std::strcmp(journal.function, "SetupDiDestroyDeviceInfoList") == 0) --balance[journal.arguments];
    }
    for (const auto& [set, count] : balance) Expect(count == 0, set + " not destroyed exactly once");
    const bool completeWalk = call.paired && call.context.PostProcessing == TRUE && call.context.InstallResult == NO_ERROR &&
                              call.dataNamesReader && call.disableParamsValid && !call.anyFailureArmed;
    for (const Device& device : call.devices) {
        const bool gone = !SimDeviceExists(device.devInst), matches = call.paired && device.filterClass && device.id == call.paired->id;
        Expect(!gone || matches, "a device that is no filter device with the stored identifier was removed");
        Expect(gone || !matches || !completeWalk, "a filter device with the stored identifier was left in place");
        if (gone) Add("filter_devices_removed");
    }
    SP_DEVINSTALL_PARAMS_W params{sizeof params};
    if (call.request == DIF_INSTALLDEVICE && call.dataNamesReader && !call.installParamsFailureArmed &&
        result == NO_ERROR && SimGetDeviceInstallParams(call.data.DevInst, &params))
        Expect(params.Flags == DI_INSTALLDISABLED && params.FlagsEx == 0, "install-device left other flags");
}

TEST(RequestCampaign, EveryCallKeepsTheModulesPromises) {
    const uint64_t calls = test_support::SettingOr("TESK_CAMPAIGN_CALLS", 20000);
    ASSERT_NE(nullptr, harness::CoInstallerModule());
    const double start = test_support::Seconds();
    // The first call's load attempt keeps one-time state: it is no leak.
    harness::CallCoDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, nullptr);
    const double blocks = heap_watch::LiveBlocks();
    for (uint64_t i = 0; i < calls || !g_pending.empty(); ++i) OneCall(i >= calls);
    g_count["module_heap_block_growth"] = heap_watch::LiveBlocks() - blocks;
    EXPECT_EQ(0, g_count["module_heap_block_growth"]) << "module heap blocks leaked";
    g_count["seed"] = test_support::CampaignSeed(), g_count["seconds"] = test_support::Seconds() - start;
    for (const auto& [name, value] : g_count) test_support::Figure(name, value);
    for (const std::string& violation : g_violations) ADD_FAILURE() << violation;
    // Every kind of call was made, so the promises were checked on each path.
    for (const char* kind : {"calls_null_context", "calls_pre_processing", "calls_post_processing", "records_stored",
                             "results_passed_on", "filter_devices_removed", "injected_failures_answered"})
        EXPECT_GT(g_count[kind], 0) << kind;
}

}  // namespace
