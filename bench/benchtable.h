#ifndef VESTRION_BENCH_BENCHTABLE_H
#define VESTRION_BENCH_BENCHTABLE_H

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vsBench {

// The median of one benchmark's repetitions.
struct Median
{
    bool present = false;
    std::string error; // set when the benchmark skipped with an error
    double milliseconds = 0;
    std::map<std::string, double> counters;
    int repetitions = 0;
};

// Shows the usual console report and keeps every benchmark's median for the
// summary table.
class MedianCollector : public benchmark::ConsoleReporter
{
public:
    MedianCollector() : benchmark::ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override;

    // An absent median when the benchmark did not run.
    Median median(const std::string &name) const;
    // Whether any benchmark whose name starts so ran, well or with an error.
    bool ranAny(const std::string &prefix) const;

private:
    std::map<std::string, Median> medians;
};

// A Markdown table: the README takes it as it is.
class TextTable
{
public:
    explicit TextTable(std::vector<std::string> header) : rows{std::move(header)} {}
    void add(std::vector<std::string> row) { rows.push_back(std::move(row)); }
    void print(std::ostream &out) const;

private:
    std::vector<std::vector<std::string>> rows;
};

// Fixed-point text, or "n/a" when the value is missing.
std::string number(double value, int decimals);

} // namespace vsBench

#endif
