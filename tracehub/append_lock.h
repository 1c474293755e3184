// Serialises appends to one file across processes. Not every system makes appends through
// FILE_APPEND_DATA atomic (Wine positions each write with a separate size query), and a kernel
// mutex per line would cost more than the write. The lock is one word in a small shared memory
// section named after the file: taking it free costs one interlocked instruction.
#pragma once

#include "platform/unique_resource.h"

#include <string>

namespace kvtrace {

class AppendLock {
public:
    explicit AppendLock(const std::string& fullPath);
    ~AppendLock();
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

    // True when the lock is held and must be released. A holder that keeps it longer than a second
    // (a process that died while writing) loses it; without the shared section it is never held.
    bool Acquire();
    void Release();

private:
    tesk::UniqueHandle section_;
    volatile LONG* word_ = nullptr;
};

}  // namespace kvtrace
