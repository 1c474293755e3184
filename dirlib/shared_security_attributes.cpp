#include "dirlib/shared_security_attributes.h"

#include <sddl.h>

#include <utility>

std::vector<BYTE> _LookupAccountSid(const wchar_t* accountName) {
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeUnknown;
    ::LookupAccountNameW(nullptr, accountName, nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0) return {};

    std::vector<BYTE> sid(sidSize);
    std::vector<wchar_t> domain(domainSize + 1);
    domainSize = static_cast<DWORD>(domain.size());
    if (!::LookupAccountNameW(nullptr, accountName, sid.data(), &sidSize, domain.data(), &domainSize, &use)) {
        return {};
    }
    return sid;
}

std::vector<BYTE> _ConvertStringSid(const wchar_t* stringSid) {
    PSID converted = nullptr;
    if (!::ConvertStringSidToSidW(stringSid, &converted)) return {};
    tesk::UniqueHlocal owner(converted);
    if (!::IsValidSid(converted)) return {};
    const BYTE* bytes = static_cast<const BYTE*>(converted);
    return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(converted));
}

namespace {

std::vector<SharedSecurityAttributes::AccessEntry> DefaultEntries() noexcept {
    try {
        std::vector<SharedSecurityAttributes::AccessEntry> entries;
        entries.push_back({SharedSecurityAttributes::kFullAccess, _LookupAccountSid(L"SYSTEM")});
        entries.push_back({SharedSecurityAttributes::kFullAccess, _ConvertStringSid(L"S-1-1-0")});
        return entries;
    } catch (...) {
        return {};
    }
}

}  // namespace

SharedSecurityAttributes::SharedSecurityAttributes() : SharedSecurityAttributes(DefaultEntries()) {}

SharedSecurityAttributes::SharedSecurityAttributes(std::vector<AccessEntry> entries) : entries_(std::move(entries)) {
    Build();
}

void SharedSecurityAttributes::Build() noexcept {
    DWORD aclSize = sizeof(ACL);
    bool anySid = false;
    for (const AccessEntry& entry : entries_) {
        if (entry.sid.empty()) continue;
        aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(const_cast<BYTE*>(entry.sid.data()));
        anySid = true;
    }
    // An empty DACL would deny everyone; without any SID the default security is the better choice.
    if (!anySid) return;

    tesk::UniqueProcessHeapBlock descriptor(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!descriptor || !::InitializeSecurityDescriptor(descriptor.get(), SECURITY_DESCRIPTOR_REVISION)) return;

    tesk::UniqueProcessHeapBlock acl(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, aclSize));
    if (!acl) return;
    PACL dacl = static_cast<PACL>(acl.get());
    if (!::InitializeAcl(dacl, aclSize, ACL_REVISION)) return;
    for (AccessEntry& entry : entries_) {
        if (entry.sid.empty()) continue;
        if (!::AddAccessAllowedAce(dacl, ACL_REVISION, entry.mask, entry.sid.data())) break;
    }
    if (!::SetSecurityDescriptorDacl(descriptor.get(), TRUE, dacl, FALSE)) return;

    descriptor_ = std::move(descriptor);
    acl_ = std::move(acl);
    record_.nLength = sizeof record_;
    record_.lpSecurityDescriptor = descriptor_.get();
    record_.bInheritHandle = TRUE;
}

namespace {
SharedSecurityAttributes g_sharedSecurityAttributes;
}  // namespace

SharedSecurityAttributes& _SharedSecurityAttributes() { return g_sharedSecurityAttributes; }
