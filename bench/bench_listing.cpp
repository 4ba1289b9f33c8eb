// bench_listing: every figure of docs/PERFORMANCE.md in one run.
//
// Usage: bench_listing [--quick] [--runs N] [--dir PATH] [--only LABEL] [--no-cold]
//                      [--no-startup]
//
// For each folder (bench/ListingFolders.h; --quick leaves out the million-name ones), N
// rounds (default 5), each taking in turn: the reading floor, the column's fill through
// the file helper, `ls -f`, the sorting floor and the references. Ratios are taken within
// a round, so that load from elsewhere falls on both sides alike, and the median of the
// rounds' ratios is shown. Then the first click after start-up against later clicks, a
// click on a cold page cache against `ls -f` on one, and the start-up (bench_startup,
// median of three). Folders are made once under PATH (default $TMPDIR/dirquill-bench).
//
// Every measurement runs in a child process of its own, forked from a parent that never
// starts Qt. Inside the child the set-up (QApplication, the main window, the ready file
// helper) comes first; then the peak resident sizes are reset, the measured step runs,
// and the growth of the peaks is reported with the CPU time spent.

#include "ListingFolders.h"
#include "Measure.h"
#include "RunOptions.h"

#include "app/CDirquillApp.h"
#include "browser/CColumnList.h"
#include "names/NameCodec.h"
#include "names/NameList.h"
#include "names/NameOrder.h"
#include "platform/FileSystem.h"
#include "platform/helper/HelperCall.h"
#include "store/CConnection.h"
#include "ui/CDirquillDlg.h"

#include <QApplication>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::Folder;
using bench::Sample;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool isDotOrDotDot(const char* n) {
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

// ---- The floors -----------------------------------------------------------------------

// The reading floor: getdents64 through a 1 MiB buffer, each name copied into one flat
// buffer with its offset beside it, both grown by realloc (which remaps big blocks
// instead of copying them). With `sorted`, the index of offsets is then sorted by the
// names' bytes.
Sample readingFloor(const Folder& folder, bool sorted) {
    return bench::inChild<Sample>([&] {
        std::size_t count = 0;
        char* names = nullptr;
        std::uint32_t* offsets = nullptr;
        const Sample sample = bench::measure([&] {
            constexpr std::size_t kRead = std::size_t{1} << 20;
            char* const chunk = static_cast<char*>(std::malloc(kRead));
            std::size_t used = 0;
            std::size_t room = 0;
            std::size_t indexRoom = 0;
            const int dir = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            for (;;) {
                const long n = ::syscall(SYS_getdents64, dir, chunk, kRead);
                if (n <= 0) {
                    break;
                }
                for (long at = 0; at < n;) {
                    const auto* entry = reinterpret_cast<const dirent64*>(chunk + at);
                    at += entry->d_reclen;
                    if (isDotOrDotDot(entry->d_name)) {
                        continue;
                    }
                    const std::size_t length = std::strlen(entry->d_name) + 1;
                    if (used + length > room) {
                        room = std::max(room * 2, std::size_t{1} << 16);
                        names = static_cast<char*>(std::realloc(names, room));
                    }
                    if (count == indexRoom) {
                        indexRoom = std::max(indexRoom * 2, std::size_t{1} << 14);
                        offsets = static_cast<std::uint32_t*>(
                            std::realloc(offsets, indexRoom * sizeof(std::uint32_t)));
                    }
                    std::memcpy(names + used, entry->d_name, length);
                    offsets[count++] = static_cast<std::uint32_t>(used);
                    used += length;
                }
            }
            ::close(dir);
            std::free(chunk);
            if (sorted) {
                std::sort(offsets, offsets + count, [names](std::uint32_t a, std::uint32_t b) {
                    return std::strcmp(names + a, names + b) < 0;
                });
            }
        });
        // Held until measured, as a column holds its names.
        std::free(names);
        std::free(offsets);
        if (static_cast<long>(count) != folder.count) {
            std::fprintf(stderr, "floor: %zu names\n", count);
        }
        return sample;
    });
}

// Reads the folder once, unmeasured, so that every method of a round finds it in the
// page cache, whatever else the machine read meanwhile.
void warmUp(const Folder& folder) {
    static char chunk[1 << 20];
    const int dir = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (::syscall(SYS_getdents64, dir, chunk, sizeof chunk) > 0) {
    }
    ::close(dir);
}

// The reference of earlier figures: readdir into a vector<string> (one heap block per
// name longer than 15 bytes), sorted with std::sort.
Sample stringsReference(const Folder& folder, bool sorted) {
    return bench::inChild<Sample>([&] {
        std::vector<std::string> names;
        return bench::measure([&] {
            DIR* dir = ::opendir(folder.path.c_str());
            while (const dirent* entry = ::readdir(dir)) {
                if (!isDotOrDotDot(entry->d_name)) {
                    names.emplace_back(entry->d_name);
                }
            }
            ::closedir(dir);
            if (sorted) {
                std::sort(names.begin(), names.end());
            }
        });
    });
}

// listFolder and sortNames in one process, without a window: the parts of a fill.
Sample listAndSort(const Folder& folder) {
    return bench::inChild<Sample>([&] {
        names::NameList names;
        const QString path = names::decodeName(folder.path);
        Clock::time_point start;
        double listed = 0;
        Sample sample = bench::measure([&] {
            start = Clock::now();
            platform::listFolder(path, names);
            listed = msSince(start);
            names::sortNames(names);
        });
        sample.firstPartMs = listed;
        return sample;
    });
}

// ---- The window -----------------------------------------------------------------------

int gArgc = 1;
char gArg0[] = "bench_listing";
char* gArgv[] = {gArg0, nullptr};

// An empty workspace database, so that the main window fills column 0 as it does at home.
std::string ensureDatabase(const std::string& base) {
    const std::string path = base + "/workspace.mdb";
    if (::access(path.c_str(), F_OK) != 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE workspace (id INTEGER PRIMARY KEY, workspace TEXT)", nullptr,
                     nullptr, nullptr);
        sqlite3_close(db);
    }
    return path;
}

// A main window whose only drive row, selected, is the folder.
struct Window {
    QApplication app{gArgc, gArgv};
    CDirquillDlg dlg;
    const Folder& folder;
    Window(const Folder& listed, const std::string& database) : folder(listed) {
        theApp.m_pConnection = std::make_shared<CConnection>();
        theApp.m_pConnection->Open(
            QStringLiteral("Data Source=%1;").arg(QString::fromStdString(database)));
        const QString drive = names::decodeName(folder.path) + QLatin1Char('/');
        platform::setDriveRootSource([drive] { return QStringList{drive}; });
        dlg.Create();
        dlg.Column(0).SelectRow(1);
        QApplication::processEvents();
        QApplication::processEvents();
        waitForHelper();
    }

    // Waits until the file helper sits reading its first request, as it long does by the
    // time a user first clicks.
    static void waitForHelper() {
        for (int i = 0; i < 400; ++i) {
            QApplication::processEvents();
            const int pid = platform::readyHelperPid();
            std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
            std::string number;
            if (pid > 0 && file >> number && number == "0") {
                return;
            }
            ::usleep(5000);
        }
        std::fputs("warning: the file helper did not become ready\n", stderr);
    }

    // FillLevelColumn(1) until the rows are painted, with the CPU time and the growth of
    // the peak memory of the window's process and of the helper, and the longest gap
    // between two turns of the window's event loop (a 2 ms timer).
    Sample click() {
        const pid_t helper = platform::readyHelperPid();
        bench::resetPeak(helper);
        const long helperBefore = bench::residentKb(helper, "VmRSS");
        const double helperCpuBefore = bench::processCpuMs(helper);
        QTimer ticker;
        Clock::time_point last;
        double longest = 0;
        const auto tick = [&] {
            const auto now = Clock::now();
            longest =
                std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        };
        QObject::connect(&ticker, &QTimer::timeout, tick);
        ticker.start(2);
        Sample sample = bench::measure([&] {
            last = Clock::now();
            dlg.FillLevelColumn(1);
            dlg.Column(1).viewport()->repaint();
            tick();
        });
        sample.stallMs = longest;
        sample.otherCpuMs = bench::processCpuMs(helper) - helperCpuBefore;
        sample.otherPeakKb = std::max(0L, bench::residentKb(helper, "VmHWM") - helperBefore);
        if (dlg.Column(1).GetItemCount() != folder.count) {
            std::fprintf(stderr, "column: %d rows\n", dlg.Column(1).GetItemCount());
        }
        return sample;
    }
};

Sample columnFill(const Folder& folder, const std::string& database) {
    return bench::inChild<Sample>([&] { return Window(folder, database).click(); });
}

Sample listWithLs(const Folder& folder) {
    return bench::runProgram({"ls", "-f", folder.path});
}

// ---- Report ---------------------------------------------------------------------------

double mb(double kb) {
    return kb / 1024.0;
}

// The samples of one method over the rounds, and its ratios to the floors of the same
// rounds.
struct Series {
    std::vector<Sample> samples;
    std::vector<double> toFloor, toLs, peakToFloor, cpuToFloor;

    template <typename Field> [[nodiscard]] double med(Field Sample::*field) const {
        std::vector<double> values;
        for (const Sample& s : samples) {
            values.push_back(static_cast<double>(s.*field));
        }
        return bench::median(values);
    }
    [[nodiscard]] double medPeakKb(bool total) const {
        std::vector<double> values;
        for (const Sample& s : samples) {
            values.push_back(static_cast<double>(total ? s.totalPeakKb() : s.peakKb));
        }
        return bench::median(values);
    }
    [[nodiscard]] double medCpu() const {
        std::vector<double> values;
        for (const Sample& s : samples) {
            values.push_back(s.totalCpuMs());
        }
        return bench::median(values);
    }
};

void measureFolder(const Folder& folder, const std::string& database, int runs) {
    std::map<std::string, Series> series;
    const std::vector<std::string> order{"reading floor",
                                         "column fill (helper)",
                                         "ls -f",
                                         "floor + index sort",
                                         "listFolder+sortNames",
                                         "vector<string> (ref)",
                                         "vector<string> sorted (ref)"};
    const bool big = folder.count >= 1000000;
    for (int r = 0; r < runs; ++r) {
        warmUp(folder);
        const Sample floor = readingFloor(folder, false);
        std::map<std::string, Sample> round;
        round["reading floor"] = floor;
        round["column fill (helper)"] = columnFill(folder, database);
        round["ls -f"] = listWithLs(folder);
        round["floor + index sort"] = readingFloor(folder, true);
        round["listFolder+sortNames"] = listAndSort(folder);
        // A million strings take a second or two to sort: references once, at that size.
        if (!big || r == 0) {
            round["vector<string> (ref)"] = stringsReference(folder, false);
            round["vector<string> sorted (ref)"] = stringsReference(folder, true);
        }
        const Sample& ls = round["ls -f"];
        for (const auto& [name, s] : round) {
            Series& line = series[name];
            line.samples.push_back(s);
            line.toFloor.push_back(s.ms / floor.ms);
            line.toLs.push_back(s.ms / ls.ms);
            line.peakToFloor.push_back(static_cast<double>(s.totalPeakKb()) /
                                       static_cast<double>(std::max(1L, floor.peakKb)));
            line.cpuToFloor.push_back(s.totalCpuMs() / floor.cpuMs);
        }
    }
    std::printf("\n%s (%ld names), median of %d rounds; x = within-round ratio to the reading "
                "floor\n",
                folder.label.c_str(), folder.count, runs);
    std::printf("  %-28s %9s %7s %9s %7s %9s %7s %9s\n", "method", "wall ms", "x", "cpu ms", "x",
                "peak MB", "x", "x ls -f");
    for (const std::string& name : order) {
        const Series& line = series[name];
        std::printf("  %-28s %9.1f %7.2f %9.1f %7.2f %9.1f %7.2f %9.2f\n", name.c_str(),
                    line.med(&Sample::ms), bench::median(line.toFloor), line.medCpu(),
                    bench::median(line.cpuToFloor), mb(line.medPeakKb(true)),
                    bench::median(line.peakToFloor), bench::median(line.toLs));
    }
    const Series& fill = series["column fill (helper)"];
    std::vector<double> stalls;
    for (const Sample& s : fill.samples) {
        stalls.push_back(s.stallMs);
    }
    const Series& parts = series["listFolder+sortNames"];
    std::printf("  fill: window cpu %.1f ms + helper cpu %.1f ms; window peak %.1f MB + helper "
                "peak %.1f MB; longest stall %.1f ms (worst round)\n",
                fill.med(&Sample::cpuMs), fill.med(&Sample::otherCpuMs), mb(fill.medPeakKb(false)),
                mb(fill.med(&Sample::otherPeakKb)),
                *std::max_element(stalls.begin(), stalls.end()));
    std::printf("  one process: listFolder %.1f ms, sortNames adds %.1f ms\n",
                parts.med(&Sample::firstPartMs),
                parts.med(&Sample::ms) - parts.med(&Sample::firstPartMs));
    std::printf("summary %s: fill %.2f x reading floor (goal %.2f), %.2f x ls -f; peak %.2f x "
                "floor (goal 1.5); cpu %.2f x floor; stall %.1f ms (goal 50)\n",
                folder.label.c_str(), bench::median(fill.toFloor),
                folder.count >= 1000000 ? 1.25 : 1.5, bench::median(fill.toLs),
                bench::median(fill.peakToFloor), bench::median(fill.cpuToFloor),
                *std::max_element(stalls.begin(), stalls.end()));
    std::fflush(stdout);
}

// The first click of a window against its later clicks, each paired with an `ls -f` run
// just before it.
struct Clicks {
    static constexpr int kLater = 4;
    double first = -1, firstLs = -1, firstCpu = -1;
    double later[kLater]{};
    double laterLs[kLater]{};
    double laterCpu[kLater]{};
};

void measureFirstClick(const Folder& folder, const std::string& database, int windows) {
    std::vector<double> first, firstRatio, firstCpu, later, laterRatio, laterCpu;
    for (int w = 0; w < windows; ++w) {
        const Clicks clicks = bench::inChild<Clicks>([&] {
            Window window(folder, database);
            Clicks c;
            c.firstLs = listWithLs(folder).ms;
            const Sample one = window.click();
            c.first = one.ms;
            c.firstCpu = one.totalCpuMs();
            for (int k = 0; k < Clicks::kLater; ++k) {
                c.laterLs[k] = listWithLs(folder).ms;
                const Sample again = window.click();
                c.later[k] = again.ms;
                c.laterCpu[k] = again.totalCpuMs();
            }
            return c;
        });
        first.push_back(clicks.first);
        firstRatio.push_back(clicks.first / clicks.firstLs);
        firstCpu.push_back(clicks.firstCpu);
        for (int k = 0; k < Clicks::kLater; ++k) {
            later.push_back(clicks.later[k]);
            laterRatio.push_back(clicks.later[k] / clicks.laterLs[k]);
            laterCpu.push_back(clicks.laterCpu[k]);
        }
    }
    std::printf("\nfirst click %s (%d windows, %d later clicks each): first %.1f ms (%.2f x ls -f, "
                "cpu %.1f ms), later %.1f ms (%.2f x ls -f, cpu %.1f ms); first / later %.2f, "
                "cpu %.2f\n",
                folder.label.c_str(), windows, Clicks::kLater, bench::median(first),
                bench::median(firstRatio), bench::median(firstCpu), bench::median(later),
                bench::median(laterRatio), bench::median(laterCpu),
                bench::median(first) / bench::median(later),
                bench::median(firstCpu) / bench::median(laterCpu));
    std::fflush(stdout);
}

void measureCold(const Folder& folder, const std::string& database, int runs) {
    if (!bench::dropCaches()) {
        std::printf("\ncold %s: skipped, the system refused to drop the page cache (needs root "
                    "and a writable /proc/sys/vm/drop_caches)\n",
                    folder.label.c_str());
        return;
    }
    std::vector<double> fill, ls;
    for (int r = 0; r < runs; ++r) {
        fill.push_back(bench::inChild<Sample>([&] {
                           Window window(folder, database);
                           bench::dropCaches();
                           return window.click();
                       }).ms);
        bench::dropCaches();
        ls.push_back(listWithLs(folder).ms);
    }
    std::printf("\ncold %s (%d runs, page cache dropped before each): column fill %.1f ms, ls -f "
                "%.1f ms, ratio %.2f\n",
                folder.label.c_str(), runs, bench::median(fill), bench::median(ls),
                bench::median(fill) / bench::median(ls));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    bool million = true;
    bool cold = true;
    bool startup = true;
    int runs = 5;
    std::string only;
    std::string base = bench::defaultBenchFolder();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            million = false;
        } else if (arg == "--no-cold") {
            cold = false;
        } else if (arg == "--no-startup") {
            startup = false;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--dir" && i + 1 < argc) {
            base = argv[++i];
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--runs N] [--dir PATH] [--only LABEL] [--no-cold] "
                         "[--no-startup]\n",
                         argv[0]);
            return 2;
        }
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ::mkdir(base.c_str(), 0755);
    const auto began = Clock::now();

    std::vector<Folder> folders = bench::listingFolders(base, million);
    if (!only.empty()) {
        std::erase_if(folders, [&](const Folder& f) { return f.label != only; });
    }
    for (const Folder& folder : folders) {
        bench::ensureFolder(folder);
    }
    const std::string database = ensureDatabase(base);
    // Making the folders left freed heap that every measured child would share.
    ::malloc_trim(0);

    std::printf("wall = median time; cpu = user + system of every process doing the work "
                "(window and helper for the fill); peak = growth of the peak resident size "
                "(window + helper for the fill; for ls -f its whole peak)\n");
    for (const Folder& folder : folders) {
        measureFolder(folder, database, runs);
    }
    // The first and the cold click on the biggest camera folder measured.
    const auto camera = std::find_if(folders.rbegin(), folders.rend(), [](const Folder& f) {
        return f.kind == bench::NameKind::Camera;
    });
    if (camera != folders.rend()) {
        measureFirstClick(*camera, database, 3);
        if (cold) {
            measureCold(*camera, database, 1);
        }
    }
    if (startup && only.empty()) {
        std::printf("\n");
        std::fflush(stdout);
        const std::string command =
            std::string(DIRQUILL_BENCH_STARTUP) + " --runs 3 --dir '" + base + "'";
        if (std::system(command.c_str()) != 0) {
            std::printf("startup: bench_startup failed\n");
        }
    }
    std::printf("\nbench_listing took %.0f s\n", msSince(began) / 1000.0);
    return 0;
}
