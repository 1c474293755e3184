// The configuration server in a test: registered with the system's regsvr32 for the life of an
// object, and removed without the server so that a test can start unregistered.
#pragma once

#include "contracts/locbase_interfaces.h"

#include <windows.h>

#include <string>

namespace test_support {

inline constexpr const char* kServiceKey = kLocbaseServiceKey;

// Removes the server's classes from HKEY_CLASSES_ROOT.
void RemoveServerClasses();

class RegisteredServer {
public:
    // The server DLL at `path` (default: KvLocbaseService.dll beside the test program).
    explicit RegisteredServer(const std::string& path = std::string());
    ~RegisteredServer();
    RegisteredServer(const RegisteredServer&) = delete;
    RegisteredServer& operator=(const RegisteredServer&) = delete;

    DWORD registerExitCode() const { return registerExitCode_; }

private:
    std::string path_;
    DWORD registerExitCode_;
};

// The system's message text for an HRESULT, final line break removed, inserts ignored, as narrow
// Latin-1 ('?' beyond); empty when the system has none.
std::string SystemText(HRESULT hr);

}  // namespace test_support
