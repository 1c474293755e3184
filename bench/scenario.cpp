#include "bench/scenario.h"

#include "bench/codes.h"
#include "platform/sdk_extras.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <sstream>

namespace bench {

namespace {

constexpr GUID kReaderClass = {0x50dd5230, 0xba8a, 0x11d1, {0xbf, 0x5d, 0x00, 0x00, 0xf8, 0x05, 0xf5, 0x30}};
constexpr GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

struct Token {
    std::string text;
    bool quoted = false;
};

// Thrown inside the parser only; ParseScenario turns it into its error result.
struct Failure {
    int line;
    std::string message;
};

std::string Describe(const Token* token) {
    if (token == nullptr) return "end of line";
    return token->quoted ? "\"" + token->text + "\"" : "'" + token->text + "'";
}

// Splits a line into words and "quoted texts"; '#' at the start of a word begins a comment.
std::vector<Token> Tokenize(const std::string& line, int number, std::string* source) {
    std::vector<Token> tokens;
    size_t i = 0;
    size_t end = line.size();
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#') {
            end = i;
            break;
        }
        Token token;
        if (c == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos) throw Failure{number, "expected a closing '\"' for the text that starts in column " + std::to_string(i + 1)};
            token.text = line.substr(i + 1, close - i - 1);
            token.quoted = true;
            i = close + 1;
            if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                throw Failure{number, "expected a space after the closing '\"' in column " + std::to_string(i)};
            }
        } else {
            const size_t stop = line.find_first_of(" \t\r", i);
            token.text = line.substr(i, stop == std::string::npos ? std::string::npos : stop - i);
            i = stop == std::string::npos ? line.size() : stop;
        }
        tokens.push_back(std::move(token));
    }
    *source = line.substr(0, end);
    while (!source->empty() && (source->back() == ' ' || source->back() == '\t' || source->back() == '\r')) source->pop_back();
    return tokens;
}

// The words of one line, consumed from the left with errors that say what was expected.
class Line {
public:
    Line(std::vector<Token> tokens, int number) : tokens_(std::move(tokens)), number_(number) {}

    int number() const { return number_; }
    bool AtEnd() const { return next_ >= tokens_.size(); }
    const Token* Peek() const { return AtEnd() ? nullptr : &tokens_[next_]; }

    [[noreturn]] void Fail(const std::string& expected) const {
        throw Failure{number_, "expected " + expected + ", found " + Describe(Peek())};
    }

    std::string Word(const std::string& what) {
        const Token* token = Peek();
        if (token == nullptr || token->quoted) Fail(what);
        ++next_;
        return token->text;
    }
    // A word or a quoted text (an instance ID may need quotes when it holds a '#').
    std::string Value(const std::string& what) {
        if (AtEnd()) Fail(what);
        return tokens_[next_++].text;
    }
    std::string Quoted(const std::string& what) {
        const Token* token = Peek();
        if (token == nullptr || !token->quoted) Fail(what);
        ++next_;
        return token->text;
    }
    bool TakeQuoted(std::string* text) {
        const Token* token = Peek();
        if (token == nullptr || !token->quoted) return false;
        *text = token->text;
        ++next_;
        return true;
    }
    bool TakeKeyword(const char* keyword) {
        const Token* token = Peek();
        if (token == nullptr || token->quoted || token->text != keyword) return false;
        ++next_;
        return true;
    }
    void Keyword(const char* keyword) {
        if (!TakeKeyword(keyword)) Fail(std::string("'") + keyword + "'");
    }
    DWORD Number(const std::string& what) {
        const Token* token = Peek();
        if (token == nullptr || token->quoted) Fail(what);
        const auto value = ParseNumber(token->text);
        if (!value) Fail(what);
        ++next_;
        return *value;
    }
    DWORD Code(const std::string& what) {
        const Token* token = Peek();
        if (token == nullptr || token->quoted) Fail(what);
        const auto value = ParseCode(token->text);
        if (!value) Fail(what);
        ++next_;
        return *value;
    }
    void End() const {
        if (!AtEnd()) Fail("end of line");
    }

private:
    std::vector<Token> tokens_;
    size_t next_ = 0;
    int number_;
};

const std::string kWhatExpected =
    "what is expected (result, post-processing, no-post-processing, textlog, no-textlog, trace, no-trace, call, no-call, removed, present or install-flags)";

const char kCodeWhat[] = "a code (decimal, 0x-hex, or a name such as ERROR_ACCESS_DENIED)";

std::optional<GUID> ParseGuid(const std::string& text) {
    unsigned long data1 = 0;
    unsigned int d2 = 0, d3 = 0, b[8] = {};
    int consumed = 0;
    if (text.size() != 38 ||
        std::sscanf(text.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &data1, &d2, &d3, &b[0], &b[1], &b[2],
                    &b[3], &b[4], &b[5], &b[6], &b[7], &consumed) != 11 ||
        consumed != 38) {
        return std::nullopt;
    }
    GUID guid{static_cast<unsigned long>(data1), static_cast<unsigned short>(d2), static_cast<unsigned short>(d3), {}};
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<unsigned char>(b[i]);
    return guid;
}

class Parser {
public:
    Scenario Parse(const std::string& text) {
        std::istringstream lines(text);
        std::string raw;
        int number = 0;
        while (std::getline(lines, raw)) {
            ++number;
            std::string source;
            std::vector<Token> tokens = Tokenize(raw, number, &source);
            if (tokens.empty()) continue;
            Line line(std::move(tokens), number);
            Statement(line, source);
        }
        Finish();
        return std::move(scenario_);
    }

private:
    void Statement(Line& line, const std::string& source) {
        const std::string keyword = line.Word("a statement");
        if (keyword == "title") {
            Once(seenTitle_, line, keyword);
            scenario_.title = line.Quoted("the title as a quoted text");
        } else if (keyword == "trace") {
            Once(seenTrace_, line, keyword);
            if (line.TakeKeyword("none")) {
                scenario_.traceLibrary = false;
            } else {
                line.Keyword("level");
                const DWORD level = line.Number("a trace level (1, 2, 4, 8 or 16)");
                if (level == 0 || level > 0x7FFFFFFF) {
                    throw Failure{line.number(), "expected a trace level from 1 to 2147483647, found " + std::to_string(level)};
                }
                scenario_.traceLibrary = true;
                scenario_.traceLevel = static_cast<int32_t>(level);
            }
        } else if (keyword == "log-token") {
            scenario_.logToken = line.Number("the SetupAPI log token (a number)");
        } else if (keyword == "device") {
            DeviceStatement(line);
        } else if (keyword == "classparams") {
            ClassParamsStatement(line);
        } else if (keyword == "installparams") {
            InstallParamsStatement(line);
        } else if (keyword == "fail") {
            FailStatement(line);
        } else if (keyword == "request") {
            RequestStatement(line);
        } else if (keyword == "expect") {
            ExpectStatement(line, source);
        } else {
            throw Failure{line.number(), "expected a statement (title, trace, log-token, device, classparams, installparams, fail, request or expect), found '" + keyword + "'"};
        }
        line.End();
    }

    void Once(bool& seen, const Line& line, const std::string& keyword) {
        if (seen) throw Failure{line.number(), "expected one '" + keyword + "' line only, found a second one"};
        seen = true;
    }

    std::string KnownDevice(Line& line) {
        const std::string name = line.Word("a device name");
        if (!scenario_.FindDevice(name)) throw Failure{line.number(), "expected the name of a device declared above, found '" + name + "'"};
        return name;
    }

    void NoRequestYet(const Line& line, const char* what) {
        if (!scenario_.requests.empty() || !pending_.failures.empty() || !pending_.classParams.empty() ||
            !pending_.installParams.empty()) {
            throw Failure{line.number(), std::string("expected ") + what + " before the first request and its preparations"};
        }
    }

    void DeviceStatement(Line& line) {
        NoRequestYet(line, "every device line");
        DeviceDecl device;
        device.line = line.number();
        device.name = line.Word("a device name");
        if (scenario_.FindDevice(device.name)) throw Failure{line.number(), "expected a new device name, found '" + device.name + "' a second time"};
        device.instanceId = line.Value("the device's instance ID");
        if (device.instanceId.empty() || device.instanceId.size() >= MAX_DEVICE_ID_LEN) {
            throw Failure{line.number(), "expected an instance ID of 1 to " + std::to_string(MAX_DEVICE_ID_LEN - 1) + " characters"};
        }
        line.Keyword("class");
        const std::string className = line.Word("a device class (reader, usb, scfilter or a {GUID})");
        if (className == "reader") {
            device.classGuid = kReaderClass;
            device.className = "SmartCardReader";
        } else if (className == "usb") {
            device.classGuid = kUsbClass;
            device.className = "USB";
        } else if (className == "scfilter") {
            device.classGuid = GUID_DEVCLASS_SMARTCARDFILTER;
            device.className = "SmartCardFilter";
        } else if (auto guid = ParseGuid(className)) {
            device.classGuid = *guid;
            device.className = className;
        } else {
            throw Failure{line.number(), "expected a device class (reader, usb, scfilter or a {GUID}), found '" + className + "'"};
        }
        if (line.TakeKeyword("parent")) device.parent = KnownDevice(line);
        device.duplicateId = line.TakeKeyword("duplicate");
        const auto same = std::find_if(scenario_.devices.begin(), scenario_.devices.end(),
                                       [&](const DeviceDecl& other) { return other.instanceId == device.instanceId; });
        if (same != scenario_.devices.end() && !device.duplicateId) {
            throw Failure{line.number(), "expected a new instance ID, found the one of '" + same->name + "' (end the line with 'duplicate' to add a second node with it)"};
        }
        if (same == scenario_.devices.end() && device.duplicateId) {
            throw Failure{line.number(), "expected 'duplicate' only for an instance ID that an earlier device has"};
        }
        scenario_.devices.push_back(std::move(device));
    }

    void ClassParamsStatement(Line& line) {
        ClassParamsDecl params;
        params.line = line.number();
        params.device = KnownDevice(line);
        const std::string change = line.Word("a state change (enable, disable, propchange, start or stop)");
        static const std::pair<const char*, DWORD> kChanges[] = {
            {"enable", DICS_ENABLE}, {"disable", DICS_DISABLE}, {"propchange", DICS_PROPCHANGE}, {"start", DICS_START}, {"stop", DICS_STOP}};
        const auto found = std::find_if(std::begin(kChanges), std::end(kChanges), [&](const auto& c) { return change == c.first; });
        if (found == std::end(kChanges)) throw Failure{line.number(), "expected a state change (enable, disable, propchange, start or stop), found '" + change + "'"};
        params.stateChange = found->second;
        params.scope = DICS_FLAG_GLOBAL;
        while (!line.AtEnd()) {
            if (line.TakeKeyword("scope")) {
                if (line.TakeKeyword("global")) {
                    params.scope = DICS_FLAG_GLOBAL;
                } else if (line.TakeKeyword("config-specific")) {
                    params.scope = DICS_FLAG_CONFIGSPECIFIC;
                } else {
                    line.Fail("'global' or 'config-specific'");
                }
            } else if (line.TakeKeyword("profile")) {
                params.hwProfile = line.Number("a hardware profile number");
            } else if (line.TakeKeyword("reported-size")) {
                params.reportedSize = line.Number("the size SetupDiGetClassInstallParamsW reports (a number)");
            } else {
                line.Fail("'scope', 'profile', 'reported-size' or end of line");
            }
        }
        pending_.classParams.push_back(std::move(params));
    }

    void InstallParamsStatement(Line& line) {
        InstallParamsDecl params;
        params.line = line.number();
        params.device = KnownDevice(line);
        line.Keyword("flags");
        params.flags = line.Number("the Flags value (a number)");
        if (line.TakeKeyword("flags-ex")) params.flagsEx = line.Number("the FlagsEx value (a number)");
        pending_.installParams.push_back(std::move(params));
    }

    void FailStatement(Line& line) {
        FailureDecl failure;
        failure.line = line.number();
        failure.function = line.Word("the name of a SetupAPI function");
        const auto& known = InjectableFunctions();
        if (std::find(known.begin(), known.end(), failure.function) == known.end()) {
            std::string list;
            for (const auto& name : known) list += (list.empty() ? "" : ", ") + name;
            throw Failure{line.number(), "expected one of the functions " + list + ", found '" + failure.function + "'"};
        }
        if (line.TakeKeyword("always")) {
            failure.mode = FailMode::Always;
        } else if (line.TakeKeyword("call")) {
            failure.mode = FailMode::Nth;
            failure.n = line.Number("the number of the call that fails (1 is the next call)");
        } else if (line.TakeKeyword("from-call")) {
            failure.mode = FailMode::FromNth;
            failure.n = line.Number("the number of the first call that fails (1 is the next call)");
        } else {
            line.Fail("'always', 'call <n>' or 'from-call <n>'");
        }
        if ((failure.mode != FailMode::Always) && failure.n == 0) throw Failure{line.number(), "expected a call number of 1 or more, found 0"};
        line.Keyword("error");
        failure.error = line.Code(kCodeWhat);
        pending_.failures.push_back(std::move(failure));
    }

    void RequestStatement(Line& line) {
        Request request = std::move(pending_);
        pending_ = Request{};
        request.line = line.number();
        const std::string function = line.Word("an installation request (DIF_PROPERTYCHANGE, DIF_REMOVE, DIF_INSTALLDEVICE, ...)");
        if (auto code = InstallFunctionByName(function)) {
            request.function = *code;
        } else if (auto number = ParseNumber(function)) {
            request.function = *number;
        } else {
            throw Failure{line.number(), "expected an installation request (a DIF_ name or a number), found '" + function + "'"};
        }
        request.functionName = function;
        line.Keyword("on");
        request.device = KnownDevice(line);
        if (line.TakeKeyword("install-result")) request.installResult = line.Code(kCodeWhat);
        scenario_.requests.push_back(std::move(request));
    }

    void ExpectStatement(Line& line, const std::string& source) {
        if (scenario_.requests.empty()) throw Failure{line.number(), "expected a request before the first 'expect' line"};
        Expectation expectation;
        expectation.line = line.number();
        expectation.source = source;
        const std::string what = line.Word(kWhatExpected);
        if (what == "result") {
            expectation.kind = ExpectKind::Result;
            expectation.code = line.Code(kCodeWhat);
        } else if (what == "post-processing") {
            expectation.kind = ExpectKind::PostResult;
            expectation.code = line.Code(kCodeWhat);
        } else if (what == "no-post-processing") {
            expectation.kind = ExpectKind::NoPostProcessing;
        } else if (what == "textlog") {
            expectation.kind = ExpectKind::TextLog;
            expectation.text = line.Quoted("the text-log message as a quoted text");
            if (line.TakeKeyword("error")) expectation.code = line.Code(kCodeWhat);
        } else if (what == "no-textlog") {
            expectation.kind = ExpectKind::NoTextLog;
            line.TakeQuoted(&expectation.text);
        } else if (what == "trace") {
            expectation.kind = ExpectKind::Trace;
            expectation.text = line.Quoted("a part of a trace line's text as a quoted text");
            if (expectation.text.empty()) throw Failure{line.number(), "expected a text that is not empty"};
        } else if (what == "no-trace") {
            expectation.kind = ExpectKind::NoTrace;
            line.TakeQuoted(&expectation.text);
        } else if (what == "removed" || what == "present") {
            expectation.kind = what == "removed" ? ExpectKind::Removed : ExpectKind::Present;
            expectation.device = KnownDevice(line);
        } else if (what == "install-flags") {
            expectation.kind = ExpectKind::InstallFlags;
            expectation.device = KnownDevice(line);
            expectation.code = line.Number("the expected Flags value (a number)");
            if (line.TakeKeyword("flags-ex")) expectation.code2 = line.Number("the expected FlagsEx value (a number)");
        } else if (what == "call" || what == "no-call") {
            expectation.kind = what == "call" ? ExpectKind::Call : ExpectKind::NoCall;
            expectation.text = line.Word("the name of a SetupAPI function");
        } else {
            throw Failure{line.number(), "expected " + kWhatExpected + ", found '" + what + "'"};
        }
        scenario_.requests.back().expectations.push_back(std::move(expectation));
    }

    void Finish() {
        if (!seenTrace_) throw Failure{0, "expected a 'trace none' or 'trace level <n>' line, found none"};
        if (scenario_.devices.empty()) throw Failure{0, "expected at least one 'device' line, found none"};
        if (scenario_.requests.empty()) throw Failure{0, "expected at least one 'request' line, found none"};
        int dangling = 0;
        for (const auto& f : pending_.failures) dangling = std::max(dangling, f.line);
        for (const auto& c : pending_.classParams) dangling = std::max(dangling, c.line);
        for (const auto& i : pending_.installParams) dangling = std::max(dangling, i.line);
        if (dangling != 0) throw Failure{dangling, "expected a request after this preparation, found the end of the file"};
    }

    Scenario scenario_;
    Request pending_;
    bool seenTitle_ = false;
    bool seenTrace_ = false;
};

}  // namespace

const DeviceDecl* Scenario::FindDevice(const std::string& name) const {
    for (const DeviceDecl& device : devices) {
        if (device.name == name) return &device;
    }
    return nullptr;
}

const std::vector<std::string>& InjectableFunctions() {
    static const std::vector<std::string> names = {
        "CM_Get_Child", "CM_Get_Device_IDW", "CM_Get_Parent", "SetupDiDestroyDeviceInfoList", "SetupDiEnumDeviceInfo",
        "SetupDiGetClassDevsW", "SetupDiGetClassInstallParamsW", "SetupDiRemoveDevice", "SetupDiSetDeviceInstallParamsW",
        "SetupGetThreadLogToken", "SetupWriteTextLog", "SetupWriteTextLogError"};
    return names;
}

std::optional<Scenario> ParseScenario(const std::string& text, ParseError* error) {
    try {
        return Parser().Parse(text);
    } catch (const Failure& failure) {
        if (error) *error = {failure.line, failure.message};
        return std::nullopt;
    }
}

}  // namespace bench
