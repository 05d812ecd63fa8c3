// What the trend costs: an hour of values at 12,000 a second (the reader unpaced),
// then the work of one redraw for each span the user can choose, and the memory
// it all holds. Prints figures; asserts nothing.
#include "trend/TrendSeries.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

using namespace kvp;
using namespace std::chrono_literals;

namespace {

long residentKb(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

double secondsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

} // namespace

int main()
{
    constexpr std::int64_t kRate = 12'000;
    constexpr std::int64_t kValues = kRate * 3'600;
    constexpr int kWidth = 1'920;
    constexpr int kRedraws = 200;

    const long rssBefore = residentKb("VmRSS:");
    TrendSeries series;
    const auto start = TrendSeries::TimePoint{} + 1000h;
    const auto began = std::chrono::steady_clock::now();
    for (std::int64_t i = 0; i < kValues; ++i) {
        // A wave, and a stale second every ten minutes.
        const auto t = start + std::chrono::nanoseconds(i * 1'000'000'000 / kRate);
        if (i % (kRate * 600) == 0)
            series.markStale(t, t + 1s);
        else if (i % (kRate * 600) >= kRate)
            series.add(t, static_cast<std::int32_t>(i % 24'000) - 12'000);
    }
    const double fill = secondsSince(began);
    const auto end = start + 1h;

    std::printf("trend: %lld values over an hour in %.2f s (%.1f ns a value, %.0f times the rate)\n",
                static_cast<long long>(kValues), fill, fill * 1e9 / kValues, kValues / fill / kRate);
    std::printf("trend: %zu buckets of %zu bytes = %.2f MB (bound %zu buckets); RSS %+ld kB, peak %ld kB\n",
                series.storedBuckets(), TrendSeries::bucketBytes(),
                static_cast<double>(TrendSeries::capacity() * TrendSeries::bucketBytes()) / 1e6, TrendSeries::capacity(),
                residentKb("VmRSS:") - rssBefore, residentKb("VmHWM:"));

    std::printf("redraw, %d columns: span, resolution, columns + figures per redraw, share of a 50 ms frame\n", kWidth);
    for (const auto span : {TrendSeries::Duration(10s), TrendSeries::Duration(60s), TrendSeries::Duration(10min),
                            TrendSeries::Duration(1h)}) {
        std::uint64_t checksum = 0;
        const auto t = std::chrono::steady_clock::now();
        for (int i = 0; i < kRedraws; ++i) {
            const auto cols = series.columns(end, span, kWidth);
            const auto stats = series.stats(end, span);
            checksum += cols[static_cast<std::size_t>(i % kWidth)].count + stats.count;
        }
        const double each = secondsSince(t) / kRedraws;
        std::printf("  %5lld s  %4lld ms  %8.1f us  %5.2f %%  (%llu)\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(span).count()),
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               series.resolutionFor(end, span)).count()),
                    each * 1e6, each / 0.050 * 100, static_cast<unsigned long long>(checksum % 1000));
    }
    const auto t = std::chrono::steady_clock::now();
    const std::string csv = series.csv(end, 1h);
    std::printf("csv of the hour: %zu bytes in %.1f ms\n", csv.size(), secondsSince(t) * 1e3);
    return 0;
}
