#include "tracehub/sinks.h"

#include "tracehub/debug_note.h"
#include "tracehub/include/KvTraceHub001.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace kvtrace {

namespace {

bool WriteWhole(HANDLE handle, const char* data, size_t size) {
    if (size > MAXDWORD) return false;
    DWORD written = 0;
    return ::WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH + 1, buffer, nullptr);
    if (length == 0 || length > MAX_PATH) return path;
    return std::string(buffer, length);
}

// A writer that holds the mutex longer than this is presumed hung; the line is written anyway.
constexpr DWORD kAppendMutexTimeoutMs = 1000;

// One mutex per file for every process and session that appends to it: named after a hash of
// the case-folded full path, open to everyone for waiting and releasing.
tesk::UniqueHandle OpenAppendMutex(const std::string& fullPath) {
    uint64_t hash = 14695981039346656037ull;
    for (char c : fullPath) {
        hash ^= static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
        hash *= 1099511628211ull;
    }
    char name[64];
    snprintf(name, sizeof(name), "Global\\KvTraceHub001.%016llx", static_cast<unsigned long long>(hash));

    tesk::UniqueHlocal descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;WD)",
                                                               SDDL_REVISION_1, &raw, nullptr)) {
        descriptor.reset(raw);
        attributes.lpSecurityDescriptor = raw;
    }
    tesk::UniqueHandle mutex(::CreateMutexA(&attributes, FALSE, name));
    if (!mutex) mutex.reset(::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name));
    if (!mutex) DebugNote("no cross-process lock for \"" + fullPath + "\", error " + std::to_string(::GetLastError()));
    return mutex;
}

std::shared_ptr<FileSink> OpenFileSink(const std::string& fullPath) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA makes the system position every write at the end;
    // the share flags let other processes and readers keep the file open alongside.
    tesk::UniqueHfile file(::CreateFileA(fullPath.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        DebugNote("cannot open trace file \"" + fullPath + "\", error " + std::to_string(error));
        ::SetLastError(error);
        return nullptr;
    }
    return std::make_shared<FileSink>(fullPath, std::move(file), OpenAppendMutex(fullPath));
}

}  // namespace

FileSink::FileSink(std::string fullPath, tesk::UniqueHfile file, tesk::UniqueHandle mutex)
    : path_(std::move(fullPath)), file_(std::move(file)), mutex_(std::move(mutex)) {}

bool FileSink::Emit(const char* data, size_t size) {
    ::AcquireSRWLockExclusive(&lock_);
    bool owned = false;
    if (mutex_) {
        const DWORD wait = ::WaitForSingleObject(mutex_.get(), kAppendMutexTimeoutMs);
        owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    const bool written = WriteWhole(file_.get(), data, size);
    if (owned) ::ReleaseMutex(mutex_.get());
    ::ReleaseSRWLockExclusive(&lock_);
    return written;
}

void FileSink::Flush() { ::FlushFileBuffers(file_.get()); }

bool ConsoleSink::Emit(const char* data, size_t size) {
    const HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    return WriteWhole(handle, data, size);
}

bool DebuggerSink::Emit(const char* data, size_t) {
    ::OutputDebugStringA(data);
    return true;
}

std::shared_ptr<Sink> SinkPool::Acquire(const ListenerSpec& listener) {
    switch (listener.kind) {
    case KvTraceListenerConsole:
        if (!console_) console_ = std::make_shared<ConsoleSink>();
        return console_;
    case KvTraceListenerDebugger:
        if (!debugger_) debugger_ = std::make_shared<DebuggerSink>();
        return debugger_;
    case KvTraceListenerTextfile: {
        if (listener.target.empty()) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        const std::string fullPath = FullPath(listener.target);
        for (const auto& file : files_) {
            if (EqualsNoCase(file->path(), fullPath)) return file;
        }
        std::shared_ptr<FileSink> file = OpenFileSink(fullPath);
        if (file) files_.push_back(file);
        return file;
    }
    default:
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

void SinkPool::Retain(const std::vector<std::shared_ptr<Sink>>& inUse) {
    const auto used = [&](const Sink* sink) {
        return std::any_of(inUse.begin(), inUse.end(), [&](const auto& kept) { return kept.get() == sink; });
    };
    files_.erase(std::remove_if(files_.begin(), files_.end(), [&](const auto& file) { return !used(file.get()); }),
                 files_.end());
    if (console_ && !used(console_.get())) console_.reset();
    if (debugger_ && !used(debugger_.get())) debugger_.reset();
}

}  // namespace kvtrace
