#include "campaign/request_campaign.h"

#include "campaign/module_heap.h"
#include "campaign/process_figures.h"
#include "coinstaller/coinstaller_harness.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <cwchar>
#include <random>
#include <sstream>

namespace campaign {
namespace {

constexpr size_t kRecordBytes = MAX_DEVICE_ID_LEN * sizeof(wchar_t);
constexpr size_t kMaxPendingRecords = 4;
constexpr size_t kViolationsKept = 20;

constexpr const char* kSimulatedCalls[] = {
    "CM_Get_Child",          "CM_Get_Device_IDW",     "CM_Get_Parent",
    "SetupDiDestroyDeviceInfoList", "SetupDiEnumDeviceInfo", "SetupDiGetClassDevsW",
    "SetupDiGetClassInstallParamsW", "SetupDiGetDeviceInstallParamsW", "SetupDiRemoveDevice",
    "SetupDiSetDeviceInstallParamsW", "SetupGetThreadLogToken", "SetupWriteTextLog",
    "SetupWriteTextLogError",
};

// Errors SetupAPI and the configuration manager really give, besides any 32-bit number. A
// SetupAPI call may fail with last error 0; a CONFIGRET of 0 is success, so no CM_* call fails
// with it.
constexpr DWORD kTypicalErrors[] = {
    ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER, ERROR_NOT_ENOUGH_MEMORY, ERROR_NO_SUCH_DEVINST,
    ERROR_INVALID_USER_BUFFER, ERROR_NO_MORE_ITEMS, ERROR_ACCESS_DENIED, CR_NO_SUCH_DEVNODE,
    CR_INVALID_DEVNODE, CR_BUFFER_SMALL, CR_FAILURE, 0,
};

// Characters of generated instance identifiers: separators, both letter cases, and characters
// beyond ASCII, one of them outside Latin-1.
constexpr wchar_t kIdAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\\&_#.-\u00f6\u00c4\u20ac";

struct PendingRecord {
    void* record;
    std::wstring id;
};

// A device the campaign put into the tree, remembered to see afterwards what disappeared.
struct PlacedDevice {
    DEVINST devInst;
    std::wstring id;
    bool filterClass;
};

// What one call was given, for the checks after it.
struct Call {
    DI_FUNCTION request = 0;
    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA data{};
    bool hasData = false;
    bool dataNamesReader = false;
    bool hasContext = false;
    COINSTALLER_CONTEXT_DATA context{};
    std::optional<PendingRecord> paired;
    std::wstring readerFirstChildId;
    bool disableParamsValid = false;
    bool anyFailureArmed = false;
    bool installParamsFailureArmed = false;
    std::vector<PlacedDevice> devices;
};

class Campaign {
public:
    Campaign(uint64_t seed, RequestCampaignReport& report) : random_(seed), report_(report) {}

    void Run(uint64_t calls) {
        WarmUp();
        const uint64_t sampleEvery = std::max<uint64_t>(calls / 20, 1);
        for (uint64_t i = 0; i < calls; ++i) {
            callNumber_ = i + 1;
            OneCall();
            if ((i + 1) % sampleEvery == 0) SampleProcess();
        }
        // SetupAPI finishes every request it started: the records still pending get their
        // post-processing now.
        while (!pending_.empty()) {
            ++callNumber_;
            OneCall(true);
        }
        SampleProcess();
        report_.privateBytesAtEnd = process_figures::PrivateBytes();
        report_.handlesAtEnd = process_figures::HandleCount();
        report_.liveBlocksAtEnd = module_heap::LiveBlocks();
        if (report_.liveBlocksAtEnd != report_.liveBlocksAfterWarmUp) {
            Violation("the module holds " + std::to_string(report_.liveBlocksAtEnd) + " heap blocks after the run, " +
                      std::to_string(report_.liveBlocksAfterWarmUp) + " after the warm-up");
        }
    }

private:
    // The first call makes the trace library's load attempt, whose one-time state is not a leak.
    void WarmUp() {
        SimReset();
        RecReset();
        harness::CallCoDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, nullptr);
        SimReset();
        RecReset();
        report_.liveBlocksAfterWarmUp = module_heap::LiveBlocks();
        report_.privateBytesAfterWarmUp = process_figures::PrivateBytes();
        report_.handlesAfterWarmUp = process_figures::HandleCount();
    }

    void SampleProcess() {
        report_.privateBytesPeak = std::max(report_.privateBytesPeak, process_figures::PrivateBytes());
        report_.handlesPeak = std::max(report_.handlesPeak, process_figures::HandleCount());
    }

    uint32_t Below(uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random_); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
    uint32_t Any32() { return static_cast<uint32_t>(random_()); }

    std::wstring RandomId() {
        const uint32_t length = Chance(10) ? 190 + Below(MAX_DEVICE_ID_LEN - 190) : 1 + Below(40);
        std::wstring id;
        for (uint32_t i = 0; i < length; ++i) id.push_back(kIdAlphabet[Below(std::size(kIdAlphabet) - 1)]);
        return id;
    }

    // The identifier with its first letter in the other case; one without letters gets one.
    static std::wstring OtherCase(std::wstring id) {
        for (wchar_t& c : id) {
            if (c >= L'a' && c <= L'z') {
                c = static_cast<wchar_t>(c - L'a' + L'A');
                return id;
            }
            if (c >= L'A' && c <= L'Z') {
                c = static_cast<wchar_t>(c - L'A' + L'a');
                return id;
            }
        }
        return id + L"x";
    }

    // Identifiers may repeat: a class listing can hold stale copies beside the live node.
    DEVINST Place(Call& call, const std::wstring& id, DEVINST parent, const GUID& cls) {
        const DEVINST devInst = SimAddDeviceDuplicateId(id.c_str(), parent, &cls);
        if (devInst != 0) call.devices.push_back({devInst, id, IsEqualGUID(cls, GUID_DEVCLASS_SMARTCARDFILTER) != 0});
        return devInst;
    }

    // A reader (maybe below a hub) with up to three children, its property-change and install
    // parameters, and filter devices around it: copies of the stored identifier, of it in
    // another letter case, and in another class.
    DEVINST BuildTree(Call& call) {
        const DEVINST hub = Chance(70) ? Place(call, harness::kHubId, 0, harness::kUsbClass) : 0;
        const DEVINST reader = Place(call, RandomId(), hub, harness::kReaderClass);
        const uint32_t children = Below(4);
        for (uint32_t i = 0; i < children; ++i) {
            const std::wstring id = RandomId();
            const GUID& cls = Chance(70) ? GUID_DEVCLASS_SMARTCARDFILTER : harness::kUsbClass;
            if (Place(call, id, reader, cls) != 0 && i == 0) call.readerFirstChildId = id;
        }

        if (Chance(85)) {
            SP_PROPCHANGE_PARAMS params{};
            params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
            params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
            params.StateChange = Chance(75) ? DICS_DISABLE : 1 + Below(5);
            params.Scope = DICS_FLAG_GLOBAL;
            SimSetClassInstallParams(reader, &params, sizeof(params));
            DWORD requiredSize = sizeof(params);
            if (Chance(10)) {
                constexpr DWORD kOtherSizes[] = {0, 8, 16, 19, 21, 24, 0xFFFFFFFF};
                requiredSize = Chance(50) ? kOtherSizes[Below(std::size(kOtherSizes))] : Any32();
                SimSetClassInstallParamsRequiredSize(reader, requiredSize);
            }
            call.disableParamsValid = params.StateChange == DICS_DISABLE && requiredSize == sizeof(params);
        }
        SP_DEVINSTALL_PARAMS_W installParams{};
        installParams.cbSize = sizeof(installParams);
        installParams.Flags = Any32();
        installParams.FlagsEx = Any32();
        SimSetDeviceInstallParams(reader, &installParams);

        const std::wstring* stored = call.paired ? &call.paired->id : nullptr;
        const uint32_t filters = Below(5);
        for (uint32_t i = 0; i < filters; ++i) {
            const bool copy = stored != nullptr && Chance(60);
            const std::wstring id = copy ? (Chance(75) ? *stored : OtherCase(*stored)) : RandomId();
            const bool filterClass = !copy || Chance(80);
            Place(call, id, 0, filterClass ? GUID_DEVCLASS_SMARTCARDFILTER : harness::kUsbClass);
        }
        return reader;
    }

    void ArmFailures(Call& call) {
        for (const char* function : kSimulatedCalls) {
            if (!Chance(8)) continue;
            const auto mode = static_cast<SimFailMode>(Below(3));
            DWORD error = Chance(50) ? kTypicalErrors[Below(std::size(kTypicalErrors))] : Any32();
            if (error == CR_SUCCESS && std::strncmp(function, "CM_", 3) == 0) error = CR_FAILURE;
            SimInjectFailure(function, mode, 1 + Below(3), error);
            call.anyFailureArmed = true;
            if (std::strcmp(function, "SetupDiSetDeviceInstallParamsW") == 0) call.installParamsFailureArmed = true;
        }
    }

    DI_FUNCTION RandomRequest() {
        if (Chance(60)) {
            constexpr DI_FUNCTION kActedUpon[] = {DIF_PROPERTYCHANGE, DIF_PROPERTYCHANGE, DIF_REMOVE, DIF_INSTALLDEVICE};
            return kActedUpon[Below(std::size(kActedUpon))];
        }
        return Chance(60) ? Below(0x41) : Any32();
    }

    void ChooseContext(Call& call, bool finishPending) {
        const bool takePending =
            !pending_.empty() && (finishPending || pending_.size() >= kMaxPendingRecords || Chance(40));
        if (takePending) {
            call.paired = pending_[Below(static_cast<uint32_t>(pending_.size()))];
            call.request = DIF_PROPERTYCHANGE;
            call.hasContext = true;
            call.context.PostProcessing = Chance(90) ? TRUE : Any32() | 1;
            call.context.InstallResult = Chance(75) ? NO_ERROR : Any32();
            call.context.PrivateData = call.paired->record;
            return;
        }
        call.request = RandomRequest();
        const uint32_t kind = Below(10);
        if (kind < 2) return;
        call.hasContext = true;
        if (kind < 7) {
            call.context.PostProcessing = FALSE;
            call.context.InstallResult = Chance(80) ? NO_ERROR : Any32();
            return;
        }
        call.context.PostProcessing = Chance(80) ? TRUE : Any32() | 1;
        call.context.InstallResult = Chance(70) ? NO_ERROR : Any32();
    }

    void OneCall(bool finishPending = false) {
        SimReset();
        RecReset();
        constexpr int32_t kLevels[] = {1, 2, 4, 8, 16};
        RecSetDefaultLevel(kLevels[Below(std::size(kLevels))]);
        if (Chance(10)) RecSetShouldTraceAnswer(static_cast<int32_t>(Below(2)));
        SimSetThreadLogToken((static_cast<SP_LOG_TOKEN>(Any32()) << 32) | Any32());

        Call call;
        ChooseContext(call, finishPending);
        const DEVINST reader = BuildTree(call);
        SimCreateDeviceInfo(reader, &call.set, &call.data);
        const uint32_t dataKind = Below(20);
        if (dataKind < 17) {
            call.hasData = true;
            call.dataNamesReader = true;
        } else if (dataKind < 19) {
            call.hasData = true;
            call.data.Reserved = Any32();  // an element of no set
        }
        if (Chance(3)) call.set = Chance(50) ? INVALID_HANDLE_VALUE : reinterpret_cast<HDEVINFO>(uintptr_t{Any32()});
        call.dataNamesReader = call.dataNamesReader && call.set != INVALID_HANDLE_VALUE &&
                               SimIsDeviceInfoSetValid(call.set);
        ArmFailures(call);

        CheckedCall(call);
    }

    void CheckedCall(Call& call) {
        ++report_.calls;
        if (!call.hasContext) ++report_.nullContextCalls;
        else if (!call.context.PostProcessing) ++report_.preCalls;
        else ++report_.postCalls;
        if (call.paired) ++report_.pairedPostCalls;
        if (call.anyFailureArmed) ++report_.callsWithInjectedFailures;

        const size_t liveBefore = module_heap::LiveBlocks();
        const int64_t foreignBefore = module_heap::ForeignFrees();
        COINSTALLER_CONTEXT_DATA context = call.context;
        const DWORD result = harness::CallCoDeviceInstall(call.request, call.set, call.hasData ? &call.data : nullptr,
                                                          call.hasContext ? &context : nullptr);

        int64_t expectedBlocks = 0;
        const bool post = call.hasContext && call.context.PostProcessing;
        if (post && call.context.InstallResult != NO_ERROR) {
            ++report_.passedOnResults;
            if (result != call.context.InstallResult) {
                Violation("result " + Hex(result) + " instead of the passed-on InstallResult " +
                          Hex(call.context.InstallResult));
            }
        } else if (result == ERROR_DI_POSTPROCESSING_REQUIRED) {
            expectedBlocks += CheckStoredRecord(call, context);
        } else if (result != NO_ERROR) {
            Violation("result " + Hex(result) + " for request " + Hex(call.request));
        }
        if (call.hasContext && !post && result != ERROR_DI_POSTPROCESSING_REQUIRED && context.PrivateData != nullptr) {
            Violation("a pre-processing call without post-processing left PrivateData set");
        }
        if (call.paired) expectedBlocks -= CheckReleasedRecord(call, context);

        const int64_t blocksDelta = static_cast<int64_t>(module_heap::LiveBlocks()) - static_cast<int64_t>(liveBefore);
        if (blocksDelta != expectedBlocks) {
            Violation("the module's live heap blocks changed by " + std::to_string(blocksDelta) + ", expected " +
                      std::to_string(expectedBlocks) + " (request " + Hex(call.request) + ")");
        }
        if (module_heap::ForeignFrees() != foreignBefore) Violation("a free of a block the module did not hold");
        CheckSetsDestroyed();

        CheckRemovals(call);
        CheckInstallParams(call, result);
        for (size_t i = 0; i < SimJournalCount(); ++i) {
            SimCall journal{};
            if (SimGetJournalEntry(i, &journal) && journal.injected) ++report_.injectedFailuresAnswered;
        }
    }

    // Returns 1: the stored record is one block the module now holds for the request.
    int64_t CheckStoredRecord(const Call& call, const COINSTALLER_CONTEXT_DATA& context) {
        if (!call.hasContext || call.context.PostProcessing || call.request != DIF_PROPERTYCHANGE) {
            Violation("ERROR_DI_POSTPROCESSING_REQUIRED outside a property-change pre-processing");
            return 0;
        }
        if (context.PrivateData == nullptr) {
            Violation("ERROR_DI_POSTPROCESSING_REQUIRED without a stored child identifier");
            return 0;
        }
        const auto* record = static_cast<const wchar_t*>(context.PrivateData);
        if (module_heap::LiveSize(record) != kRecordBytes) {
            Violation("the stored record is no live block of " + std::to_string(kRecordBytes) + " bytes");
            return 0;
        }
        if (call.readerFirstChildId != record) {
            Violation("the stored identifier (" + std::to_string(wcsnlen(record, MAX_DEVICE_ID_LEN)) +
                      " characters) is not the reader's first child's (" +
                      std::to_string(call.readerFirstChildId.size()) + " characters)" +
                      (call.dataNamesReader ? "" : ", the device data names no element of the set"));
        }
        module_heap::Watch(record);
        pending_.push_back({context.PrivateData, std::wstring(record, wcsnlen(record, MAX_DEVICE_ID_LEN))});
        ++report_.recordsStored;
        return 1;
    }

    // Returns 1 when the paired record was released.
    int64_t CheckReleasedRecord(const Call& call, const COINSTALLER_CONTEXT_DATA& context) {
        const void* record = call.paired->record;
        const int64_t releases = module_heap::ReleasesOf(record);
        if (releases != 1) Violation("the child identifier record was released " + std::to_string(releases) + " times");
        if (context.PrivateData != nullptr) Violation("PrivateData still set after post-processing");
        pending_.erase(std::find_if(pending_.begin(), pending_.end(),
                                    [&](const PendingRecord& pending) { return pending.record == record; }));
        if (releases == 1) ++report_.recordsReleased;
        return releases == 1 ? 1 : 0;
    }

    // Each set the module opened is handed to SetupDiDestroyDeviceInfoList exactly once, and no
    // other set is; an injected failure of that call may leave the simulation's set open.
    void CheckSetsDestroyed() {
        std::map<std::string, int> balance;
        for (size_t i = 0; i < SimClassDevsCallCount(); ++i) {
            SimClassDevsCall opened{};
            if (SimGetClassDevsCall(i, &opened) && opened.result != INVALID_HANDLE_VALUE) {
                ++balance["DeviceInfoSet=" + HexPointer(opened.result)];
            }
        }
        for (size_t i = 0; i < SimJournalCount(); ++i) {
            SimCall journal{};
            if (SimGetJournalEntry(i, &journal) && std::strcmp(journal.function, "SetupDiDestroyDeviceInfoList") == 0) {
                --balance[journal.arguments];
            }
        }
        for (const auto& [set, count] : balance) {
            if (count > 0) Violation(set + " was not destroyed");
            if (count < 0) Violation(set + " was destroyed without having been opened, or twice");
        }
    }

    static std::string HexPointer(const void* pointer) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
        return text;
    }

    void CheckRemovals(const Call& call) {
        const bool completeWalk = call.paired && call.context.PostProcessing == TRUE &&
                                  call.context.InstallResult == NO_ERROR && call.dataNamesReader &&
                                  call.disableParamsValid && !call.anyFailureArmed;
        for (const PlacedDevice& device : call.devices) {
            const bool gone = !SimDeviceExists(device.devInst);
            const bool matches = call.paired && device.filterClass && device.id == call.paired->id;
            if (gone && !matches) {
                Violation(std::string("a device that is no filter device with the stored identifier was removed (") +
                          (device.filterClass ? "filter class" : "other class") + ", " +
                          (call.paired ? "post-processing of a stored identifier" : "no stored identifier") +
                          ", request " + Hex(call.request) + ")");
            } else if (!gone && matches && completeWalk) {
                Violation("a filter device with the stored identifier was left in place");
            }
            if (gone) ++report_.filtersRemoved;
        }
    }

    void CheckInstallParams(const Call& call, DWORD result) {
        if (call.request != DIF_INSTALLDEVICE || !call.dataNamesReader || call.installParamsFailureArmed ||
            result != NO_ERROR) {
            return;
        }
        SP_DEVINSTALL_PARAMS_W params{};
        params.cbSize = sizeof(params);
        if (!SimGetDeviceInstallParams(call.data.DevInst, &params)) return;
        if (params.Flags != DI_INSTALLDISABLED || params.FlagsEx != 0) {
            Violation("install-device left flags " + Hex(params.Flags) + ", extended flags " + Hex(params.FlagsEx));
        }
    }

    static std::string Hex(uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08x", value);
        return text;
    }

    void Violation(const std::string& what) {
        ++report_.violationCount;
        if (report_.violations.size() < kViolationsKept) {
            report_.violations.push_back("call " + std::to_string(callNumber_) + ": " + what);
        }
    }

    std::mt19937_64 random_;
    RequestCampaignReport& report_;
    std::vector<PendingRecord> pending_;
    uint64_t callNumber_ = 0;
};

}  // namespace

RequestCampaignReport RunRequestCampaign(uint64_t calls, uint64_t seed) {
    RequestCampaignReport report;
    const HMODULE module = harness::CoInstallerModule();
    if (module == nullptr || !module_heap::Install(module)) {
        report.violationCount = 1;
        report.violations.push_back("TeskCoInstaller.dll not loaded or its heap imports not found");
        return report;
    }
    const auto start = std::chrono::steady_clock::now();
    Campaign(seed, report).Run(calls);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

std::string FormatReport(const RequestCampaignReport& r, uint64_t seed) {
    std::ostringstream out;
    out << "seed " << seed << "\n"
        << "calls " << r.calls << "\n"
        << "calls_null_context " << r.nullContextCalls << "\n"
        << "calls_pre_processing " << r.preCalls << "\n"
        << "calls_post_processing " << r.postCalls << "\n"
        << "calls_post_processing_paired " << r.pairedPostCalls << "\n"
        << "records_stored " << r.recordsStored << "\n"
        << "records_released_once " << r.recordsReleased << "\n"
        << "results_passed_on " << r.passedOnResults << "\n"
        << "filter_devices_removed " << r.filtersRemoved << "\n"
        << "calls_with_armed_failures " << r.callsWithInjectedFailures << "\n"
        << "injected_failures_answered " << r.injectedFailuresAnswered << "\n"
        << "private_bytes_after_warm_up " << r.privateBytesAfterWarmUp << "\n"
        << "private_bytes_peak " << r.privateBytesPeak << "\n"
        << "private_bytes_at_end " << r.privateBytesAtEnd << "\n"
        << "handles_after_warm_up " << r.handlesAfterWarmUp << "\n"
        << "handles_peak " << r.handlesPeak << "\n"
        << "handles_at_end " << r.handlesAtEnd << "\n"
        << "module_heap_blocks_after_warm_up " << r.liveBlocksAfterWarmUp << "\n"
        << "module_heap_blocks_at_end " << r.liveBlocksAtEnd << "\n"
        << "seconds " << r.seconds << "\n"
        << "violations " << r.violationCount << "\n";
    for (const std::string& violation : r.violations) out << "violation " << violation << "\n";
    return out.str();
}

}  // namespace campaign
