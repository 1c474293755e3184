// The process-wide trace system. Writers and questions read the published snapshot without a
// lock; every change builds a new snapshot under the lock and publishes it with one atomic store.
// Replaced snapshots are freed once no reader is inside, at the latest by Done.
#pragma once

#include "tracehub/sinks.h"
#include "tracehub/snapshot.h"
#include "tracehub/trace_settings.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace kvtrace {

class TraceHub {
public:
    bool Init();
    void Done();
    bool Configure(const char* settings);

    bool ShouldTrace(int32_t level) const {
        const int32_t summary = summary_.load(std::memory_order_acquire);
        return summary != kTracesNothing && level <= summary;
    }
    bool ShouldTraceCategory(int32_t level, const char* category) const;
    bool Write(int32_t level, const char* category, const char* sourceFile, int32_t sourceLine, const char* function,
               const char* text) const;
    bool Dump(int32_t level, const char* category, const char* sourceFile, int32_t sourceLine, const char* title,
              const char* name, const void* data, uint32_t size) const;

    bool IsEnabled() const;
    void SetEnabled(bool enabled);
    int32_t GetAppLevel() const;
    void SetAppLevel(int32_t level);
    int32_t GetLevel(const char* category) const;
    bool SetLevel(const char* category, int32_t level);

    bool ListenerExists(const char* category, const char* listenerName);
    bool AddListener(const char* category, const char* listenerName, int32_t kind, const char* target);
    bool RemoveListenerCategory(const char* category, const char* listenerName);
    bool RemoveListener(const char* listenerName);
    bool RemoveCategory(const char* category);
    void RemoveAllCategories();

private:
    class ReadGuard;

    // Runs edit on a copy of the settings and publishes the result when edit returns true.
    template <typename Edit>
    bool Change(Edit edit);
    bool PublishLocked(TraceSettings next);
    void ReclaimIfQuiet();

    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    bool open_ = false;
    TraceSettings settings_;
    SinkPool pool_;
    // Every snapshot not yet freed; the last one is the published one while open.
    std::vector<std::unique_ptr<Snapshot>> snapshots_;

    std::atomic<const Snapshot*> current_{nullptr};
    std::atomic<int32_t> summary_{kTracesNothing};
    mutable std::atomic<long> readers_{0};
};

}  // namespace kvtrace
