// fault_injection: whether trash and rename lose or double an entry when the file helper
// is killed while it carries them out.
//
// Usage: fault_injection [--count N] [--plain] [--pace MICROSECONDS] [--seed S]
//
// Through HelperCall it trashes N files and renames N others (1,000 each by default), one
// request at a time, and kills the helper serving each with SIGKILL at a random moment
// from the request's start to a little past the usual length of a whole request, so that
// kills fall on every step of it. The files live on a slowfs FUSE mount whose every call
// first waits MICROSECONDS (default 500), which spreads the steps of a request over
// milliseconds; with --plain they live in a temporary folder on the local disk instead.
//
// Afterwards every entry must be in exactly one place: where it was, under its new name,
// or in the trash with its .trashinfo. The report counts the kills that landed inside a
// call (the call lost its helper), the entries lost, in two places, or in the trash
// without their .trashinfo, the .trashinfo files left without their file (at the end of
// the run, and after one more trash, which the helper follows by clearing the trash of
// what trashes of its own that were cut off left), and calls whose answer contradicts
// what happened on disk.

#include "platform/helper/HelperCall.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using platform::HelperCall;

namespace {

struct Options {
    int count = 1000;
    bool plain = false;
    int paceUs = 500;
    unsigned seed = 1;
};

Options parse(const QStringList& args) {
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const QString next = args.value(i + 1);
        if (arg == "--count") {
            options.count = next.toInt();
            ++i;
        } else if (arg == "--plain") {
            options.plain = true;
        } else if (arg == "--pace") {
            options.paceUs = next.toInt();
            ++i;
        } else if (arg == "--seed") {
            options.seed = next.toUInt();
            ++i;
        }
    }
    return options;
}

using Clock = std::chrono::steady_clock;

// Runs `call` to its end; `killAfterUs` >= 0 kills its helper that long after `started`,
// when its request had been sent. Returns how long the call took, in microseconds.
double run(HelperCall& call, Clock::time_point started, long killAfterUs) {
    std::thread killer;
    if (killAfterUs >= 0 && call.helperPid() > 0) {
        killer = std::thread(
            [pid = call.helperPid(), at = started + std::chrono::microseconds(killAfterUs)] {
                std::this_thread::sleep_until(at);
                ::kill(pid, SIGKILL);
            });
    }
    if (call.running()) {
        QEventLoop loop;
        QObject::connect(&call, &HelperCall::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double took = std::chrono::duration<double, std::micro>(Clock::now() - started).count();
    if (killer.joinable()) {
        killer.join();
    }
    return took;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

QString numbered(const char* prefix, int i) {
    return QString::asprintf("%s%04d", prefix, i);
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Tally {
    int killedInside = 0; // the call lost its helper
    int doneAnyway = 0;   // of those, the change was made all the same
    int wrongAnswers = 0; // done said, not done found, or the other way round
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());
    testsupport::ScopedDataHome data;

    std::unique_ptr<testsupport::SlowMount> mount;
    QTemporaryDir plainDir;
    QString where;   // the folder the requests name
    QString backing; // the same folder, reached without the mount
    QString trash;   // the trash the entries go to
    if (options.plain) {
        where = backing = plainDir.path() + "/work";
        trash = data.path() + "/Trash";
    } else {
        mount = std::make_unique<testsupport::SlowMount>(
            QStringList{QStringLiteral("--pace=%1").arg(options.paceUs)});
        if (!mount->mounted()) {
            std::fprintf(stderr, "fault_injection: cannot mount slowfs\n");
            return 1;
        }
        where = mount->path() + "/work";
        backing = mount->backing() + "/work";
        trash = mount->backing() + QStringLiteral("/.Trash-%1").arg(::getuid());
    }
    const int n = options.count;
    constexpr int kCalibration = 20;
    for (int i = 0; i < n + kCalibration; ++i) {
        for (const char* prefix : {"t", "r"}) {
            const QString name = numbered(prefix, i);
            testsupport::makeFile(backing + '/' + name, name.toUtf8());
        }
    }
    QTemporaryDir emptyDir;
    const auto warmUp = [&emptyDir] {
        auto listing = HelperCall::list(emptyDir.path());
        run(*listing, Clock::now(), -1);
    };

    // The usual length of each request, from calls left alone (entries n .. n + 19).
    std::vector<double> trashUs;
    std::vector<double> renameUs;
    for (int i = n; i < n + kCalibration; ++i) {
        warmUp();
        auto trashed = HelperCall::trash(where + '/' + numbered("t", i));
        trashUs.push_back(run(*trashed, Clock::now(), -1));
        warmUp();
        auto renamed =
            HelperCall::rename(where + '/' + numbered("r", i), where + '/' + numbered("n", i));
        renameUs.push_back(run(*renamed, Clock::now(), -1));
    }
    const double trashSpan = median(trashUs) * 1.25;
    const double renameSpan = median(renameUs) * 1.25;

    std::mt19937 random(options.seed);
    Tally trashTally;
    Tally renameTally;
    std::vector<bool> trashDone(static_cast<std::size_t>(n));
    std::vector<bool> renameDone(static_cast<std::size_t>(n));
    std::vector<bool> trashLost(static_cast<std::size_t>(n));
    std::vector<bool> renameLost(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        // The helper has started and served a listing before each request, so that the
        // time spread over is the request's own.
        warmUp();
        std::uniform_real_distribution<double> trashKill(0, trashSpan);
        auto trashed = HelperCall::trash(where + '/' + numbered("t", i));
        run(*trashed, Clock::now(), static_cast<long>(trashKill(random)));
        if (trashed->state() == HelperCall::State::Lost) {
            ++trashTally.killedInside;
            trashLost[static_cast<std::size_t>(i)] = true;
        } else {
            trashDone[static_cast<std::size_t>(i)] = trashed->error() == 0;
        }

        warmUp();
        std::uniform_real_distribution<double> renameKill(0, renameSpan);
        auto renamed =
            HelperCall::rename(where + '/' + numbered("r", i), where + '/' + numbered("n", i));
        run(*renamed, Clock::now(), static_cast<long>(renameKill(random)));
        if (renamed->state() == HelperCall::State::Lost) {
            ++renameTally.killedInside;
            renameLost[static_cast<std::size_t>(i)] = true;
        } else {
            renameDone[static_cast<std::size_t>(i)] = renamed->error() == 0;
            if (!renameDone[static_cast<std::size_t>(i)]) {
                ++renameTally.wrongAnswers; // nothing else could refuse it
            }
        }
        if (trashed->state() != HelperCall::State::Lost &&
            !trashDone[static_cast<std::size_t>(i)]) {
            ++trashTally.wrongAnswers;
        }
    }

    // Where every entry is now. Trashed files are known by their content, which is their
    // first name, since the trash may have renamed them.
    const QString files = trash + "/files";
    const QString info = trash + "/info";
    const auto infosWithoutFile = [&files, &info] {
        int count = 0;
        for (const QString& name : QDir(info).entryList(QDir::Files | QDir::Hidden)) {
            if (!QFile::exists(files + '/' + name.chopped(int(strlen(".trashinfo"))))) {
                ++count;
            }
        }
        return count;
    };
    const int infoWithoutFileAtEnd = infosWithoutFile();
    // After answering a trash the helper clears that trash of what its killed
    // predecessors left; a listing on the same helper afterwards waits for that.
    const QString settle = numbered("s", 0);
    testsupport::makeFile(backing + '/' + settle, settle.toUtf8());
    warmUp();
    auto settled = HelperCall::trash(where + '/' + settle);
    run(*settled, Clock::now(), -1);
    warmUp();
    const int infoWithoutFile = infosWithoutFile();

    QHash<QByteArray, int> inTrash;
    QHash<QByteArray, int> inTrashWithoutInfo;
    for (const QString& name : QDir(files).entryList(QDir::Files | QDir::Hidden)) {
        const QByteArray content = contentOf(files + '/' + name);
        ++inTrash[content];
        if (!QFile::exists(info + '/' + name + ".trashinfo")) {
            ++inTrashWithoutInfo[content];
        }
    }
    int lost = 0;
    int twice = 0;
    int withoutInfo = 0;
    for (int i = 0; i < n; ++i) {
        const QString t = numbered("t", i);
        const bool stayed = QFile::exists(backing + '/' + t);
        const int trashed = inTrash.value(t.toUtf8());
        withoutInfo += inTrashWithoutInfo.value(t.toUtf8());
        const int places = (stayed ? 1 : 0) + trashed;
        lost += places == 0 ? 1 : 0;
        twice += places > 1 ? 1 : 0;
        if (trashDone[static_cast<std::size_t>(i)] && stayed) {
            ++trashTally.wrongAnswers;
        }
        trashTally.doneAnyway += trashLost[static_cast<std::size_t>(i)] && !stayed ? 1 : 0;

        const bool kept = QFile::exists(backing + '/' + numbered("r", i));
        const bool moved = QFile::exists(backing + '/' + numbered("n", i));
        lost += !kept && !moved ? 1 : 0;
        twice += kept && moved ? 1 : 0;
        if (renameDone[static_cast<std::size_t>(i)] && !moved) {
            ++renameTally.wrongAnswers;
        }
        renameTally.doneAnyway += renameLost[static_cast<std::size_t>(i)] && moved ? 1 : 0;
    }

    std::printf(
        "file system: %s\n",
        options.plain
            ? "local temporary folder"
            : qPrintable(QStringLiteral("slowfs, every call paced %1 us").arg(options.paceUs)));
    std::printf("request length (median of %d, not killed): trash %.0f us, rename %.0f us\n",
                kCalibration, median(trashUs), median(renameUs));
    for (const auto& [what, tally] : {std::pair{"trash: ", trashTally}, {"rename:", renameTally}}) {
        std::printf("%s %d requests, kills inside the call %d (done all the same %d), wrong "
                    "answers %d\n",
                    what, n, tally.killedInside, tally.doneAnyway, tally.wrongAnswers);
    }
    std::printf("entries lost %d, in two places %d, in the trash without .trashinfo %d\n", lost,
                twice, withoutInfo);
    std::printf(".trashinfo without its file: %d at the end of the run, %d after one more "
                "trash\n",
                infoWithoutFileAtEnd, infoWithoutFile);
    return lost == 0 && twice == 0 && withoutInfo == 0 && infoWithoutFile == 0 ? 0 : 1;
}
