#include "platform/unique_devinfo.h"
#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

bool IsOpen(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueResource, OwnsExactlyOnceAcrossScopeMoveResetPutAndRelease) {
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE other = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        tesk::UniqueHandle first(raw);
        tesk::UniqueHandle second(std::move(first));
        EXPECT_FALSE(first.valid());
        tesk::UniqueHandle third(other);
        third = std::move(second);
        EXPECT_FALSE(IsOpen(other)) << "the overwritten handle is closed";
        EXPECT_TRUE(IsOpen(raw));
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        HANDLE* slot = third.put();
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError()) << "closing keeps the caller's error";
        EXPECT_FALSE(IsOpen(raw)) << "put releases the old value";
        *slot = raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    EXPECT_FALSE(IsOpen(raw)) << "closed on scope exit";
    HANDLE kept = tesk::UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)).release();
    EXPECT_TRUE(IsOpen(kept));
    ::CloseHandle(kept);
}

TEST(UniqueResource, FileAndDeviceInfoHandlesUseInvalidHandleValue) {
    tesk::UniqueHfile missing(::CreateFileW(L"Q:\\no\\such\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing.valid());
    EXPECT_FALSE(tesk::UniqueHdevinfo().valid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, tesk::UniqueHdevinfo().get());
}

}  // namespace
