// RatioReporter: prints Google Benchmark's usual table and remembers each benchmark's CPU time per
// iteration, so a program can end with ratios measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace qarvex {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(int labelWidth = 60) : labelWidth(labelWidth) {}

    // With repetitions, the fastest run of each benchmark (named "function/arguments") counts.
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty())
                name += "/" + run.run_name.args;
            auto known = times.find(name);
            double time = run.GetAdjustedCPUTime();
            if (known == times.end() || time < known->second)
                times[name] = time;
        }
    }

    // Prints how many times faster `fast` ran than `slow` (above 1: `fast` is faster).
    void printRatio(const char *what, const std::string &slow, const std::string &fast) const {
        auto s = times.find(slow);
        auto f = times.find(fast);
        if (s != times.end() && f != times.end() && f->second > 0)
            std::printf("%-*s %6.2fx\n", labelWidth, what, s->second / f->second);
    }

private:
    int labelWidth;
    std::map<std::string, double> times;
};

} // namespace qarvex
