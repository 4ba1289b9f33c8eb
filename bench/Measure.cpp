#include "Measure.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

std::string procPath(pid_t pid, const std::string& file) {
    return (pid == 0 ? std::string("/proc/self") : "/proc/" + std::to_string(pid)) + "/" + file;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double rusageMs(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

long residentKb(pid_t pid, const char* field) {
    std::ifstream status(procPath(pid, "status"));
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
        }
    }
    return 0;
}

void resetPeak(pid_t pid) {
    std::ofstream clear(procPath(pid, "clear_refs"));
    clear << "5";
}

double processCpuMs(pid_t pid) {
    if (pid == 0) {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return rusageMs(usage);
    }
    // The scheduler's own count of time on a processor, in nanoseconds, for each thread.
    double ns = 0;
    const std::string tasks = procPath(pid, "task");
    if (DIR* dir = ::opendir(tasks.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
            double running = 0;
            if (schedstat >> running) {
                ns += running;
            }
        }
        ::closedir(dir);
    }
    return ns / 1e6;
}

Sample measure(const std::function<void()>& step) {
    resetPeak(0);
    const long before = residentKb(0, "VmRSS");
    if (residentKb(0, "VmHWM") > before + 1024) {
        std::fputs("warning: the peak resident size could not be reset; peak figures include "
                   "the set-up\n",
                   stderr);
    }
    const double cpuBefore = processCpuMs(0);
    const auto start = Clock::now();
    step();
    Sample sample;
    sample.ms = msSince(start);
    sample.cpuMs = processCpuMs(0) - cpuBefore;
    sample.peakKb = std::max(0L, residentKb(0, "VmHWM") - before);
    return sample;
}

void forkChild(const std::function<std::pair<const void*, std::size_t>()>& body, void* into,
               std::size_t size) {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        // Heap pages the parent freed are still resident and shared with it: reused, they
        // would not show as growth.
        ::malloc_trim(0);
        const auto [bytes, length] = body();
        if (::write(fds[1], bytes, length) != static_cast<ssize_t>(length)) {
            ::_exit(2);
        }
        // Tearing down a million rows is not part of any measurement.
        ::_exit(0);
    }
    ::close(fds[1]);
    std::vector<char> got(size);
    if (::read(fds[0], got.data(), size) == static_cast<ssize_t>(size)) {
        std::memcpy(into, got.data(), size);
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

Sample runProgram(const std::vector<std::string>& command) {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    std::vector<char*> args;
    for (const std::string& arg : command) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> environment;
    static char cLocale[] = "LC_ALL=C";
    environment.push_back(cLocale);
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "LC_ALL=", 7) != 0) {
            environment.push_back(*variable);
        }
    }
    environment.push_back(nullptr);
    std::fflush(nullptr);
    const auto start = Clock::now();
    // vfork: the program's peak is its own, not that of a copy of this process.
    const pid_t pid = ::vfork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execvpe(args[0], args.data(), environment.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    static char buffer[1 << 16];
    while (::read(fds[0], buffer, sizeof buffer) > 0) {
    }
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Sample sample;
    sample.ms = msSince(start);
    sample.cpuMs = rusageMs(usage);
    sample.peakKb = usage.ru_maxrss;
    return sample;
}

bool dropCaches() {
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool dropped = ::write(fd, "3\n", 2) == 2;
    ::close(fd);
    return dropped;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace bench
