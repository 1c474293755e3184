// Helpers of the configuration-service tests: the scenario host, the server's registration through
// regsvr32, the answers the server reads from the registry, and the texts the client must write.
#pragma once

#include "dirlib/host_output.h"
#include "dirlib/test_support.h"

#include <windows.h>

#include <string>
#include <vector>

namespace confsvc_test {

using dirlib_test::HostResult;

inline constexpr char kServiceKey[] = "SOFTWARE\\Korvan Mirel Compact\\LocbaseService";
inline constexpr char kServerDll[] = "KvLocbaseService.dll";

// The scenario host with the arguments.
HostResult RunServiceHost(const std::string& arguments);
// The lines of the host's output that begin with one of the prefixes.
std::vector<std::string> LinesStartingWith(const std::string& output, const std::vector<std::string>& prefixes);
// The host's lines of the lookups themselves (without Init's), its result and its apartment probes.
std::vector<std::string> LookupLines(const std::string& output);

// Directory of the running test program, ending in a backslash.
std::string TestDirectory();

// Removes our classes from HKEY_CLASSES_ROOT without the server, so a test starts unregistered.
void RemoveServerClasses();

// Registers the server beside the test program with regsvr32 for the life of the object.
class RegisteredServer {
public:
    RegisteredServer();
    ~RegisteredServer();
    RegisteredServer(const RegisteredServer&) = delete;
    RegisteredServer& operator=(const RegisteredServer&) = delete;

    DWORD registerExitCode() const { return registerExitCode_; }

private:
    DWORD registerExitCode_;
};

// The system's message text for an HRESULT with its final line break removed; empty when it has none.
std::string SystemText(HRESULT hr);
// The text a _com_error must show: the system's text, else "IDispatch error #n" for the HRESULTs of
// dispatch error codes, else "Unknown error 0x...".
std::string ExpectedComText(HRESULT hr);

// The client's line for a caught _com_error: prefix, the HRESULT in eight hex digits, the text.
std::string ComErrorLine(const std::string& prefix, HRESULT hr);

}  // namespace confsvc_test
