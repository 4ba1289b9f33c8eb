// bench_waits: how fast the user gets the program back from a folder that never answers.
// Each run mounts the tests' FUSE file system (slowfs) afresh, with a folder "stuck" that
// never opens, and starts wait_probe on it, which clicks the folder twice: it gives up the
// first wait with Escape and the second with the window manager's close. Two figures,
// median and worst of the runs:
//
// - Escape: from the key's press until the click's handler has returned (wait_probe's
//   own measurement);
// - close: from queuing the close event until the process has exited (waitpid here),
//   with the helper still stuck in the FUSE request.
//
// Usage: bench_waits [--runs N] [--dir PATH]. Needs root and /dev/fuse.

#include "RunOptions.h"
#include "Spawn.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

using bench::runToEnd;

bool mounted(const std::string& path) {
    std::ifstream table("/proc/self/mountinfo");
    const std::string text((std::istreambuf_iterator<char>(table)), {});
    return text.find(' ' + path + ' ') != std::string::npos;
}

struct Mount {
    pid_t daemon = -1;
    std::string path;

    Mount(const std::string& backing, const std::string& point) : path(point) {
        daemon = bench::startIn({DIRQUILL_SLOWFS, backing, point}, "/", STDERR_FILENO);
        for (int i = 0; i < 500 && !mounted(point); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Mount() {
        // Killing the daemon fails every call still waiting on it, which ends the helpers
        // left stuck there.
        ::kill(daemon, SIGKILL);
        ::waitpid(daemon, nullptr, 0);
        runToEnd({"/bin/umount", "-l", path}, "/");
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
};

struct Figures {
    double escapeMs = -1;
    double closeMs = -1;
};

// One run of wait_probe; a figure that was not reached stays negative.
Figures runProbe(const std::string& folder, const std::string& mount) {
    Figures figures;
    int fds[2];
    if (::pipe(fds) != 0) {
        return figures;
    }
    const pid_t pid = bench::startIn({DIRQUILL_WAIT_PROBE, mount}, folder, fds[1]);
    ::close(fds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto exited =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return figures;
    }
    std::istringstream lines(output);
    for (std::string word; lines >> word;) {
        if (word == "escape") {
            lines >> figures.escapeMs;
        } else if (word == "closing") {
            long long closing = 0;
            lines >> closing;
            figures.closeMs = static_cast<double>(exited.count() - closing) / 1e6;
        }
    }
    return figures;
}

void report(const char* what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::printf("%s (%zu runs): median %.1f ms, worst %.1f ms\n", what, values.size(),
                values[values.size() / 2], values.back());
}

} // namespace

int main(int argc, char* argv[]) {
    bench::RunOptions options{20};
    if (!bench::readRunOptions(argc, argv, options)) {
        return 2;
    }
    const int runs = options.runs;
    const std::string base = options.base;
    const std::string folder = base + "/waits";
    const std::string backing = folder + "/backing";
    const std::string point = folder + "/mnt";
    for (const std::string& dir : {base, folder, backing, backing + "/stuck", point}) {
        ::mkdir(dir.c_str(), 0755);
    }
    const std::string database = folder + "/config.mdb";
    ::unlink(database.c_str());
    if (runToEnd({DIRQUILL_DB_TOOL, "create", database}, folder) != 0 ||
        runToEnd({DIRQUILL_DB_TOOL, "add", database, point}, folder) != 0) {
        std::fprintf(stderr, "could not make %s\n", database.c_str());
        return 1;
    }

    std::vector<double> escapeMs;
    std::vector<double> closeMs;
    for (int i = 0; i < runs; ++i) {
        const Mount mount(backing, point);
        if (!mounted(point)) {
            std::fprintf(stderr, "could not mount %s (root and /dev/fuse are needed)\n",
                         point.c_str());
            return 1;
        }
        const Figures figures = runProbe(folder, point);
        if (figures.escapeMs < 0 || figures.closeMs < 0) {
            std::fprintf(stderr, "run %d: the probe did not finish its journey\n", i + 1);
            return 1;
        }
        escapeMs.push_back(figures.escapeMs);
        closeMs.push_back(figures.closeMs);
    }
    report("Escape to the end of the wait", escapeMs);
    report("close box to the process's exit", closeMs);
    return 0;
}
