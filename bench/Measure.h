#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// How the benchmarks time a step, count its CPU time and the growth of its peak memory,
// each in a process of its own.
namespace bench {

struct Sample {
    double ms = -1;        // wall time
    double cpuMs = -1;     // user + system time of the measuring process, all its threads
    long peakKb = -1;      // growth of its peak resident size over its size before the step
    double otherCpuMs = 0; // the same for a second process (the file helper), where one works
    long otherPeakKb = 0;
    double stallMs = -1; // the longest the window's thread went without handling events
    // Where one step has two parts: the wall time of the first.
    double firstPartMs = -1;

    [[nodiscard]] double totalCpuMs() const { return cpuMs + otherCpuMs; }
    [[nodiscard]] long totalPeakKb() const { return peakKb + otherPeakKb; }
};

// A process's own figures, read through /proc; `pid` 0 is this process.
long residentKb(pid_t pid, const char* field); // "VmRSS" or "VmHWM"
void resetPeak(pid_t pid);                     // VmHWM back to VmRSS (Linux 4.0 and later)
double processCpuMs(pid_t pid);                // user + system, all threads so far

// Runs `body` in a forked child, which writes the bytes it returns into a pipe and ends;
// they are copied to `into` when there are `size` of them.
void forkChild(const std::function<std::pair<const void*, std::size_t>()>& body, void* into,
               std::size_t size);

// Runs `step` in this process and measures it.
Sample measure(const std::function<void()>& step);

// Runs `body` in a forked child and returns what it reports (`Result` is plain bytes);
// the child never returns to the caller, so neither its heap nor its caches help the
// next run. A child that fails reports `Result{}`.
template <typename Result> Result inChild(const std::function<Result()>& body) {
    Result result{};
    forkChild(
        [&] {
            static Result made;
            made = body();
            return std::make_pair(static_cast<const void*>(&made), sizeof made);
        },
        &result, sizeof result);
    return result;
}

// Runs a program with its output read and dropped, as a child of this process: the wall
// time from fork to its end, its CPU time and its peak resident size.
Sample runProgram(const std::vector<std::string>& command);

// Drops the page cache, dentries and inodes; false where the system refuses.
bool dropCaches();

double median(std::vector<double> values);

} // namespace bench
