// Where lines go. A sink is shared by every listener that names the same destination, so that a
// file listed for two categories gets each line once and is opened once.
#pragma once

#include "platform/unique_resource.h"
#include "tracehub/trace_settings.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace kvtrace {

class Sink {
public:
    virtual ~Sink() = default;
    // One call per line or dump block; data is NUL-terminated at data[size].
    virtual bool Emit(const char* data, size_t size) = 0;
    virtual void Flush() {}
};

// Appends through a handle without FILE_WRITE_DATA; a line reaches the system whole before Emit
// returns. Threads of this process queue their lines and one of them at a time writes all queued
// lines with one WriteFile under one AppendLock, so contention costs fewer writes and fewer trips
// to the other processes' lock, not more.
class FileSink final : public Sink {
public:
    FileSink(std::string fullPath, tesk::UniqueHfile file);
    bool Emit(const char* data, size_t size) override;
    void Flush() override;
    const std::string& path() const { return path_; }

private:
    struct Request;
    void WriteQueued();

    std::string path_;
    tesk::UniqueHfile file_;
    SRWLOCK queue_ = SRWLOCK_INIT;
    CONDITION_VARIABLE turns_ = CONDITION_VARIABLE_INIT;
    Request* first_ = nullptr;
    Request* last_ = nullptr;
    bool writing_ = false;
    std::string joined_;
};

class ConsoleSink final : public Sink {
public:
    bool Emit(const char* data, size_t size) override;
};

class DebuggerSink final : public Sink {
public:
    bool Emit(const char* data, size_t size) override;
};

// The sinks of the current configuration, looked up by destination. Owned by the hub's lock.
class SinkPool {
public:
    // Finds or creates the sink for a listener; null with the last error set when a file cannot be
    // opened.
    std::shared_ptr<Sink> Acquire(const ListenerSettings& listener);
    // Keeps only the given sinks; the others live on in older snapshots until those are freed.
    void Retain(const std::vector<std::shared_ptr<Sink>>& inUse);
    void Clear() {
        files_.clear();
        console_.reset();
        debugger_.reset();
    }

private:
    std::vector<std::shared_ptr<FileSink>> files_;
    std::shared_ptr<ConsoleSink> console_;
    std::shared_ptr<DebuggerSink> debugger_;
};

}  // namespace kvtrace
