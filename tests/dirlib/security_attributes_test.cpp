#include "dirlib/shared_security_attributes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <string>
#include <vector>

namespace {

using dirlib_test::RunHost;

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, sid.data(), &size));
    sid.resize(size);
    return sid;
}

// Checks a DACL entry by entry: type, flags, mask and SID, in order, and that no space is left over.
void ExpectFullAccessEntries(PACL dacl, const std::vector<std::vector<BYTE>>& sids) {
    ACL_SIZE_INFORMATION info = {};
    ASSERT_TRUE(::GetAclInformation(dacl, &info, sizeof info, AclSizeInformation));
    ASSERT_EQ(sids.size(), info.AceCount);
    EXPECT_EQ(0u, info.AclBytesFree);
    for (DWORD i = 0; i < info.AceCount; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        void* raw = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, &raw));
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(0, ace->Header.AceFlags);
        EXPECT_EQ(0x101F0000u, ace->Mask);
        EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&ace->SidStart), const_cast<BYTE*>(sids[i].data())));
    }
}

PACL DaclOf(const SECURITY_ATTRIBUTES& record) {
    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL dacl = nullptr;
    EXPECT_TRUE(::GetSecurityDescriptorDacl(record.lpSecurityDescriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    return dacl;
}

TEST(SharedSecurityAttributes, GrantsSystemThenEveryoneFullAccessAndInheritance) {
    const SECURITY_ATTRIBUTES& record = *_SharedSecurityAttributes().get();
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), record.nLength);
    EXPECT_EQ(TRUE, record.bInheritHandle);
    ASSERT_NE(nullptr, record.lpSecurityDescriptor);
    EXPECT_TRUE(::IsValidSecurityDescriptor(record.lpSecurityDescriptor));

    PACL dacl = DaclOf(record);
    ASSERT_NE(nullptr, dacl);
    ExpectFullAccessEntries(dacl, {WellKnownSid(WinLocalSystemSid), WellKnownSid(WinWorldSid)});
}

TEST(SharedSecurityAttributes, NamedMutexCarriesTheDaclAndOpensFromAnotherProcess) {
    const std::string name = "tesk_dirlib_shared_mutex_" + std::to_string(::GetCurrentProcessId());
    tesk::UniqueHandle mutex(::CreateMutexA(_SharedSecurityAttributes().get(), FALSE, name.c_str()));
    ASSERT_TRUE(mutex.valid()) << ::GetLastError();

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                               nullptr, &dacl, nullptr, &descriptor));
    tesk::UniqueHlocal descriptorOwner(descriptor);
    ExpectFullAccessEntries(dacl, {WellKnownSid(WinLocalSystemSid), WellKnownSid(WinWorldSid)});

    EXPECT_EQ(0u, RunHost("open-mutex " + name).exitCode);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), RunHost("open-mutex " + name + "_missing").exitCode);
}

TEST(SharedSecurityAttributes, HandleIsInheritedByChildProcess) {
    tesk::UniqueHandle mutex(::CreateMutexA(_SharedSecurityAttributes().get(), FALSE, nullptr));
    ASSERT_TRUE(mutex.valid());
    DWORD flags = 0;
    ASSERT_TRUE(::GetHandleInformation(mutex.get(), &flags));
    EXPECT_EQ(static_cast<DWORD>(HANDLE_FLAG_INHERIT), flags & HANDLE_FLAG_INHERIT);

    const auto value = reinterpret_cast<uintptr_t>(mutex.get());
    EXPECT_EQ(0u, RunHost("inherited-mutex " + std::to_string(value)).exitCode);
}

TEST(SharedSecurityAttributes, EntryWithoutSidIsLeftOutOfSizeAndAcl) {
    std::vector<SharedSecurityAttributes::AccessEntry> entries;
    entries.push_back({SharedSecurityAttributes::kFullAccess, _LookupAccountSid(L"tesk no such account")});
    entries.push_back({SharedSecurityAttributes::kFullAccess, _ConvertStringSid(L"S-1-1-0")});
    ASSERT_TRUE(entries[0].sid.empty());
    ASSERT_FALSE(entries[1].sid.empty());

    SharedSecurityAttributes attributes(std::move(entries));
    const SECURITY_ATTRIBUTES& record = *attributes.get();
    EXPECT_EQ(TRUE, record.bInheritHandle);
    ASSERT_NE(nullptr, record.lpSecurityDescriptor);
    PACL dacl = DaclOf(record);
    ASSERT_NE(nullptr, dacl);
    ExpectFullAccessEntries(dacl, {WellKnownSid(WinWorldSid)});
}

TEST(SharedSecurityAttributes, NoSidAtAllLeavesTheRecordZeroed) {
    std::vector<SharedSecurityAttributes::AccessEntry> entries;
    entries.push_back({SharedSecurityAttributes::kFullAccess, _ConvertStringSid(L"not a sid")});
    entries.push_back({SharedSecurityAttributes::kFullAccess, {}});
    SharedSecurityAttributes attributes(std::move(entries));
    const SECURITY_ATTRIBUTES& record = *attributes.get();
    EXPECT_EQ(0u, record.nLength);
    EXPECT_EQ(nullptr, record.lpSecurityDescriptor);
    EXPECT_EQ(FALSE, record.bInheritHandle);
}

TEST(SidHelpers, LookupAndConversionGiveTheWellKnownSids) {
    EXPECT_EQ(WellKnownSid(WinLocalSystemSid), _LookupAccountSid(L"SYSTEM"));
    EXPECT_EQ(WellKnownSid(WinWorldSid), _ConvertStringSid(L"S-1-1-0"));
    EXPECT_TRUE(_ConvertStringSid(L"S-1-").empty());
}

}  // namespace
