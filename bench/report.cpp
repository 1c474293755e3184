#include "bench/report.h"

#include "bench/codes.h"
#include "platform/sdk_extras.h"

#include <setupapi.h>

#include <algorithm>

namespace bench {

namespace {

const char* StateChangeName(DWORD change) {
    switch (change) {
    case DICS_ENABLE: return "DICS_ENABLE";
    case DICS_DISABLE: return "DICS_DISABLE";
    case DICS_PROPCHANGE: return "DICS_PROPCHANGE";
    case DICS_START: return "DICS_START";
    case DICS_STOP: return "DICS_STOP";
    default: return "?";
    }
}

std::string Expand(const std::string& line) {
    std::string shown;
    for (char c : line) shown += c == '\t' ? std::string("  ") : std::string(1, c);
    return shown;
}

std::string TextLogText(const TextLogLine& entry) {
    std::string text = "category " + Hex8(entry.category) + (entry.category == TXTLOG_INSTALLER ? " (installer)" : "") +
                       ", level " + std::to_string(entry.level) + (entry.level == TXTLOG_DETAILS ? " (details)" : "");
    if (entry.hasError) text += ", error " + Hex8(entry.error);
    return text + ": " + entry.message;
}

}  // namespace

void Report::Header(const Scenario& scenario, const RunSetting& setting) {
    traceLibrary_ = scenario.traceLibrary;
    std::fprintf(out_, "Scenario       %s\n", setting.scenarioPath.c_str());
    if (!scenario.title.empty()) std::fprintf(out_, "               %s\n", scenario.title.c_str());
    std::fprintf(out_, "Module         %s\n", setting.modulePath.c_str());
    std::fprintf(out_, "               (copied unchanged from %s)\n", setting.moduleSource.c_str());
    if (scenario.traceLibrary) {
        std::fprintf(out_, "Trace library  %s\n", setting.traceLibrary.c_str());
        std::fprintf(out_, "               every category at level %d, written to %s\n", scenario.traceLevel, setting.traceFile.c_str());
    } else {
        std::fprintf(out_, "Trace library  none beside the bench or the module\n");
    }
    std::fprintf(out_, "SetupAPI       simulated; log token %u; the bench calls only the co-installer, SetupAPI's own\n"
                       "               default actions (disabling, removing the reader itself) are not played\n",
                 scenario.logToken);
}

void Report::Tree(const char* heading, const Scenario& scenario, const std::map<std::string, DeviceState>& devices) {
    std::fprintf(out_, "\n%s\n", heading);
    std::vector<std::string> names;
    size_t width = 0;
    for (const DeviceDecl& device : scenario.devices) {
        size_t depth = 0;
        for (const DeviceDecl* up = &device; !up->parent.empty(); up = scenario.FindDevice(up->parent)) ++depth;
        names.push_back(std::string(depth * 2, ' ') + device.name);
        width = std::max(width, names.back().size());
    }
    for (size_t i = 0; i < scenario.devices.size(); ++i) {
        const DeviceDecl& device = scenario.devices[i];
        const auto state = devices.find(device.name);
        const bool present = state != devices.end() && state->second.present;
        std::string extra;
        if (present && (state->second.flags != 0 || state->second.flagsEx != 0)) {
            extra = "  install flags " + Hex8(state->second.flags) + (state->second.flagsEx ? " ex " + Hex8(state->second.flagsEx) : "");
        }
        std::fprintf(out_, "  %-*s  %s  [%s]%s%s\n", static_cast<int>(width), names[i].c_str(), device.instanceId.c_str(),
                     device.className.c_str(), present ? "" : "  -- REMOVED", extra.c_str());
    }
}

void Report::Call(const CallRecord& call, const bench::Request& request) {
    const std::string name = InstallFunctionName(request.function).empty() ? Hex8(request.function) : InstallFunctionName(request.function);
    if (call.postProcessing) {
        std::fprintf(out_, "\n  CoDeviceInstall(%s, %s, post-processing: InstallResult %s, PrivateData %s)\n", name.c_str(),
                     request.device.c_str(), Hex8(call.installResult).c_str(), Hex8(static_cast<DWORD>(call.privateData)).c_str());
    } else {
        std::fprintf(out_, "\n  CoDeviceInstall(%s, %s, pre-processing)\n", name.c_str(), request.device.c_str());
    }
    std::fprintf(out_, "    returned      %s\n", ResultText(call.result).c_str());
    std::fprintf(out_, "    SetupAPI calls%s\n", call.setupApiCalls.empty() ? "  (none)" : "");
    for (const std::string& line : call.setupApiCalls) std::fprintf(out_, "      %s\n", line.c_str());
    std::fprintf(out_, "    text log%s\n", call.textLog.empty() ? "      (none)" : "");
    for (const TextLogLine& entry : call.textLog) std::fprintf(out_, "      %s\n", TextLogText(entry).c_str());
    std::fprintf(out_, "    trace%s\n", !traceLibrary_ ? "         (no trace-system library)" : call.trace.empty() ? "         (none)" : "");
    for (const TraceLine& line : call.trace) std::fprintf(out_, "      %s\n", Expand(line.line).c_str());
}

void Report::Request(size_t number, const bench::Request& request, const RequestOutcome& outcome, const std::vector<Verdict>& verdicts) {
    std::fprintf(out_, "\n== Request %zu (line %d): %s on %s\n", number, request.line, request.functionName.c_str(), request.device.c_str());
    for (const ClassParamsDecl& p : request.classParams) {
        std::fprintf(out_, "  class install parameters of %s: DIF_PROPERTYCHANGE, %s, %s, profile %lu%s\n", p.device.c_str(),
                     StateChangeName(p.stateChange), p.scope == DICS_FLAG_GLOBAL ? "DICS_FLAG_GLOBAL" : "DICS_FLAG_CONFIGSPECIFIC",
                     static_cast<unsigned long>(p.hwProfile),
                     p.reportedSize ? (", reported size " + std::to_string(*p.reportedSize)).c_str() : "");
    }
    for (const InstallParamsDecl& p : request.installParams) {
        std::fprintf(out_, "  device install parameters of %s: Flags %s, FlagsEx %s\n", p.device.c_str(), Hex8(p.flags).c_str(), Hex8(p.flagsEx).c_str());
    }
    for (const FailureDecl& f : request.failures) {
        const std::string when = f.mode == FailMode::Always ? "every call" : f.mode == FailMode::Nth ? "call " + std::to_string(f.n) : "from call " + std::to_string(f.n);
        std::fprintf(out_, "  failure armed: %s fails (%s) with %s\n", f.function.c_str(), when.c_str(), Hex8(f.error).c_str());
    }
    if (request.installResult != 0) {
        std::fprintf(out_, "  another component fails in between: post-processing gets InstallResult %s\n", ResultText(request.installResult).c_str());
    }
    for (const CallRecord& call : outcome.calls) Call(call, request);
    if (verdicts.empty()) return;
    std::fprintf(out_, "\n  expected\n");
    for (const Verdict& verdict : verdicts) {
        std::fprintf(out_, "    %s line %d: %s\n", verdict.met ? "ok  " : "FAIL", verdict.expectation->line, verdict.expectation->source.c_str());
        if (verdict.met) {
            ++met_;
        } else {
            std::fprintf(out_, "           found: %s\n", verdict.difference.c_str());
            failures_.push_back("line " + std::to_string(verdict.expectation->line) + ": " + verdict.expectation->source + "\n    found: " + verdict.difference);
        }
    }
}

void Report::Problem(const std::string& text) {
    std::fprintf(out_, "\n  PROBLEM: %s\n", text.c_str());
    failures_.push_back(text);
}

bool Report::Summary() {
    std::fprintf(out_, "\n");
    if (failures_.empty()) {
        std::fprintf(out_, "PASSED: all %zu expectations met.\n", met_);
        return true;
    }
    std::fprintf(out_, "FAILED: %zu expectation(s) not met (%zu met):\n", failures_.size(), met_);
    for (const std::string& failure : failures_) std::fprintf(out_, "  %s\n", failure.c_str());
    return false;
}

}  // namespace bench
