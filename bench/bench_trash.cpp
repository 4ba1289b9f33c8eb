// bench_trash: what one delete through platform::moveToTrash costs as the trash fills.
//
// Usage: bench_trash [--runs N] [--dir PATH] [--sizes 0,10000,100000,1000000]
//
// For each size a home trash holding that many entries (empty files in files/, each with
// its info in info/) is made once under PATH (default $TMPDIR/dirquill-bench/trash) and
// kept for later runs. Then N files (20 by default) are trashed into each, one at a time
// and the sizes in turn, XDG_DATA_HOME pointing there, each timed alone, and the median
// and the range printed,
// together with the median of the clearing that the file helper runs after each trash,
// off the user's wait. The trashed files are taken out again, so the size stays.

#include "platform/FileSystem.h"
#include "platform/trash/TrashJournal.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void makeFile(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        if (!content.isEmpty() && ::write(fd, content.constData(), content.size()) < 0) {
            std::perror("write");
        }
        ::close(fd);
    }
}

// A home trash under `data` holding `size` entries; made once, marked complete.
void fillTrash(const QByteArray& data, long size) {
    const QByteArray complete = data + "/complete";
    if (::access(complete.constData(), F_OK) == 0) {
        return;
    }
    std::printf("filling a trash with %ld entries (once)...\n", size);
    std::fflush(stdout);
    for (const char* folder : {"", "/Trash", "/Trash/files", "/Trash/info"}) {
        ::mkdir((data + folder).constData(), 0700);
    }
    for (long i = 0; i < size; ++i) {
        const QByteArray name = "old-" + QByteArray::number(static_cast<qlonglong>(i));
        makeFile(data + "/Trash/files/" + name, {});
        makeFile(data + "/Trash/info/" + name + ".trashinfo",
                 "[Trash Info]\nPath=/home/user/" + name + "\nDeletionDate=2026-01-01T00:00:00\n");
    }
    ::sync();
    makeFile(complete, {});
}

struct Figures {
    std::vector<double> trashMs;
    std::vector<double> clearMs;
};

// One delete into the trash under `data` and the clearing after it, timed.
void measureDelete(const QByteArray& data, const QByteArray& work, int run, Figures& figures) {
    ::setenv("XDG_DATA_HOME", data.constData(), 1);
    const QByteArray name = "delete-" + QByteArray::number(run);
    makeFile(work + '/' + name, "x");
    const Clock::time_point start = Clock::now();
    const bool done = bool(platform::moveToTrash(QString::fromUtf8(work + '/' + name)));
    figures.trashMs.push_back(msSince(start));
    const int trash = ::open((data + "/Trash").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const Clock::time_point clearStart = Clock::now();
    platform::trash::clearLeftovers(trash);
    figures.clearMs.push_back(msSince(clearStart));
    ::close(trash);
    if (!done) {
        std::fprintf(stderr, "bench_trash: the trash of %s failed\n", name.constData());
    }
    ::unlink((data + "/Trash/files/" + name).constData());
    ::unlink((data + "/Trash/info/" + name + ".trashinfo").constData());
}

} // namespace

int main(int argc, char* argv[]) {
    int runs = 20;
    const char* tmp = std::getenv("TMPDIR");
    QByteArray base = QByteArray(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/dirquill-bench";
    QList<long> sizes = {0, 10000, 100000, 1000000};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--dir" && i + 1 < argc) {
            base = argv[++i];
        } else if (arg == "--sizes" && i + 1 < argc) {
            sizes.clear();
            for (const QByteArray& size : QByteArray(argv[++i]).split(',')) {
                sizes.append(size.toLong());
            }
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--dir PATH] [--sizes N,N...]\n", argv[0]);
            return 2;
        }
    }
    const QByteArray root = base + "/trash";
    const QByteArray work = root + "/work";
    for (const QByteArray& folder : {base, root, work}) {
        ::mkdir(folder.constData(), 0700);
    }
    QList<QByteArray> trashes;
    for (const long size : sizes) {
        trashes.append(root + "/size-" + QByteArray::number(static_cast<qlonglong>(size)));
        fillTrash(trashes.last(), size);
    }
    // The sizes take turns, one delete each, so that a load that comes and goes on a
    // shared machine falls on all of them alike.
    QList<Figures> figures(sizes.size());
    for (int run = 0; run < runs; ++run) {
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            measureDelete(trashes[i], work, run, figures[i]);
        }
    }
    std::printf("%-12s %12s %20s %14s\n", "entries", "median ms", "range ms", "clearing ms");
    const double emptyMs = sizes.value(0) == 0 ? median(figures[0].trashMs) : 0;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const std::vector<double>& ms = figures[i].trashMs;
        std::printf("%-12ld %12.2f %9.2f - %8.2f %14.3f", sizes[i], median(ms),
                    *std::min_element(ms.begin(), ms.end()),
                    *std::max_element(ms.begin(), ms.end()), median(figures[i].clearMs));
        if (sizes[i] != 0 && emptyMs > 0) {
            std::printf("   %.2fx of empty", median(ms) / emptyMs);
        }
        std::printf("\n");
    }
    return 0;
}
