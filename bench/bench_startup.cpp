// bench_startup: the wall time from starting a process until its first window has
// painted, for the program's start-up (startup_probe), for the floor that paints the
// same two windows with the same text from plain widgets (same_text_floor), for a bare
// Qt dialog (bare_dialog) and for the same dialog with one line of Chinese text
// (bare_dialog --label), taking turns, median of several runs each. The floor's rows are
// the ones the program showed in column 0 on a run before. The program runs twice in
// each turn: with the system bus as it is (udisksd answering, where it runs) and with no
// system bus at all (DBUS_SYSTEM_BUS_ADDRESS pointing at nothing).
//
// Usage: bench_startup [--runs N] [--dir PATH]
//
// The program starts in a folder holding a ready config.mdb with 100 work directories,
// made once with dirquill-db. Each process writes "painted" when its window is on
// screen; the time runs from just before fork until that line arrives.

#include "RunOptions.h"
#include "Spawn.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from fork until the program reports its painted window; -1 on failure.
// Where the program finds no system bus.
constexpr const char* kNoBus = "unix:path=/nonexistent/system_bus_socket";

double timeToPaint(const std::string& program, const std::string& folder,
                   const char* option = nullptr, const char* systemBus = nullptr,
                   std::string* output = nullptr) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[1]);
        if (::chdir(folder.c_str()) != 0 ||
            (systemBus != nullptr && ::setenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus, 1) != 0)) {
            ::_exit(127);
        }
        ::execl(program.c_str(), program.c_str(), option, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string seen;
    char buffer[64];
    double ms = -1;
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        seen.append(buffer, static_cast<std::size_t>(n));
        if (seen.find("painted\n") != std::string::npos) {
            ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
    }
    ::close(fds[0]);
    if (output != nullptr) {
        *output = seen;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return ms;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    bench::RunOptions options{11};
    if (!bench::readRunOptions(argc, argv, options)) {
        return 2;
    }
    const int runs = options.runs;
    const std::string base = options.base;
    ::mkdir(base.c_str(), 0755);
    const std::string folder = base + "/startup";
    ::mkdir(folder.c_str(), 0755);
    const std::string database = folder + "/config.mdb";
    struct stat info {};
    if (::stat(database.c_str(), &info) != 0) {
        const std::string tool = DIRQUILL_DB_TOOL;
        std::vector<std::string> add{tool, "add", database};
        for (int i = 0; i < 100; ++i) {
            add.push_back(base + "/work/项目-" + std::to_string(i));
        }
        const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const bool made = bench::runToEnd({tool, "create", database}, folder, quiet) == 0 &&
                          bench::runToEnd(add, folder, quiet) == 0;
        ::close(quiet);
        if (!made) {
            std::fprintf(stderr, "could not make %s\n", database.c_str());
            ::unlink(database.c_str());
            return 1;
        }
    }

    const std::string probe = DIRQUILL_PROBE;
    const std::string bare = DIRQUILL_BARE;
    const std::string floor = DIRQUILL_FLOOR;
    // The rows the program shows in column 0, for the floor to show.
    std::string shown;
    if (timeToPaint(probe, folder, "--rows", nullptr, &shown) < 0) {
        std::fprintf(stderr, "the program did not report its painted window\n");
        return 1;
    }
    const std::string rowsFile = folder + "/rows.txt";
    {
        std::string rows;
        for (std::size_t at = 0; (at = shown.find("row:", at)) != std::string::npos;) {
            const std::size_t end = shown.find('\n', at);
            rows += shown.substr(at + 4, end - at - 4) + "\n";
            at = end;
        }
        FILE* file = std::fopen(rowsFile.c_str(), "w");
        if (file == nullptr || std::fputs(rows.c_str(), file) < 0 || std::fclose(file) != 0) {
            std::fprintf(stderr, "could not write %s\n", rowsFile.c_str());
            return 1;
        }
    }
    // One run of each first, so that all start from warm caches.
    if (timeToPaint(probe, folder) < 0 || timeToPaint(bare, folder) < 0 ||
        timeToPaint(bare, folder, "--label") < 0 ||
        timeToPaint(floor, folder, rowsFile.c_str()) < 0) {
        std::fprintf(stderr, "a program did not report its painted window\n");
        return 1;
    }
    std::vector<double> probeMs;
    std::vector<double> noBusMs;
    std::vector<double> bareMs;
    std::vector<double> labelMs;
    std::vector<double> floorMs;
    for (int i = 0; i < runs; ++i) {
        bareMs.push_back(timeToPaint(bare, folder));
        probeMs.push_back(timeToPaint(probe, folder));
        noBusMs.push_back(timeToPaint(probe, folder, nullptr, kNoBus));
        labelMs.push_back(timeToPaint(bare, folder, "--label"));
        floorMs.push_back(timeToPaint(floor, folder, rowsFile.c_str()));
    }
    const double p = median(probeMs);
    const double b = median(bareMs);
    const double l = median(labelMs);
    const double f = median(floorMs);
    std::printf("startup (median of %d): dirquill %.1f ms, same text floor %.1f ms, ratio %.2f\n",
                runs, p, f, p / f);
    std::printf("startup (median of %d): dirquill %.1f ms, bare dialog %.1f ms, ratio %.2f\n", runs,
                p, b, p / b);
    std::printf("startup (median of %d): dirquill %.1f ms, bare dialog with text %.1f ms, "
                "ratio %.2f\n",
                runs, p, l, p / l);
    std::printf("startup (median of %d): dirquill with the system bus as it is (%s) %.1f ms, "
                "with no system bus %.1f ms\n",
                runs, ::access("/run/dbus/system_bus_socket", F_OK) == 0 ? "bus running" : "no bus",
                p, median(noBusMs));
    return 0;
}
