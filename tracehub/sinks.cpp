#include "tracehub/sinks.h"

#include "tracehub/append_lock.h"
#include "tracehub/debug_note.h"
#include "tracehub/exclusive_lock.h"
#include "contracts/KvTraceHub001.h"

#include <windows.h>

#include <algorithm>
#include <utility>

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

// Lives on the stack of the thread that emits it. The queue's lock guards next and turn; the writer
// sets written before it marks the request done under that lock, after which the owner may return.
struct FileSink::Request {
    const char* data;
    size_t size;
    Request* next;
    enum class Turn { Waiting, Lead, Done } turn;
    bool written;
};

// The first line for an idle file makes its thread the writer. Threads whose lines come while it
// writes queue them and sleep instead of polling, which leaves the processors to the writer; once it
// is done, the oldest of them writes all that queued up meanwhile. Each caller writes at most one batch.
bool FileSink::Emit(const char* data, size_t size) {
    Request request{data, size, nullptr, Request::Turn::Waiting, false};
    {
        const ExclusiveLock queue(queue_);
        (last_ ? last_->next : first_) = &request;
        last_ = &request;
        if (writing_) {
            while (request.turn == Request::Turn::Waiting) ::SleepConditionVariableSRW(&turns_, &queue_, INFINITE, 0);
            if (request.turn == Request::Turn::Done) return request.written;
        }
        writing_ = true;
    }
    WriteQueued();
    return request.written;
}

void FileSink::WriteQueued() {
    Request* taken = nullptr;
    {
        // The queue is taken once the processes' lock is granted: what queued during the wait goes
        // along under the same acquisition.
        const AppendLock processes(file_.get());
        {
            const ExclusiveLock queue(queue_);
            taken = std::exchange(first_, nullptr);
            last_ = nullptr;
        }
        bool joined = taken->next != nullptr;
        if (joined) {
            try {
                joined_.clear();
                for (const Request* request = taken; request; request = request->next)
                    joined_.append(request->data, request->size);
            } catch (...) {
                joined = false;
            }
        }
        if (joined) {
            const bool written = WriteWhole(file_.get(), joined_.data(), joined_.size());
            for (Request* request = taken; request; request = request->next) request->written = written;
        } else {
            for (Request* request = taken; request; request = request->next)
                request->written = WriteWhole(file_.get(), request->data, request->size);
        }
    }
    // A joined dump may have grown the buffer far beyond what lines need.
    if (joined_.capacity() > 64 * 1024) std::string().swap(joined_);
    {
        const ExclusiveLock queue(queue_);
        for (Request* request = taken; request; request = request->next) request->turn = Request::Turn::Done;
        if (first_) first_->turn = Request::Turn::Lead;
        writing_ = first_ != nullptr;
    }
    ::WakeAllConditionVariable(&turns_);
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
