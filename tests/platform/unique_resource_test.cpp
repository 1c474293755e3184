#include "platform/unique_devinfo.h"
#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using tesk::UniqueHandle;
using tesk::UniqueHfile;
using tesk::UniqueHkey;

bool IsOpen(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueResource, ClosesOnScopeExitAndNotBefore) {
    HANDLE raw = NewEvent();
    ASSERT_NE(nullptr, raw);
    {
        UniqueHandle owner(raw);
        EXPECT_TRUE(owner.valid());
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));
}

TEST(UniqueResource, MoveTransfersOwnershipExactlyOnce) {
    HANDLE raw = NewEvent();
    UniqueHandle first(raw);
    UniqueHandle second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(raw, second.get());

    HANDLE other = NewEvent();
    UniqueHandle third(other);
    third = std::move(second);
    EXPECT_FALSE(IsOpen(other)) << "the overwritten handle must be closed";
    EXPECT_TRUE(IsOpen(raw));
    third.reset();
    EXPECT_FALSE(IsOpen(raw));
}

TEST(UniqueResource, PutReleasesTheOldValueBeforeReuse) {
    HANDLE raw = NewEvent();
    UniqueHandle owner(raw);
    HANDLE* slot = owner.put();
    EXPECT_FALSE(IsOpen(raw));
    EXPECT_EQ(nullptr, *slot);
    *slot = NewEvent();
    EXPECT_TRUE(owner.valid());
}

TEST(UniqueResource, ReleaseGivesUpOwnership) {
    HANDLE raw = NewEvent();
    HANDLE released;
    {
        UniqueHandle owner(raw);
        released = owner.release();
        EXPECT_FALSE(owner.valid());
    }
    EXPECT_TRUE(IsOpen(released));
    ::CloseHandle(released);
}

TEST(UniqueResource, ClosingKeepsTheCallersLastError) {
    UniqueHandle owner(NewEvent());
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    owner.reset();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
}

TEST(UniqueResource, FileHandlesUseInvalidHandleValue) {
    UniqueHfile missing(::CreateFileW(L"Q:\\no\\such\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing.valid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, missing.get());
    UniqueHfile empty;
    EXPECT_FALSE(empty.valid());
}

TEST(UniqueResource, RegistryKeyIsClosed) {
    UniqueHkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, key.put()));
    HKEY raw = key.get();
    key.reset();
    DWORD subkeys = 0;
    EXPECT_NE(ERROR_SUCCESS, ::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                               nullptr, nullptr, nullptr, nullptr));
}

TEST(UniqueResource, DeviceInfoSetTreatsInvalidHandleValueAsEmpty) {
    tesk::UniqueHdevinfo none;
    EXPECT_FALSE(none.valid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, none.get());
}

}  // namespace
