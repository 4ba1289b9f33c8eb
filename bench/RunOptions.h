#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

// What the benchmarks that take only a count of runs and a folder read from their command
// line, and where their folders go when none is named.
namespace bench {

inline std::string defaultBenchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/dirquill-bench";
}

struct RunOptions {
    int runs;
    std::string base = defaultBenchFolder();
};

// Reads "--runs N" and "--dir PATH", and sets the offscreen platform unless one is
// chosen; prints the usage and returns false on anything else.
inline bool readRunOptions(int argc, char* argv[], RunOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            options.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--dir" && i + 1 < argc) {
            options.base = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--dir PATH]\n", argv[0]);
            return false;
        }
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    return true;
}

} // namespace bench
