#include "CtlBench.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>

#include "BenchCommand.h"
#include "BenchProcess.h"
#include "BusyLoad.h"
#include "PlaybackTimeline.h"

namespace pelkora::bench {

namespace {

using namespace std::chrono_literals;

const std::string kMacro = "~[tx]~[fA.wav]~[rx]";
constexpr auto kRunTimeout = 20s;
constexpr auto kLastBlocks = 50ms;
// Silence on the sink, and the keyer back at rest, before each message.
constexpr auto kSettle = 400ms;

std::string figures(const std::vector<double>& values) {
    const LatencySummary s = LatencySummary::of(values);
    char text[96];
    if (s.count == 0) {
        std::snprintf(text, sizeof text, "%30s", "not measured");
    } else {
        std::snprintf(text, sizeof text, "%3zu %8.2f %8.2f %8.2f", s.count, s.medianMs, s.p90Ms,
                      s.maxMs);
    }
    return text;
}

}  // namespace

CtlBench::CtlBench(Options options) : options_(std::move(options)) {}

void CtlBench::settle() const {
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(sound_.fileMs) + kSettle);
}

bool CtlBench::roundTrip(double& ms, std::string& problem) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.pelkora.Pelkora", "/org/pelkora/Pelkora", "org.pelkora.Pelkora", "PlayMacros");
    call.setArguments({QString::fromStdString(kMacro), QString(), QString()});
    call.setAutoStartService(false);
    const double start = test::MonitorRecorder::nowSeconds();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    ms = (test::MonitorRecorder::nowSeconds() - start) * 1000;
    settle();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        problem = "PlayMacros: " + reply.errorName().toStdString();
        return false;
    }
    return true;
}

bool CtlBench::firstSample(const std::vector<std::string>& argv, double& ms, std::string& problem) {
    const auto from = static_cast<std::int64_t>(recorder_.snapshot().levels.size());
    try {
        BenchProcess process(argv, options_.soundsDir, options_.logPath);
        const BenchProcess::Ended ended = process.wait(kRunTimeout);
        problem = endError(ended, kRunTimeout);
        // pelkora-ctl returns as soon as the keyer has queued the message.
        settle();
        std::this_thread::sleep_for(kLastBlocks);
        const auto timeline = PlaybackTimeline::measure(
            recorder_.snapshot(), from, process.startedAt(), {sound_.level}, sound_.soundMs);
        if (problem.empty() && !timeline.heardInOrder) {
            problem = timeline.problem;
        }
        ms = timeline.latencyMs;
        return problem.empty();
    } catch (const std::exception& failure) {
        problem = failure.what();
        return false;
    }
}

void CtlBench::round(std::vector<Row>& rows, bool loaded) {
    double ms = 0;
    std::string problem;
    const auto keep = [&](Row& row, bool ok) {
        if (ok) {
            (loaded ? row.loadMs : row.idleMs).push_back(ms);
        } else {
            row.problems.push_back(problem);
        }
    };
    keep(rows[0], roundTrip(ms, problem));
    keep(rows[1], firstSample({options_.ctl, "play", kMacro}, ms, problem));
    keep(rows[2], firstSample({options_.player, "--sound-dir", ".", kMacro}, ms, problem));
}

int CtlBench::run() {
    std::string error;
    const auto sound = BenchSound::read(options_.soundsDir + "/A.wav", error);
    if (!sound) {
        std::fprintf(stderr, "ctl bench: %s\n", error.c_str());
        return 2;
    }
    sound_ = *sound;
    error = recorder_.start();
    if (!error.empty()) {
        std::fprintf(stderr, "ctl bench: %s\n", error.c_str());
        return 2;
    }
    std::vector<Row> rows{{"PlayMacros call -> reply (QtDBus)", {}, {}, {}},
                          {"pelkora-ctl play: exec -> first sample", {}, {}, {}},
                          {"pelkora-play: exec -> first sample", {}, {}, {}}};
    std::vector<Row> warmUp = rows;
    round(warmUp, false);  // the server's and the keyer's first message pay for warming up
    for (const bool loaded : {false, true}) {
        const auto load = loaded ? std::make_unique<BusyLoad>(options_.loadLoops) : nullptr;
        for (int i = 0; i < options_.rounds; ++i) {
            round(rows, loaded);
        }
    }
    std::fputs(table(rows).c_str(), stdout);
    for (const Row& row : rows) {
        for (const std::string& problem : row.problems) {
            std::fprintf(stderr, "%s: %s\n", row.label.c_str(), problem.c_str());
        }
    }
    const auto ctlIdle = LatencySummary::of(rows[1].idleMs);
    const auto ctlLoad = LatencySummary::of(rows[1].loadMs);
    const auto playIdle = LatencySummary::of(rows[2].idleMs);
    const auto playLoad = LatencySummary::of(rows[2].loadMs);
    if (!ctlIdle.count || !ctlLoad.count || !playIdle.count || !playLoad.count) {
        return 2;
    }
    const bool met = ctlIdle.medianMs < playIdle.medianMs && ctlLoad.medianMs < playLoad.medianMs;
    std::printf("goal: pelkora-ctl play starts sound sooner than pelkora-play (median): %s\n",
                met ? "met" : "NOT met");
    return met ? 0 : 1;
}

std::string CtlBench::table(const std::vector<Row>& rows) {
    std::ostringstream out;
    char header[320];
    std::snprintf(header, sizeof header,
                  "%-40s | %30s | %30s\n%-40s | %3s %8s %8s %8s | %3s %8s %8s %8s\n", "ms", "idle",
                  "all cores busy", "", "n", "median", "p90", "max", "n", "median", "p90", "max");
    out << header;
    for (const Row& row : rows) {
        char line[320];
        std::snprintf(line, sizeof line, "%-40s | %s | %s\n", row.label.c_str(),
                      figures(row.idleMs).c_str(), figures(row.loadMs).c_str());
        out << line;
    }
    return out.str();
}

}  // namespace pelkora::bench
