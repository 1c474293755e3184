#include "bench/runner.h"

#include "bench/codes.h"
#include "bench/expectations.h"
#include "bench/report.h"
#include "bench/scenario.h"
#include "bench/text.h"
#include "bench/trace_file.h"
#include "platform/unique_resource.h"
#include "bench/setupapi_sim/setupapi_sim.h"
#include "contracts/KvTraceHub001.h"

#include <map>
#include <optional>

namespace bench {

namespace {

using CoDeviceInstallFn = DWORD(WINAPI*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

constexpr wchar_t kTraceLibraryName[] = L"KvTraceHub001.dll";

// Thrown before the first request only: bad input is reported and nothing is run.
struct BadInput {
    std::string message;
};

std::string U8(const std::wstring& text) { return Utf8FromWide(text); }

std::string SystemMessage(DWORD error) {
    tesk::UniqueHlocal buffer;
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    buffer.reset(text);
    std::wstring message = length ? std::wstring(text, length) : std::wstring();
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ' || message.back() == L'.')) message.pop_back();
    return "error " + std::to_string(error) + (message.empty() ? "" : " (" + U8(message) + ")");
}

std::wstring DirectoryOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, buffer, nullptr);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(buffer, length) : path;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadScenarioFile(const std::wstring& path) {
    tesk::UniqueHfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw BadInput{"cannot read scenario file " + U8(path) + ": " + SystemMessage(::GetLastError())};
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    return text;
}

void MakeDirectories(const std::wstring& path) {
    for (size_t at = path.find_first_of(L"\\/", 3); ; at = path.find_first_of(L"\\/", at + 1)) {
        const std::wstring part = path.substr(0, at);
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            throw BadInput{"cannot create the work directory " + U8(part) + ": " + SystemMessage(::GetLastError())};
        }
        if (at == std::wstring::npos) return;
    }
}

void CopyInto(const std::wstring& source, const std::wstring& target) {
    if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        throw BadInput{"cannot copy " + U8(source) + " to " + U8(target) + ": " + SystemMessage(::GetLastError())};
    }
}

void DeleteIfPresent(const std::wstring& path) {
    if (!::DeleteFileW(path.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        throw BadInput{"cannot delete " + U8(path) + " left by an earlier run: " + SystemMessage(::GetLastError())};
    }
}

CoDeviceInstallFn LoadCoInstaller(const std::wstring& path, const std::wstring& source) {
    const HMODULE module = ::LoadLibraryW(path.c_str());  // stays loaded: the module is never unloaded by SetupAPI either
    if (module == nullptr) throw BadInput{"cannot load module " + U8(source) + ": " + SystemMessage(::GetLastError())};
    const auto entry = reinterpret_cast<CoDeviceInstallFn>(reinterpret_cast<void*>(::GetProcAddress(module, "CoDeviceInstall")));
    if (entry == nullptr) throw BadInput{U8(source) + " is not a co-installer: it does not export CoDeviceInstall"};
    return entry;
}

// The library the module is about to bind, set up before the module's first trace call. Its
// InitTraceSystem runs once per process, so the module's own call later changes nothing.
void ConfigureTraceLibrary(const std::wstring& library, int32_t level, const std::wstring& file) {
    const HMODULE module = ::LoadLibraryW(library.c_str());  // stays loaded: the module binds this very copy
    if (module == nullptr) throw BadInput{"cannot load the trace-system library " + U8(library) + ": " + SystemMessage(::GetLastError())};
    const auto init = reinterpret_cast<KvTrace_InitTraceSystem>(reinterpret_cast<void*>(::GetProcAddress(module, "InitTraceSystem")));
    const auto configure = reinterpret_cast<KvTrace_ConfigureTrace>(reinterpret_cast<void*>(::GetProcAddress(module, "ConfigureTrace")));
    if (init == nullptr || configure == nullptr) throw BadInput{U8(library) + " is not the trace-system library: InitTraceSystem or ConfigureTrace is missing"};
    char narrowFile[MAX_PATH * 2] = {};
    if (!::WideCharToMultiByte(CP_ACP, 0, file.c_str(), -1, narrowFile, sizeof narrowFile, nullptr, nullptr)) {
        throw BadInput{"the trace file path " + U8(file) + " cannot be passed to the trace-system library"};
    }
    init();
    const std::string settings = "Enabled=1;DefaultLevel=" + std::to_string(level) + ";File.*=" + narrowFile;
    if (!configure(settings.c_str())) throw BadInput{"the trace-system library refused the settings \"" + settings + "\""};
}

// The scenario's tree, built in the simulated SetupAPI.
class Devices {
public:
    explicit Devices(const Scenario& scenario) {
        for (const DeviceDecl& device : scenario.devices) {
            const DEVINST parent = device.parent.empty() ? 0 : nodes_.at(device.parent);
            const std::wstring id = WideFromUtf8(device.instanceId);
            const DEVINST node = device.duplicateId ? SimAddDeviceDuplicateId(id.c_str(), parent, &device.classGuid)
                                                    : SimAddDevice(id.c_str(), parent, &device.classGuid);
            if (node == 0) throw BadInput{"line " + std::to_string(device.line) + ": the simulated SetupAPI refused the device " + device.name};
            nodes_[device.name] = node;
        }
    }
    DEVINST Node(const std::string& name) const { return nodes_.at(name); }
    std::map<std::string, DeviceState> State() const {
        std::map<std::string, DeviceState> states;
        for (const auto& [name, node] : nodes_) {
            DeviceState state;
            state.present = SimDeviceExists(node) != FALSE;
            SP_DEVINSTALL_PARAMS_W params{};
            params.cbSize = sizeof params;
            if (state.present && SimGetDeviceInstallParams(node, &params)) {
                state.flags = params.Flags;
                state.flagsEx = params.FlagsEx;
            }
            states[name] = state;
        }
        return states;
    }

private:
    std::map<std::string, DEVINST> nodes_;
};

void Prepare(const Request& request, const Devices& devices) {
    for (const ClassParamsDecl& p : request.classParams) {
        SP_PROPCHANGE_PARAMS params{};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = p.stateChange;
        params.Scope = p.scope;
        params.HwProfile = p.hwProfile;
        SimSetClassInstallParams(devices.Node(p.device), &params, sizeof params);
        if (p.reportedSize) SimSetClassInstallParamsRequiredSize(devices.Node(p.device), *p.reportedSize);
    }
    for (const InstallParamsDecl& p : request.installParams) {
        SP_DEVINSTALL_PARAMS_W params{};
        params.cbSize = sizeof params;
        params.Flags = p.flags;
        params.FlagsEx = p.flagsEx;
        SimSetDeviceInstallParams(devices.Node(p.device), &params);
    }
    for (const FailureDecl& f : request.failures) {
        const SimFailMode mode = f.mode == FailMode::Always ? SimFailAlways : f.mode == FailMode::Nth ? SimFailNth : SimFailFromNth;
        SimInjectFailure(f.function.c_str(), mode, f.n, f.error);
    }
}

class Recorder {
public:
    explicit Recorder(std::optional<TraceFileReader>& trace) : trace_(trace) {}

    CallRecord Call(CoDeviceInstallFn entry, const Request& request, HDEVINFO set, SP_DEVINFO_DATA* data, COINSTALLER_CONTEXT_DATA* context) {
        CallRecord record;
        record.postProcessing = context->PostProcessing != FALSE;
        record.installResult = context->InstallResult;
        record.privateData = reinterpret_cast<ULONG_PTR>(context->PrivateData);
        record.result = entry(request.function, set, data, context);
        for (; journal_ < SimJournalCount(); ++journal_) {
            SimCall call{};
            SimGetJournalEntry(journal_, &call);
            record.setupApiCalls.push_back(std::string(call.function) + "(" + call.arguments + ")" + (call.injected ? "  <- injected failure" : ""));
            record.setupApiFunctions.push_back(call.function);
        }
        for (; textLog_ < SimTextLogCount(); ++textLog_) {
            SimTextLogEntry entry{};
            SimGetTextLogEntry(textLog_, &entry);
            TextLogLine line;
            line.category = entry.category;
            line.level = entry.flags;
            line.hasError = entry.hasError != FALSE;
            line.error = entry.error;
            line.message = entry.message ? Utf8FromWindows1252(std::string(entry.message, entry.messageLength)) : "(null)";
            record.textLog.push_back(std::move(line));
        }
        if (trace_) record.trace = trace_->ReadNew();
        return record;
    }

private:
    std::optional<TraceFileReader>& trace_;
    size_t journal_ = 0;
    size_t textLog_ = 0;
};

// SetupAPI's side of one request: a fresh set for the device, the pre-processing call, and the
// post-processing call when the module asks for it.
RequestOutcome Play(CoDeviceInstallFn entry, const Request& request, const Devices& devices, Recorder& recorder) {
    RequestOutcome outcome;
    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA data{};
    if (!SimCreateDeviceInfo(devices.Node(request.device), &set, &data)) return outcome;
    COINSTALLER_CONTEXT_DATA context{};
    outcome.calls.push_back(recorder.Call(entry, request, set, &data, &context));
    if (outcome.calls.back().result == ERROR_DI_POSTPROCESSING_REQUIRED) {
        context.PostProcessing = TRUE;
        context.InstallResult = request.installResult;
        outcome.calls.push_back(recorder.Call(entry, request, set, &data, &context));
    }
    outcome.devices = devices.State();
    return outcome;
}

struct Prepared {
    Scenario scenario;
    RunSetting setting;
    CoDeviceInstallFn entry = nullptr;
    std::wstring traceFile;
};

Prepared PrepareRun(const RunPaths& paths) {
    Prepared run;
    ParseError error;
    auto scenario = ParseScenario(ReadScenarioFile(paths.scenario), &error);
    if (!scenario) {
        throw BadInput{U8(paths.scenario) + (error.line ? ":" + std::to_string(error.line) : std::string()) + ": " + error.message};
    }
    run.scenario = std::move(*scenario);
    run.setting.scenarioPath = U8(paths.scenario);

    const std::wstring module = FullPath(paths.module);
    if (!IsFile(module)) throw BadInput{"module " + U8(module) + " does not exist"};

    const std::wstring work = FullPath(paths.work);
    MakeDirectories(work);
    const std::wstring moduleCopy = work + L"\\" + FileNameOf(module);
    const std::wstring traceCopy = work + L"\\" + kTraceLibraryName;
    run.traceFile = work + L"\\trace.log";
    DeleteIfPresent(run.traceFile);
    DeleteIfPresent(traceCopy);
    CopyInto(module, moduleCopy);
    run.entry = LoadCoInstaller(moduleCopy, module);
    run.setting.modulePath = U8(moduleCopy);
    run.setting.moduleSource = U8(module);
    if (run.scenario.traceLibrary) {
        const std::wstring traceSource = paths.traceLibrary.empty() ? DirectoryOf(module) + L"\\" + kTraceLibraryName : FullPath(paths.traceLibrary);
        if (!IsFile(traceSource)) {
            throw BadInput{"the scenario asks for a trace (trace level " + std::to_string(run.scenario.traceLevel) +
                           ") but there is no trace-system library at " + U8(traceSource)};
        }
        CopyInto(traceSource, traceCopy);
        ConfigureTraceLibrary(traceCopy, run.scenario.traceLevel, run.traceFile);
        run.setting.traceLibrary = U8(traceCopy);
        run.setting.traceFile = U8(run.traceFile);
    }
    return run;
}

}  // namespace

ExitCode Run(const RunPaths& paths, std::FILE* out, std::FILE* err) {
    Prepared run;
    try {
        run = PrepareRun(paths);
    } catch (const BadInput& bad) {
        std::fprintf(err, "bench: %s\nbench: nothing was run.\n", bad.message.c_str());
        return kBadInput;
    }
    const Scenario& scenario = run.scenario;
    SimReset();
    SimSetThreadLogToken(scenario.logToken);
    std::optional<Devices> devices;
    try {
        devices.emplace(scenario);
    } catch (const BadInput& bad) {
        std::fprintf(err, "bench: %s\nbench: nothing was run.\n", bad.message.c_str());
        return kBadInput;
    }
    std::optional<TraceFileReader> trace;
    if (scenario.traceLibrary) trace.emplace(run.traceFile);

    Report report(out);
    report.Header(scenario, run.setting);
    report.Tree("Device tree before", scenario, devices->State());
    Recorder recorder(trace);
    for (size_t i = 0; i < scenario.requests.size(); ++i) {
        const Request& request = scenario.requests[i];
        Prepare(request, *devices);
        const RequestOutcome outcome = Play(run.entry, request, *devices, recorder);
        report.Request(i + 1, request, outcome, Check(request.expectations, outcome));
        if (outcome.calls.empty()) {
            report.Problem("line " + std::to_string(request.line) + ": request not made: " + request.device + " is no longer in the device tree");
        }
    }
    report.Tree("Device tree after", scenario, devices->State());
    if (!scenario.traceLibrary) {
        if (const HMODULE library = ::GetModuleHandleW(kTraceLibraryName)) {
            wchar_t path[MAX_PATH] = {};
            ::GetModuleFileNameW(library, path, MAX_PATH);
            report.Problem("the scenario runs without a trace-system library, but the module loaded " + U8(path));
        }
    }
    return report.Summary() ? kPassed : kNotMet;
}

}  // namespace bench
