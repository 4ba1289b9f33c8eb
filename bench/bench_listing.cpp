// bench_listing: how long listing a big folder into a column takes, and how much memory
// it needs, next to the plain readdir floors (unsorted, and sorted by bytes), to
// `LC_ALL=C ls -1` and to the stock Qt ways of showing a folder.
//
// Usage: bench_listing [--million] [--all] [--runs N] [--dir PATH] [--only FOLDER]
//
// FOLDER is one of 10000, 100000, 1000000, cjk-10000: only that folder is measured.
//
// Every measurement runs in a child process of its own, forked from a parent that never
// starts Qt, so that neither the heap nor the caches of one run help the next. Inside the
// child the set-up (QApplication, the main window) happens first; then the peak resident
// size is reset, the measured step runs, and the growth of the peak is reported.

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
#include <QDialog>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTableWidget>
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
#include <functional>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double ms = 0;
    long peakKb = 0;
    // The longest time the window's thread went without handling its events, where
    // measured, and the peak resident size of the file helper that did the listing.
    double gapMs = -1;
    long helperPeakKb = -1;
};

// ---- Memory ---------------------------------------------------------------------------

long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
        }
    }
    return 0;
}

// Sets the peak resident size back to the current one (Linux 4.0 and later).
void resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// Runs `step` and returns its time and how far it raised the peak resident size above
// the size the process had before it.
Sample measure(const std::function<void()>& step) {
    resetPeak();
    const long before = statusKb("VmRSS");
    if (statusKb("VmHWM") > before + 1024) {
        std::fputs("warning: the peak resident size could not be reset; peak figures include "
                   "the set-up\n",
                   stderr);
    }
    const auto start = Clock::now();
    step();
    const auto stop = Clock::now();
    Sample sample;
    sample.ms = std::chrono::duration<double, std::milli>(stop - start).count();
    sample.peakKb = std::max(0L, statusKb("VmHWM") - before);
    return sample;
}

// Runs `body` in a forked child and returns the sample it reports.
Sample inChild(const std::function<Sample()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const Sample sample = body();
        if (::write(fds[1], &sample, sizeof sample) != static_cast<ssize_t>(sizeof sample)) {
            ::_exit(2);
        }
        // Tearing down a million rows is not part of any measurement.
        ::_exit(0);
    }
    ::close(fds[1]);
    Sample sample{-1, -1};
    if (::read(fds[0], &sample, sizeof sample) != static_cast<ssize_t>(sizeof sample)) {
        sample = {-1, -1};
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return sample;
}

// ---- The folders ----------------------------------------------------------------------

struct Folder {
    std::string label;
    std::string path;
    long count;
    bool cjk;
};

std::string cjkName(long i) {
    // About sixty CJK characters: a fixed run of 56 followed by four that number it.
    static const char32_t kRun[] = U"澄枫文件助手列表目录名称测试数据长文件名示例中文字符编码排列"
                                   U"显示速度内存占用比较基准结果每一行都很长的名字用来检验解码";
    std::u32string text(kRun, kRun + 56);
    long n = i;
    for (int d = 0; d < 4; ++d) {
        text.push_back(static_cast<char32_t>(0x4E00 + n % 100));
        n /= 100;
    }
    std::string out;
    for (const char32_t c : text) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return out;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Creates the folder once; a marker next to it records that it is complete.
void ensureFolder(const Folder& folder) {
    const std::string marker = folder.path + ".complete";
    if (exists(marker)) {
        return;
    }
    std::fprintf(stderr, "creating %s (%ld files)...\n", folder.path.c_str(), folder.count);
    ::mkdir(folder.path.c_str(), 0755);
    const int dir = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir < 0) {
        std::perror(folder.path.c_str());
        std::exit(1);
    }
    char plain[32];
    for (long i = 0; i < folder.count; ++i) {
        std::string name;
        if (folder.cjk) {
            name = cjkName(i);
        } else {
            std::snprintf(plain, sizeof plain, "file-%07ld.txt", i);
            name = plain;
        }
        const int fd = ::openat(dir, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(name.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
    ::close(dir);
    std::ofstream(marker) << folder.count << '\n';
}

// An empty workspace database, so that the main window fills column 0 as it does at home.
std::string ensureDatabase(const std::string& base) {
    const std::string path = base + "/workspace.mdb";
    if (!exists(path)) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE workspace (id INTEGER PRIMARY KEY, workspace TEXT)", nullptr,
                     nullptr, nullptr);
        sqlite3_close(db);
    }
    return path;
}

// ---- The measurements -----------------------------------------------------------------

int gArgc = 1;
char gArg0[] = "bench_listing";
char* gArgv[] = {gArg0, nullptr};

// (1) The floors: the names as a vector of strings, straight from readdir, and the same
// sorted by their bytes.
Sample floorListing(const Folder& folder, bool sorted) {
    return inChild([&] {
        std::vector<std::string> names;
        const Sample sample = measure([&] {
            DIR* dir = ::opendir(folder.path.c_str());
            while (const dirent* entry = ::readdir(dir)) {
                const char* n = entry->d_name;
                if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) {
                    continue;
                }
                names.emplace_back(n);
            }
            ::closedir(dir);
            if (sorted) {
                std::sort(names.begin(), names.end());
            }
        });
        if (static_cast<long>(names.size()) != folder.count) {
            std::fprintf(stderr, "floor: %zu names\n", names.size());
        }
        return sample;
    });
}

// (2) The program's listing into its name buffer, and the same put in the columns' order.
Sample nameListListing(const Folder& folder, bool sorted) {
    return inChild([&] {
        names::NameList names;
        const QString path = names::decodeName(folder.path);
        return measure([&] {
            platform::listFolder(path, names);
            if (sorted) {
                names::sortNames(names);
            }
        });
    });
}

// `LC_ALL=C ls -1 FOLDER` as a child writing into a pipe that is read and dropped; the
// time from fork to its exit, and its own peak resident size.
Sample lsListing(const Folder& folder) {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::setenv("LC_ALL", "C", 1);
        ::execlp("ls", "ls", "-1", folder.path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    char buffer[65536];
    while (::read(fds[0], buffer, sizeof buffer) > 0) {
    }
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Sample sample;
    sample.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    sample.peakKb = usage.ru_maxrss;
    return sample;
}

// A main window whose only drive row, selected, is the folder; the file helper is ready.
struct Window {
    QApplication app{gArgc, gArgv};
    CDirquillDlg dlg;
    Window(const Folder& folder, const std::string& database) {
        theApp.m_pConnection = std::make_shared<CConnection>();
        theApp.m_pConnection->Open(
            QStringLiteral("Data Source=%1;").arg(QString::fromStdString(database)));
        const QString drive = names::decodeName(folder.path) + QLatin1Char('/');
        platform::setDriveRootSource([drive] { return QStringList{drive}; });
        dlg.Create();
        dlg.Column(0).SelectRow(1);
        QApplication::processEvents();
        QApplication::processEvents();
    }
    void check(const Folder& folder, const char* what) const {
        if (dlg.Column(1).GetItemCount() != folder.count) {
            std::fprintf(stderr, "%s: %d rows\n", what, dlg.Column(1).GetItemCount());
        }
    }
};

// Waits until the file helper started with the window sits reading its first request,
// as it long does by the time a user first clicks.
void waitForHelper() {
    const std::string syscall = "/proc/" + std::to_string(platform::readyHelperPid()) + "/syscall";
    for (int i = 0; i < 200; ++i) {
        std::ifstream file(syscall);
        std::string number;
        if (file >> number && number == "0") {
            return;
        }
        ::usleep(5000);
    }
    std::fputs("warning: the file helper did not become ready\n", stderr);
}

long helperPeakKb(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// (3a) Column 1 filled in the window's own process, as before the file helper: the
// listing and its order, then the rows, until they are painted.
Sample inProcessFill(const Folder& folder, const std::string& database) {
    return inChild([&] {
        Window window(folder, database);
        const QString path = names::decodeName(folder.path);
        const Sample sample = measure([&] {
            names::NameList names;
            platform::listFolder(path, names);
            names::sortNames(names);
            names.trimSlack();
            window.dlg.Column(1).SetItems(std::move(names));
            window.dlg.Column(1).viewport()->repaint();
        });
        window.check(folder, "in-process");
        return sample;
    });
}

// (3b) FillLevelColumn(1) through the file helper, until the rows are painted, with the
// longest gap between two turns of the window's event loop (a 2 ms timer).
Sample columnFill(const Folder& folder, const std::string& database) {
    return inChild([&] {
        Window window(folder, database);
        waitForHelper();
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
        Sample sample = measure([&] {
            last = Clock::now();
            window.dlg.FillLevelColumn(1);
            window.dlg.Column(1).viewport()->repaint();
            tick();
        });
        sample.gapMs = longest;
        sample.helperPeakKb = helperPeakKb(platform::readyHelperPid());
        window.check(folder, "column");
        return sample;
    });
}

// (4a) QFileSystemModel, from setting the root path until the folder is loaded.
Sample fileSystemModel(const Folder& folder) {
    return inChild([&] {
        QApplication app(gArgc, gArgv);
        QFileSystemModel model;
        QEventLoop loop;
        QObject::connect(&model, &QFileSystemModel::directoryLoaded, &loop, &QEventLoop::quit);
        return measure([&] {
            model.setRootPath(QString::fromStdString(folder.path));
            loop.exec();
        });
    });
}

// (4b) A QTableWidget filled one row at a time, then painted.
Sample tableWidget(const Folder& folder) {
    return inChild([&] {
        QApplication app(gArgc, gArgv);
        QTableWidget table(0, 1);
        table.verticalHeader()->hide();
        table.resize(300, 600);
        table.show();
        QApplication::processEvents();
        return measure([&] {
            DIR* dir = ::opendir(folder.path.c_str());
            while (const dirent* entry = ::readdir(dir)) {
                const char* n = entry->d_name;
                if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) {
                    continue;
                }
                const int row = table.rowCount();
                table.insertRow(row);
                table.setItem(row, 0, new QTableWidgetItem(QString::fromUtf8(n)));
            }
            ::closedir(dir);
            table.viewport()->repaint();
        });
    });
}

Sample median(std::vector<Sample> samples) {
    Sample m;
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.ms < b.ms; });
    m.ms = samples[samples.size() / 2].ms;
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.peakKb < b.peakKb; });
    m.peakKb = samples[samples.size() / 2].peakKb;
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.gapMs < b.gapMs; });
    m.gapMs = samples.back().gapMs;
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.helperPeakKb < b.helperPeakKb; });
    m.helperPeakKb = samples[samples.size() / 2].helperPeakKb;
    return m;
}

Sample repeat(int runs, const std::function<Sample()>& one) {
    std::vector<Sample> samples;
    for (int i = 0; i < runs; ++i) {
        samples.push_back(one());
    }
    return median(samples);
}

double mb(long kb) {
    return static_cast<double>(kb) / 1024.0;
}

} // namespace

int main(int argc, char* argv[]) {
    bool million = false;
    bool all = false;
    int runs = 5;
    std::string only;
    const char* tmp = std::getenv("TMPDIR");
    std::string base =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/dirquill-bench";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--million") {
            million = true;
        } else if (arg == "--all") {
            all = true;
            million = true;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--dir" && i + 1 < argc) {
            base = argv[++i];
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--million] [--all] [--runs N] [--dir PATH] [--only FOLDER]\n",
                         argv[0]);
            return 2;
        }
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ::mkdir(base.c_str(), 0755);

    std::vector<Folder> folders{
        {"10000", base + "/files-10000", 10000, false},
        {"100000", base + "/files-100000", 100000, false},
    };
    if (million) {
        folders.push_back({"1000000", base + "/files-1000000", 1000000, false});
    }
    folders.push_back({"cjk-10000", base + "/cjk-10000", 10000, true});
    if (!only.empty()) {
        std::erase_if(folders, [&](const Folder& f) { return f.label != only; });
    }
    for (const Folder& folder : folders) {
        ensureFolder(folder);
    }
    const std::string database = ensureDatabase(base);

    std::printf("median of %d runs, each in a process of its own; peak = growth of the peak "
                "resident size (for ls, its whole peak); x floor = against the sorted floor\n",
                runs);
    std::printf("%-10s %-28s %10s %8s %10s %8s\n", "folder", "method", "ms", "x floor", "peak MB",
                "x floor");
    for (const Folder& folder : folders) {
        const Sample unsorted = repeat(runs, [&] { return floorListing(folder, false); });
        const Sample floor = repeat(runs, [&] { return floorListing(folder, true); });
        auto row = [&](const char* method, const Sample& s, bool memory) {
            std::printf("%-10s %-28s %10.1f %8.2f", folder.label.c_str(), method, s.ms,
                        s.ms / floor.ms);
            if (memory) {
                std::printf(" %10.1f %8.2f", mb(s.peakKb),
                            static_cast<double>(s.peakKb) / static_cast<double>(floor.peakKb));
            }
            std::printf("\n");
            std::fflush(stdout);
        };
        row("readdir -> vector<string>", unsorted, true);
        row("readdir -> vector -> sort", floor, true);
        row("LC_ALL=C ls -1", repeat(runs, [&] { return lsListing(folder); }), true);
        row("listFolder -> NameList", repeat(runs, [&] { return nameListListing(folder, false); }),
            true);
        row("listFolder -> sortNames", repeat(runs, [&] { return nameListListing(folder, true); }),
            true);
        const Sample inProcess = repeat(runs, [&] { return inProcessFill(folder, database); });
        row("in-process fill + paint", inProcess, true);
        const Sample fill = repeat(runs, [&] { return columnFill(folder, database); });
        row("FillLevelColumn + paint", fill, true);
        const bool huge = folder.count >= 1000000;
        if (!huge || all) {
            row("QFileSystemModel loaded", repeat(runs, [&] { return fileSystemModel(folder); }),
                true);
        }
        row("QTableWidget row by row",
            repeat(huge && !all ? 1 : runs, [&] { return tableWidget(folder); }), true);
        std::printf("summary %s: fill %.1f ms = %.2f x sorted floor (%.2f x unsorted); peak %.1f "
                    "MB = %.2f x sorted floor\n",
                    folder.label.c_str(), fill.ms, fill.ms / floor.ms, fill.ms / unsorted.ms,
                    mb(fill.peakKb),
                    static_cast<double>(fill.peakKb) / static_cast<double>(floor.peakKb));
        std::printf("helper %s: fill %.1f ms = %.3f x in-process %.1f ms; longest event-loop "
                    "gap %.1f ms (worst run); helper peak %.1f MB\n",
                    folder.label.c_str(), fill.ms, fill.ms / inProcess.ms, inProcess.ms, fill.gapMs,
                    mb(fill.helperPeakKb));
        std::fflush(stdout);
    }
    return 0;
}
