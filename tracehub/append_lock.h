// Serialises appends to one trace file across processes. Not every system makes appends through
// FILE_APPEND_DATA atomic (Wine positions each write with a separate size query), so writers take a
// byte-range lock on the file itself, far beyond any real size: the system releases it when its
// holder's handle closes, also when the holder dies, and only a process that can open the file
// can take it.
#pragma once

#include "platform/unique_resource.h"

#include <string>

namespace kvtrace {

// The file as every writer of the hub opens it, created when missing: appended to, shared with
// other writers, readers and deleters. Read access is asked for too, because Windows takes a
// byte-range lock only on a handle that may read or write data; FILE_WRITE_DATA is left out, so the
// system still positions every write at the end.
tesk::UniqueHfile OpenAppendFile(const std::string& fullPath);

// Holds the file's append lock while it lives, waiting as long as another writer holds it. Where
// the file system has no byte-range locks the append goes ahead unlocked.
class AppendLock {
public:
    explicit AppendLock(HANDLE file);
    ~AppendLock();
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

private:
    HANDLE file_;
    bool held_;
};

}  // namespace kvtrace
