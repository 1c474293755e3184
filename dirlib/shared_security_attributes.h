// Security attributes that grant the local system account and everyone full access, so that the
// library's named mutexes can be opened by every process that uses the library.
#pragma once

#include <windows.h>

#include "platform/unique_resource.h"

#include <vector>

// The SID of a local account, or empty when it cannot be looked up.
std::vector<BYTE> _LookupAccountSid(const wchar_t* accountName);
// The SID of a string form such as "S-1-1-0", or empty when it is not valid.
std::vector<BYTE> _ConvertStringSid(const wchar_t* stringSid);

class SharedSecurityAttributes {
public:
    // One access-allowed entry; an empty SID means it could not be obtained.
    struct AccessEntry {
        ACCESS_MASK mask;
        std::vector<BYTE> sid;
    };

    static constexpr ACCESS_MASK kFullAccess = GENERIC_ALL | STANDARD_RIGHTS_ALL;

    // "SYSTEM" first, then everyone, each with full access.
    SharedSecurityAttributes();
    // Entries without a SID are left out; with none left the record stays zeroed.
    explicit SharedSecurityAttributes(std::vector<AccessEntry> entries);

    SharedSecurityAttributes(const SharedSecurityAttributes&) = delete;
    SharedSecurityAttributes& operator=(const SharedSecurityAttributes&) = delete;

    SECURITY_ATTRIBUTES* get() noexcept { return &record_; }

private:
    void Build() noexcept;

    std::vector<AccessEntry> entries_;
    tesk::UniqueProcessHeapBlock descriptor_;
    tesk::UniqueProcessHeapBlock acl_;
    SECURITY_ATTRIBUTES record_{};
};

// The process-wide instance, built by a static initialiser.
SharedSecurityAttributes& _SharedSecurityAttributes();
