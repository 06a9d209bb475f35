#include "BenchFigures.h"

#include <algorithm>
#include <functional>

namespace pelkora::bench {
namespace {

using Row = BenchFigures::Row;
using Waiting = BenchFigures::Waiting;

Row rowOf(const ScenarioResult& result) {
    Row row;
    row.key = result.key;
    row.label = result.label;
    const PlaybackTimeline::Figures& figures = result.figures;
    row.problem = result.error.empty() ? figures.problem : result.error;
    row.measured = result.error.empty() && figures.heardInOrder;
    row.hasGaps = !figures.gapsMs.empty();
    row.latencyMs = figures.latencyMs;
    row.gapMeanMs = figures.meanGapMs();
    row.gapMaxMs = figures.maxGapMs();
    row.spanMs = figures.spanMs;
    row.cpuMs = result.ended.cpuSeconds * 1000.0;
    row.peakRssKb = result.singleProcess ? static_cast<double>(result.ended.peakRssKb) : -1;
    return row;
}

Waiting waitingOf(const WaitingResult& result) {
    return {result.error, result.windowSeconds, result.schedPercent, result.tickPercent,
            static_cast<double>(result.peakRssKb)};
}

template <typename T>
double medianOf(const std::vector<T>& items, const std::function<double(const T&)>& figure) {
    std::vector<double> values;
    for (const T& item : items) {
        values.push_back(figure(item));
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Row medianRow(const std::vector<Row>& all) {
    std::vector<Row> measured;
    std::copy_if(all.begin(), all.end(), std::back_inserter(measured),
                 [](const Row& row) { return row.measured; });
    Row row = all.front();
    if (measured.empty()) {
        return row;  // every round failed alike: the first one says why
    }
    row = measured.front();
    row.latencyMs = medianOf<Row>(measured, [](const Row& r) { return r.latencyMs; });
    row.gapMeanMs = medianOf<Row>(measured, [](const Row& r) { return r.gapMeanMs; });
    row.gapMaxMs = medianOf<Row>(measured, [](const Row& r) { return r.gapMaxMs; });
    row.spanMs = medianOf<Row>(measured, [](const Row& r) { return r.spanMs; });
    row.cpuMs = medianOf<Row>(measured, [](const Row& r) { return r.cpuMs; });
    row.peakRssKb = medianOf<Row>(measured, [](const Row& r) { return r.peakRssKb; });
    row.problem = measured.size() == all.size()
                      ? std::string()
                      : std::to_string(all.size() - measured.size()) + " round(s) not measured";
    return row;
}

Waiting medianWaiting(const std::vector<Waiting>& all) {
    std::vector<Waiting> measured;
    std::copy_if(all.begin(), all.end(), std::back_inserter(measured),
                 [](const Waiting& waiting) { return waiting.problem.empty(); });
    if (measured.empty()) {
        return all.front();
    }
    Waiting waiting = measured.front();
    waiting.schedPercent =
        medianOf<Waiting>(measured, [](const Waiting& w) { return w.schedPercent; });
    waiting.tickPercent =
        medianOf<Waiting>(measured, [](const Waiting& w) { return w.tickPercent; });
    waiting.peakRssKb = medianOf<Waiting>(measured, [](const Waiting& w) { return w.peakRssKb; });
    return waiting;
}

}  // namespace

const Row* BenchFigures::row(char key) const {
    const auto found =
        std::find_if(rows.begin(), rows.end(), [key](const Row& each) { return each.key == key; });
    return found == rows.end() ? nullptr : &*found;
}

BenchFigures BenchFigures::of(const RoundResult& round) {
    BenchFigures figures;
    for (const ScenarioResult& result : round.scenarios) {
        figures.rows.push_back(rowOf(result));
    }
    figures.waiting = waitingOf(round.waiting);
    return figures;
}

BenchFigures BenchFigures::median(const std::vector<RoundResult>& rounds) {
    std::vector<BenchFigures> each;
    for (const RoundResult& round : rounds) {
        each.push_back(of(round));
    }
    BenchFigures figures;
    for (std::size_t index = 0; index < each.front().rows.size(); ++index) {
        std::vector<Row> column;
        for (const BenchFigures& one : each) {
            column.push_back(one.rows[index]);
        }
        figures.rows.push_back(medianRow(column));
    }
    std::vector<Waiting> waits;
    for (const BenchFigures& one : each) {
        waits.push_back(one.waiting);
    }
    figures.waiting = medianWaiting(waits);
    return figures;
}

}  // namespace pelkora::bench
