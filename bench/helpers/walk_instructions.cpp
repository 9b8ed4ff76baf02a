// One element walk of the generated window, run through handleAutomationExecute with its
// answer encoded, for instruction counts under callgrind, which are the same whatever else
// the machine runs. The walk is run once before it is measured, so one-time set-up is left
// out; the measured runs are the calls of measuredWalks, which callgrind is told to collect
// (bench/walk_instructions.py). Run natively with a count, it prints the least process CPU
// time of one run, to turn instructions into time on this machine.
//
//   walk_instructions tree|search|matches|lookup [runs]
#include "GeneratedWindow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string_view>
#include <vector>

namespace {

using dorvex::Json;
using namespace dorvex::bench::walks;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Walk {
    std::vector<Json> requests;
    size_t nodes = 0; // elements one run reads, as uitree_bench counts them
};

std::optional<Walk> walkNamed(std::string_view name) {
    if (name == "tree") return Walk{{treeRequest()}, treeNodes};
    if (name == "search") return Walk{{wholeWindowSearch()}, treeNodes};
    if (name == "matches") return Walk{{hundredMatchesSearch()}, 100};
    if (name == "lookup") return Walk{leafInvokes(), lookupPathElements};
    return std::nullopt;
}

void runOnce(dorvex::bench::BenchDriver& bench, const Walk& walk) {
    for (const Json& params : walk.requests) {
        // The reply serializes the answer line and hands it to the transport.
        dorvex::Reply reply = bench.driver().shared.replyTo("1");
        dorvex::handleAutomationExecute(bench.driver(), params, reply);
    }
}

// What callgrind collects; kept out of line so its name is there to be found. Gives the least
// CPU time of one run.
[[gnu::noinline]] double measuredWalks(dorvex::bench::BenchDriver& bench, const Walk& walk,
                                       int runs) {
    double least = 1e9;
    for (int i = 0; i < runs; ++i) {
        const double start = processCpuSeconds();
        runOnce(bench, walk);
        least = std::min(least, processCpuSeconds() - start);
    }
    return least;
}

} // namespace

int main(int argc, char** argv) {
    std::optional<Walk> walk = argc > 1 ? walkNamed(argv[1]) : std::nullopt;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
    if (!walk || runs < 1) {
        std::fprintf(stderr, "usage: walk_instructions tree|search|matches|lookup [runs]\n");
        return 2;
    }
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = generatedDesktop(0);
    dorvex::platform::sim::SimDesktop desktop(std::move(options));
    dorvex::bench::BenchDriver bench(desktop);
    runOnce(bench, *walk);
    const Json answer = Json::parse(bench.transport().last(), nullptr, false);
    if (answer.is_discarded() || answer["result"]["ok"] != true) {
        std::fprintf(stderr, "the walk failed\n");
        return 1;
    }
    const double least = measuredWalks(bench, *walk, runs);
    std::printf("nodes %zu\nanswer_bytes %zu\nleast_cpu_seconds %.9f\n", walk->nodes,
                bench.transport().last().size(), least);
    return 0;
}
