#include "tracehub/snapshot.h"

#include "tracehub/debug_note.h"

#include <algorithm>

namespace kvtrace {

namespace {

void AddSink(std::vector<Sink*>& sinks, Sink* sink) {
    if (std::find(sinks.begin(), sinks.end(), sink) == sinks.end()) sinks.push_back(sink);
}

}  // namespace

std::unique_ptr<Snapshot> Snapshot::Build(TraceSettings& settings, SinkPool& pool, bool& allGood) {
    auto snapshot = std::make_unique<Snapshot>();
    snapshot->enabled_ = settings.enabled;
    snapshot->fallback_.level = settings.defaultLevel;

    std::vector<std::vector<Sink*>> ownSinks;
    for (CategorySettings& category : settings.categories) {
        std::vector<Sink*> sinks;
        for (auto it = category.listeners.begin(); it != category.listeners.end();) {
            std::shared_ptr<Sink> sink = pool.Acquire(*it);
            if (!sink) {
                DebugNote("listener \"" + it->name + "\" of category \"" + category.name + "\" dropped");
                allGood = false;
                it = category.listeners.erase(it);
                continue;
            }
            AddSink(sinks, sink.get());
            if (std::find(snapshot->keepAlive_.begin(), snapshot->keepAlive_.end(), sink) ==
                snapshot->keepAlive_.end()) {
                snapshot->keepAlive_.push_back(std::move(sink));
            }
            ++it;
        }
        if (EqualsNoCase(category.name, kAllCategories)) snapshot->fallback_.sinks = sinks;
        ownSinks.push_back(std::move(sinks));
    }

    for (size_t i = 0; i < settings.categories.size(); ++i) {
        const CategorySettings& category = settings.categories[i];
        Route route{category.name, settings.LevelOf(category.name), std::move(ownSinks[i])};
        for (Sink* sink : snapshot->fallback_.sinks) AddSink(route.sinks, sink);
        snapshot->routes_.push_back(std::move(route));
    }
    std::sort(snapshot->routes_.begin(), snapshot->routes_.end(),
              [](const Route& a, const Route& b) { return LessNoCase(a.category, b.category); });
    return snapshot;
}

const Route& Snapshot::Find(std::string_view category) const {
    const auto it =
        std::lower_bound(routes_.begin(), routes_.end(), category,
                         [](const Route& route, std::string_view name) { return LessNoCase(route.category, name); });
    if (it != routes_.end() && EqualsNoCase(it->category, category)) return *it;
    return fallback_;
}

int32_t Snapshot::Summary() const {
    if (!enabled_) return kTracesNothing;
    int32_t summary = kTracesNothing;
    if (!fallback_.sinks.empty()) summary = fallback_.level;
    for (const Route& route : routes_) {
        if (!route.sinks.empty()) summary = std::max(summary, route.level);
    }
    return summary;
}

}  // namespace kvtrace
