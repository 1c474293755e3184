// An immutable picture of the configuration, built under the hub's lock and then only read:
// writers look up their category here without taking any lock.
#pragma once

#include "tracehub/sinks.h"
#include "tracehub/trace_settings.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kvtrace {

// The summary of a configuration in which no level is written anywhere.
constexpr int32_t kTracesNothing = INT32_MIN;

struct Route {
    std::string category;
    int32_t level = kDefaultLevel;
    std::vector<Sink*> sinks;

    bool Traces(int32_t messageLevel) const { return messageLevel <= level && !sinks.empty(); }
};

class Snapshot {
public:
    // Acquires the sinks of all listeners; a listener whose sink cannot be had is dropped from the
    // settings and makes allGood false.
    static std::unique_ptr<Snapshot> Build(TraceSettings& settings, SinkPool& pool, bool& allGood);

    bool enabled() const { return enabled_; }
    int32_t defaultLevel() const { return fallback_.level; }
    // The route of a category; categories without settings of their own share the fallback.
    const Route& Find(std::string_view category) const;
    // The least important level that some category writes somewhere, or kTracesNothing.
    int32_t Summary() const;
    const std::vector<std::shared_ptr<Sink>>& sinks() const { return keepAlive_; }

private:
    bool enabled_ = true;
    Route fallback_;
    std::vector<Route> routes_;
    std::vector<std::shared_ptr<Sink>> keepAlive_;
};

}  // namespace kvtrace
