#include "benchtable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vsBench {

void MedianCollector::ReportRuns(const std::vector<Run> &runs)
{
    for (const Run &run : runs) {
        const std::string name = run.run_name.function_name;
        Median &median = medians[name];
        if (run.error_occurred) {
            median.error = run.error_message;
            continue;
        }
        if (run.run_type == Run::RT_Iteration) {
            ++median.repetitions;
            // A single repetition is its own median.
            if (run.repetitions > 1)
                continue;
        } else if (run.aggregate_name != "median") {
            continue;
        }
        median.present = true;
        median.milliseconds =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
        for (const auto &counter : run.counters)
            median.counters[counter.first] = counter.second.value;
    }
    ConsoleReporter::ReportRuns(runs);
}

Median MedianCollector::median(const std::string &name) const
{
    const auto found = medians.find(name);
    return found == medians.end() ? Median() : found->second;
}

bool MedianCollector::ranAny(const std::string &prefix) const
{
    const auto first = medians.lower_bound(prefix);
    return first != medians.end() && first->first.compare(0, prefix.size(), prefix) == 0;
}

void TextTable::print(std::ostream &out) const
{
    std::vector<size_t> widths;
    for (const auto &row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 3);
        for (size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    auto line = [&](const std::vector<std::string> &row) {
        out << '|';
        for (size_t column = 0; column < widths.size(); ++column) {
            const std::string text = column < row.size() ? row[column] : std::string();
            // The first column is text, the others figures: right-aligned.
            const std::string fill(widths[column] - text.size(), ' ');
            out << ' ' << (column == 0 ? text + fill : fill + text) << " |";
        }
        out << '\n';
    };
    for (size_t index = 0; index < rows.size(); ++index) {
        line(rows[index]);
        if (index == 0) {
            out << '|';
            for (size_t column = 0; column < widths.size(); ++column)
                out << (column == 0 ? ":" : "-") << std::string(widths[column], '-')
                    << (column == 0 ? "-" : ":") << '|';
            out << '\n';
        }
    }
}

std::string number(double value, int decimals)
{
    if (!std::isfinite(value))
        return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace vsBench
