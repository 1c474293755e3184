#include "tracehub/sinks.h"

#include "tracehub/append_lock.h"
#include "tracehub/debug_note.h"
#include "contracts/KvTraceHub001.h"

#include <windows.h>

#include <algorithm>

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

std::shared_ptr<FileSink> OpenFileSink(const std::string& fullPath) {
    tesk::UniqueHfile file = OpenAppendFile(fullPath);
    if (!file) {
        const DWORD error = ::GetLastError();
        DebugNote("cannot open trace file \"" + fullPath + "\", error " + std::to_string(error));
        ::SetLastError(error);
        return nullptr;
    }
    return std::make_shared<FileSink>(fullPath, std::move(file));
}

}  // namespace

FileSink::FileSink(std::string fullPath, tesk::UniqueHfile file)
    : path_(std::move(fullPath)), file_(std::move(file)) {}

// Lives on the stack of the thread that emits it: the writer reads next before it sets done,
// because the owner may return the moment it sees done.
struct FileSink::Request {
    const char* data;
    size_t size;
    Request* next;
    bool written;
    std::atomic<bool> done;
};

bool FileSink::Emit(const char* data, size_t size) {
    Request request{data, size, queued_.load(std::memory_order_relaxed), false, {false}};
    while (
        !queued_.compare_exchange_weak(request.next, &request, std::memory_order_release, std::memory_order_relaxed)) {
    }
    // Whoever writes now likely takes this line along; waiting briefly for that is cheaper than
    // queueing on the lock. After that, block on the lock and write what is queued.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (request.done.load(std::memory_order_acquire)) return request.written;
        if (::TryAcquireSRWLockExclusive(&threads_)) {
            if (!request.done.load(std::memory_order_relaxed)) WriteQueued();
            ::ReleaseSRWLockExclusive(&threads_);
            return request.written;
        }
        if (attempt < 50) {
            YieldProcessor();
        } else {
            ::SwitchToThread();
        }
    }
    ::AcquireSRWLockExclusive(&threads_);
    if (!request.done.load(std::memory_order_relaxed)) WriteQueued();
    ::ReleaseSRWLockExclusive(&threads_);
    return request.written;
}

void FileSink::WriteQueued() {
    Request* ordered = nullptr;
    bool joined = false, joinedWritten = false;
    {
        // Taken before the queue, so that the lines queued while other processes held it go along.
        const AppendLock processes(file_.get());
        for (Request* taken = queued_.exchange(nullptr, std::memory_order_acquire); taken;) {
            Request* next = taken->next;
            taken->next = ordered;
            ordered = taken;
            taken = next;
        }
        joined = ordered->next != nullptr;
        if (joined) {
            try {
                joined_.clear();
                for (const Request* request = ordered; request; request = request->next)
                    joined_.append(request->data, request->size);
            } catch (...) {
                joined = false;
            }
        }
        if (joined) {
            joinedWritten = WriteWhole(file_.get(), joined_.data(), joined_.size());
        } else {
            for (Request* request = ordered; request; request = request->next)
                request->written = WriteWhole(file_.get(), request->data, request->size);
        }
    }
    for (Request* request = ordered; request;) {
        Request* const next = request->next;
        if (joined) request->written = joinedWritten;
        request->done.store(true, std::memory_order_release);
        request = next;
    }
    // A joined dump may have grown the buffer far beyond what lines need.
    if (joined_.capacity() > 64 * 1024) std::string().swap(joined_);
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

std::shared_ptr<Sink> SinkPool::Acquire(const ListenerSettings& listener) {
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
