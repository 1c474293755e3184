#include "tracehub/append_lock.h"

#include <windows.h>

namespace kvtrace {

namespace {

// 2^62: no file reaches it, so the lock never covers a byte that anyone reads or writes.
OVERLAPPED LockedByte() {
    OVERLAPPED place{};
    place.OffsetHigh = 0x40000000;
    return place;
}

}  // namespace

tesk::UniqueHfile OpenAppendFile(const std::string& fullPath) {
    return tesk::UniqueHfile(::CreateFileA(fullPath.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

AppendLock::AppendLock(HANDLE file) : file_(file) {
    OVERLAPPED place = LockedByte();
    held_ = ::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &place) != FALSE;
}

AppendLock::~AppendLock() {
    if (!held_) return;
    OVERLAPPED place = LockedByte();
    ::UnlockFileEx(file_, 0, 1, 0, &place);
}

}  // namespace kvtrace
