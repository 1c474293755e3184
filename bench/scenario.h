// A scenario of the installation bench: the device tree, the trace set-up, and the requests in
// the order SetupAPI would send them, each with what has to be prepared before it and what is
// expected of it. Texts are UTF-8 as written in the scenario file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct DeviceDecl {
    std::string name;  // the scenario's own label, used by later lines
    std::string instanceId;
    GUID classGuid = {};
    std::string className;  // as the report shows it
    std::string parent;     // empty: a top-level node
    bool duplicateId = false;  // another device has the same instance ID (a stale registration)
    int line = 0;
};

// The class install parameters of a property change, as SetupAPI stores them for a device.
struct ClassParamsDecl {
    std::string device;
    DWORD stateChange = 0;
    DWORD scope = 0;
    DWORD hwProfile = 0;
    std::optional<DWORD> reportedSize;  // what SetupDiGetClassInstallParamsW claims, if not the real size
    int line = 0;
};

struct InstallParamsDecl {
    std::string device;
    DWORD flags = 0;
    DWORD flagsEx = 0;
    int line = 0;
};

enum class FailMode { Nth, FromNth, Always };

struct FailureDecl {
    std::string function;
    FailMode mode = FailMode::Always;
    ULONG n = 0;
    DWORD error = 0;
    int line = 0;
};

enum class ExpectKind {
    Result,            // code: the (pre-processing) call's return value
    PostResult,        // code: a post-processing call was made and returned this
    NoPostProcessing,  // no post-processing call was made
    TextLog,           // text (exact message), code optional (error code of an error entry)
    NoTextLog,         // text empty: no entry at all; else no entry with that message
    Trace,             // text: a trace line whose text contains it
    NoTrace,           // text empty: no trace line at all; else no line containing it
    Removed,           // device
    Present,           // device
    InstallFlags,      // device, code (Flags), code2 (FlagsEx)
    Call,              // text: a SetupAPI function the module called
    NoCall,            // text: a SetupAPI function the module did not call
};

struct Expectation {
    ExpectKind kind = ExpectKind::Result;
    std::optional<DWORD> code;
    DWORD code2 = 0;
    std::string text;
    std::string device;
    int line = 0;
    std::string source;  // the line as written, without its comment, for the report
};

struct Request {
    DWORD function = 0;
    std::string functionName;  // "DIF_REMOVE", or the number as written for codes without a name
    std::string device;
    DWORD installResult = 0;  // InstallResult handed to the post-processing call
    std::vector<FailureDecl> failures;      // armed just before the request
    std::vector<ClassParamsDecl> classParams;
    std::vector<InstallParamsDecl> installParams;
    std::vector<Expectation> expectations;  // checked right after the request
    int line = 0;
};

struct Scenario {
    std::string title;
    bool traceLibrary = false;  // false: no trace-system library next to the module
    int32_t traceLevel = 0;
    uint32_t logToken = 0;
    std::vector<DeviceDecl> devices;
    std::vector<Request> requests;

    const DeviceDecl* FindDevice(const std::string& name) const;
};

struct ParseError {
    int line = 0;  // 0: the file as a whole
    std::string message;
};

// Parses a whole scenario text; on failure the result is empty and *error names the first
// offending line and what was expected there.
std::optional<Scenario> ParseScenario(const std::string& text, ParseError* error);

// The SetupAPI and configuration-manager functions whose failure a scenario can inject.
const std::vector<std::string>& InjectableFunctions();

}  // namespace bench
