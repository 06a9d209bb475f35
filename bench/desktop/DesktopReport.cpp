#include "DesktopReport.h"

#include <cstdio>

namespace pelkora::bench {
namespace {

using Row = BenchFigures::Row;

constexpr int kLabelWidth = 34;
constexpr int kGroupWidth = 40;

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() > width) {
        text.resize(width);
    }
    return text + std::string(width - text.size(), ' ');
}

// One condition's figures of a row, kGroupWidth wide.
std::string group(const Row* row) {
    if (row == nullptr) {
        return padded("not run", kGroupWidth);
    }
    if (!row->measured) {
        return padded(row->problem.empty() ? "not measured" : row->problem, kGroupWidth);
    }
    const std::string gapMean = row->hasGaps ? format("%.2f", row->gapMeanMs) : "-";
    const std::string gapMax = row->hasGaps ? format("%.2f", row->gapMaxMs) : "-";
    char text[96];
    std::snprintf(text, sizeof text, "%8.2f %8s %8s %9.1f  ", row->latencyMs, gapMean.c_str(),
                  gapMax.c_str(), row->spanMs);
    return padded(text, kGroupWidth);
}

void trimEnd(std::string& line) {
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
}

}  // namespace

std::string DesktopReport::table(const std::string& title,
                                 const std::vector<Condition>& conditions) {
    std::string text = title + " (ms)\n" + padded("", kLabelWidth);
    std::string heads = padded("command", kLabelWidth);
    for (const Condition& condition : conditions) {
        text += padded(condition.name, kGroupWidth);
        heads += padded(" latency gap mean  gap max      span", kGroupWidth);
    }
    trimEnd(text);
    trimEnd(heads);
    text += "\n" + heads + "\n";
    if (conditions.empty()) {
        return text;
    }
    std::string notes;
    for (const Row& first : conditions.front().figures.rows) {
        std::string line = padded(std::string("(") + first.key + ") " + first.label, kLabelWidth);
        for (const Condition& condition : conditions) {
            const Row* row = condition.figures.row(first.key);
            line += group(row);
            if (row != nullptr && row->measured && !row->problem.empty()) {
                notes += std::string("  (") + first.key + ") " + condition.name + ": " +
                         row->problem + "\n";
            }
        }
        trimEnd(line);
        text += line + "\n";
    }
    return text + notes;
}

}  // namespace pelkora::bench
