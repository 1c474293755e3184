#include "bench/expectations.h"

#include "bench/codes.h"

#include <algorithm>

namespace bench {

namespace {

std::vector<const TextLogLine*> TextLogOf(const RequestOutcome& outcome) {
    std::vector<const TextLogLine*> entries;
    for (const auto& call : outcome.calls) {
        for (const auto& entry : call.textLog) entries.push_back(&entry);
    }
    return entries;
}

std::vector<const TraceLine*> TraceOf(const RequestOutcome& outcome) {
    std::vector<const TraceLine*> lines;
    for (const auto& call : outcome.calls) {
        for (const auto& line : call.trace) lines.push_back(&line);
    }
    return lines;
}

std::string EntryText(const TextLogLine& entry) {
    std::string text = "\"" + entry.message + "\"";
    if (entry.hasError) text += " error " + Hex8(entry.error);
    return text;
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Returns the difference, empty when the expectation is met.
std::string Compare(const Expectation& e, const RequestOutcome& outcome) {
    switch (e.kind) {
    case ExpectKind::Result:
        if (outcome.calls.empty()) return "CoDeviceInstall was not called";
        if (outcome.calls[0].result == *e.code) return {};
        return "returned " + ResultText(outcome.calls[0].result);
    case ExpectKind::PostResult:
        if (outcome.calls.size() < 2) return "no post-processing call was made";
        if (outcome.calls[1].result == *e.code) return {};
        return "post-processing returned " + ResultText(outcome.calls[1].result);
    case ExpectKind::NoPostProcessing:
        if (outcome.calls.size() < 2) return {};
        return "a post-processing call was made (the module asked for it)";
    case ExpectKind::TextLog: {
        const auto entries = TextLogOf(outcome);
        for (const TextLogLine* entry : entries) {
            if (entry->message != e.text) continue;
            if (!e.code) return {};
            if (entry->hasError && entry->error == *e.code) return {};
        }
        if (entries.empty()) return "no text-log entry was written";
        std::string found = "the text log holds";
        for (const TextLogLine* entry : entries) found += " " + EntryText(*entry) + ";";
        found.pop_back();
        return found;
    }
    case ExpectKind::NoTextLog:
        for (const TextLogLine* entry : TextLogOf(outcome)) {
            if (e.text.empty() || entry->message == e.text) return "the text log holds " + EntryText(*entry);
        }
        return {};
    case ExpectKind::Trace: {
        const auto lines = TraceOf(outcome);
        for (const TraceLine* line : lines) {
            if (line->text.find(e.text) != std::string::npos) return {};
        }
        return lines.empty() ? "no trace line was written" : "none of the " + std::to_string(lines.size()) + " trace lines contains it";
    }
    case ExpectKind::NoTrace:
        for (const TraceLine* line : TraceOf(outcome)) {
            if (line->text.find(e.text) != std::string::npos) return "trace line " + Quote(line->text);
        }
        return {};
    case ExpectKind::Call:
    case ExpectKind::NoCall: {
        size_t calls = 0;
        for (const auto& call : outcome.calls) calls += std::count(call.setupApiFunctions.begin(), call.setupApiFunctions.end(), e.text);
        if ((calls > 0) == (e.kind == ExpectKind::Call)) return {};
        return calls > 0 ? e.text + " was called " + std::to_string(calls) + " time(s)" : e.text + " was not called";
    }
    case ExpectKind::Removed:
    case ExpectKind::Present: {
        const auto device = outcome.devices.find(e.device);
        const bool present = device != outcome.devices.end() && device->second.present;
        if (present == (e.kind == ExpectKind::Present)) return {};
        return present ? e.device + " is still in the device tree" : e.device + " is no longer in the device tree";
    }
    case ExpectKind::InstallFlags: {
        const auto device = outcome.devices.find(e.device);
        if (device == outcome.devices.end() || !device->second.present) return e.device + " is no longer in the device tree";
        if (device->second.flags == *e.code && device->second.flagsEx == e.code2) return {};
        return "Flags " + Hex8(device->second.flags) + ", FlagsEx " + Hex8(device->second.flagsEx);
    }
    }
    return "unknown expectation";
}

}  // namespace

std::vector<Verdict> Check(const std::vector<Expectation>& expectations, const RequestOutcome& outcome) {
    std::vector<Verdict> verdicts;
    for (const Expectation& expectation : expectations) {
        Verdict verdict;
        verdict.expectation = &expectation;
        verdict.difference = Compare(expectation, outcome);
        verdict.met = verdict.difference.empty();
        verdicts.push_back(std::move(verdict));
    }
    return verdicts;
}

}  // namespace bench
