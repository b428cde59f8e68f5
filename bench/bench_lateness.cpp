// Runs a shell command and meanwhile measures how late a 10 ms sleep on this
// process's main thread wakes: the figure bench_burn gives for the burners,
// taken for a workload that isn't ours (six dd at once). When both are late
// by the same, the delay is the machine's, not the program's.
//
// usage: bench_lateness COMMAND   (prints lateness_ms=N; fails when COMMAND does)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_lateness COMMAND\n");
        return 2;
    }
    std::atomic<bool> done{false};
    int status = 0;
    std::thread runner([&] {
        status = std::system(argv[1]);
        done.store(true);
    });
    using Clock = std::chrono::steady_clock;
    long long worst = 0;
    while (!done.load()) {
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto slept = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        worst = std::max<long long>(worst, slept - 10);
    }
    runner.join();
    std::printf("lateness_ms=%lld\n", worst);
    return status == 0 ? 0 : 1;
}
