// Editing at scale: 10,000 steps of cut, paste and undo on a two-hour movie of about 900,000 samples
// (the movie of the open benchmark), each step a cut of a short selection somewhere in the movie, its
// paste somewhere else and the undo of both, with the undo manager a document gives its movie. There is
// no peer that edits such a movie; the figure is reported against its budget of one second for all steps.
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/movie.h"

#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

const std::string& moviePath() { return movara::bench::twoHourMovie(); }

constexpr int kSteps = 10000;
double gSeconds = 0;

void BM_EditSteps(benchmark::State& state)
{
    HXError error;
    auto movie = MVMovie::movieWithFile(moviePath(), &error);
    if (!movie) {
        state.SkipWithError("the movie could not be read");
        return;
    }
    HXUndoManager undo;
    undo.setGroupsByEvent(false);
    movie->setEditable(true);
    movie->setUndoManager(&undo);
    const int32_t scale = movie->timeScale();
    const int64_t duration = movie->durationValue();
    std::mt19937 random(11);
    std::uniform_int_distribution<int64_t> place(0, duration - 10 * int64_t(scale));
    std::uniform_int_distribution<int64_t> length(int64_t(scale) / 10, 5 * int64_t(scale));
    int64_t edits = 0;
    for (auto _ : state) {
        edits = 0;
        for (int step = 0; step < kSteps; ++step) {
            undo.beginUndoGrouping();
            movie->setSelection({ MVMakeTime(place(random), scale), MVMakeTime(length(random), scale) });
            auto segment = movie->cut();
            movie->setSelection({ MVMakeTime(place(random), scale), MVMakeTime(0, scale) });
            edits += segment && movie->paste(segment) && movie->durationValue() == duration;
            undo.endUndoGrouping();
            undo.undo();
        }
    }
    if (edits != kSteps)
        state.SkipWithError("a cut and paste did not keep the movie's length");
    if (movie->durationValue() != duration)
        state.SkipWithError("the undo did not bring the movie back");
    movie->setUndoManager(nullptr);
    state.counters["steps"] = kSteps;
}
BENCHMARK(BM_EditSteps)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

class BudgetReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs)
            if (!r.error_occurred)
                gSeconds = r.GetAdjustedRealTime() / 1000.0;
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        if (gSeconds > 0)
            std::printf("ratio editing_10000_cut_paste_undo_steps: time ours/1 s budget = %.3f (%.3f s)\n",
                gSeconds, gSeconds);
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    BudgetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
