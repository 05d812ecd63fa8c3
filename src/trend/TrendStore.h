#pragma once

#include "TrendSeries.h"

#include <map>
#include <optional>
#include <vector>

namespace kvp {

// The trend's history of every module the window follows: one TrendSeries each,
// and for each the stretch it has been stale since, so that a gap is a module's own.
//
// Memory stays near one series' worth (about 1 MB) however many modules there are:
// with n modules each series has scale scaleFor(n), buckets n times as long and n
// times fewer (the modules share the line, so each gets at most a n-th of its
// values). Modules the window stops following are dropped with their history.
//
//     store.follow({3, 7, 9});               // the list, and the box's module
//     store.add(7, now, value);              // a good value of module 7
//     store.setStale(7, true, now);          // module 7 no longer answers
//     store.markStaleUntil(now);             // before each redraw: gaps grow
//     store.series(7)->columns(...);         // draw it
class TrendStore
{
public:
    using TimePoint = TrendSeries::TimePoint;

    static constexpr int kMostModules = 32;
    // The smallest power of two not below `modules`: halving memory in steps keeps
    // rescaling rare while modules come and go.
    static int scaleFor(std::size_t modules);

    // Keeps a series for each of `addresses` (new ones empty), drops the others, and
    // rescales all when their number asks for it. At most kMostModules are kept.
    void follow(const std::vector<int> &addresses);
    std::vector<int> addresses() const;
    bool follows(int address) const { return m_modules.count(address) != 0; }

    // Ignored for a module not followed.
    void add(int address, TimePoint t, std::int32_t value);
    void setStale(int address, bool stale, TimePoint t);
    // Marks every stale module's stretch up to `t`, so that a redraw shows it growing.
    void markStaleUntil(TimePoint t);

    // Null for a module not followed.
    const TrendSeries *series(int address) const;
    int scale() const { return m_scale; }
    // What the buckets of all series take.
    std::size_t bytes() const;

private:
    struct Module {
        TrendSeries series;
        std::optional<TimePoint> staleSince;
    };
    std::map<int, Module> m_modules;
    int m_scale = 1;
};

} // namespace kvp
