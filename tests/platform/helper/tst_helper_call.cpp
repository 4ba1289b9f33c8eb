// The file helper: its messages, the calls made through it, and what happens to a helper
// whose file system never answers.

#include "names/NameCodec.h"
#include "names/NameOrder.h"
#include "platform/FileSystem.h"
#include "platform/RawTree.h"
#include "platform/helper/HelperCall.h"
#include "platform/helper/HelperFault.h"
#include "platform/helper/HelperProtocol.h"
#include "res/Texts.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::HelperCall;
namespace helper = platform::helper;

namespace {

QSet<QByteArray> namesOf(HelperCall& call) {
    const names::NameList list = call.takeNames();
    QSet<QByteArray> names;
    for (std::size_t i = 0; i < list.size(); ++i) {
        names.insert(QByteArray(list.at(i).data(), qsizetype(list.at(i).size())));
    }
    return names;
}

// Runs the event loop until the call has finished.
bool finishes(HelperCall& call, int timeoutMs = 10000) {
    return QTest::qWaitFor([&call] { return !call.running(); }, timeoutMs);
}

// An executable shell script at `path`.
void makeScript(const QString& path, const QByteArray& text) {
    testsupport::makeFile(path, "#!/bin/sh\n" + text);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Whether the process `pid` is still there and has not ended (no zombie).
bool isWaiting(int pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray text = stat.readAll();
    const qsizetype state = text.lastIndexOf(')') + 2;
    return state > 1 && state < text.size() && text[state] != 'Z';
}

int openFileCount() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
}

} // namespace

class HelperCallTest : public QObject {
    Q_OBJECT
private slots:
    void framesSurviveAnyCut();
    void requestsAreCarriedOutByTheHelper();
    void folderThatNeverAnswersIsLeftBehind();
    void slowFolderEndsWithAllItsNames();
    void bigFolderComesInTheColumnsOrder();
    void helperThatCannotStartIsToldOnce();
    void helperKilledDuringACallIsReplaced();
    void seventeenthRequestOnAStuckMountFailsAtOnce();
    void listingThatRunsOutOfMemoryIsDropped();
    void callWhoseReaderCannotStartIsToldAndAsksNothing();
};

void HelperCallTest::framesSurviveAnyCut() {
    std::string stream;
    helper::appendFrame(stream, helper::kNames, "12345678");
    helper::appendFrame(stream, helper::kRename, helper::renameBody("a/b", "a/\xff c"));
    helper::appendFrame(stream, helper::kEnd, "");
    helper::FrameReader reader;
    QList<QByteArray> kinds;
    helper::Frame frame;
    for (const char byte : stream) {
        reader.feed(&byte, 1);
        while (reader.next(frame)) {
            kinds.append(QByteArray(1, frame.kind));
            if (frame.kind == helper::kRename) {
                std::string_view from;
                std::string_view to;
                QVERIFY(helper::splitRenameBody(frame.body, from, to));
                QCOMPARE(from, std::string_view("a/b"));
                QCOMPARE(to, std::string_view("a/\xff c"));
            }
        }
    }
    QCOMPARE(kinds, QList<QByteArray>({"N", "R", "E"}));
    QVERIFY(!reader.pending());

    // A length no frame of ours can have marks the stream as foreign.
    helper::FrameReader foreign;
    foreign.feed("\xff\xff\xff\xff"
                 "E",
                 5);
    QVERIFY(!foreign.next(frame));
    QVERIFY(foreign.malformed());
    std::string_view from;
    std::string_view to;
    QVERIFY(!helper::splitRenameBody(std::string_view("\x09\0\0\0ab", 6), from, to));
}

void HelperCallTest::requestsAreCarriedOutByTheHelper() {
    testsupport::ScopedDataHome data;
    QTemporaryDir dir;
    const QString root = dir.path();
    testsupport::makeFile(root + "/a.txt", "a");
    testsupport::makeFolder(root + "/folder");
    const QByteArray odd = QFile::encodeName(root) + "/\xb6\xd4.txt";
    QVERIFY(::close(::open(odd.constData(), O_CREAT | O_WRONLY, 0644)) == 0);
    auto cleanup = qScopeGuard([&] { ::unlink(odd.constData()); });

    platform::prepareHelper();
    const int helperPid = platform::readyHelperPid();
    QVERIFY(helperPid > 0 && helperPid != ::getpid());
    auto list = HelperCall::list(root);
    QVERIFY(finishes(*list));
    QCOMPARE(list->error(), 0);
    QCOMPARE(list->entriesRead(), quint64(3));
    QCOMPARE(namesOf(*list), QSet<QByteArray>({"a.txt", "folder", "\xb6\xd4.txt"}));

    // The same helper serves the next request.
    QCOMPARE(platform::readyHelperPid(), helperPid);
    auto made = HelperCall::makeFolder(root + "/new");
    QVERIFY(finishes(*made));
    QCOMPARE(made->error(), 0);
    QVERIFY(QFileInfo(root + "/new").isDir());

    auto renamed = HelperCall::rename(root + "/a.txt", root + "/folder");
    QVERIFY(finishes(*renamed));
    QCOMPARE(renamed->error(), EEXIST);
    renamed = HelperCall::rename(root + "/a.txt", root + "/b.txt");
    QVERIFY(finishes(*renamed));
    QCOMPARE(renamed->error(), 0);
    QVERIFY(QFileInfo::exists(root + "/b.txt"));

    auto trashed = HelperCall::trash(names::decodeName(odd.toStdString()));
    QVERIFY(finishes(*trashed));
    QCOMPARE(trashed->error(), 0);
    QVERIFY(!testsupport::existsRaw(odd));
    QVERIFY(testsupport::existsRaw(QFile::encodeName(data.trashFiles()) + "/\xb6\xd4.txt"));

    auto missing = HelperCall::list(root + "/missing");
    QVERIFY(finishes(*missing));
    QCOMPARE(missing->error(), ENOENT);
    QCOMPARE(missing->takeNames().size(), std::size_t(0));
    QCOMPARE(platform::readyHelperPid(), helperPid);

    // A helper whose answer claims more names than it holds is lost; nothing of the
    // answer is taken.
    const QString liar = root + "/liar";
    testsupport::makeFile(liar, "#!/bin/sh\nhead -c 1 >/dev/null\n"
                                "printf '\\010\\0\\0\\0N\\377\\377\\377\\0abcd'\ncat >/dev/null\n");
    QVERIFY(QFile::setPermissions(liar, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    platform::setHelperProgram(liar);
    auto cut = qScopeGuard([] { platform::setHelperProgram({}); });
    auto broken = HelperCall::list(root);
    QVERIFY(finishes(*broken));
    QCOMPARE(broken->state(), HelperCall::State::Lost);
    QCOMPARE(broken->error(), EIO);
    QCOMPARE(broken->takeNames().size(), std::size_t(0));
}

void HelperCallTest::folderThatNeverAnswersIsLeftBehind() {
    SKIP_WITHOUT_FUSE();
    testsupport::SlowMount mount;
    QVERIFY(mount.mounted());
    testsupport::makeFolder(mount.backing() + "/stuck");
    testsupport::makeFile(mount.backing() + "/normal/one");
    platform::prepareHelper();
    const int filesBefore = openFileCount();

    // Ten listings of the same dead folder, each given up: every one leaves only its own
    // helper behind, and the program's side keeps nothing of them.
    QSet<int> stuckHelpers;
    for (int i = 0; i < 10; ++i) {
        stuckHelpers.insert(platform::readyHelperPid());
        auto call = HelperCall::list(mount.path() + "/stuck");
        QSignalSpy finished(call.get(), &HelperCall::finished);
        QTest::qWait(50);
        QVERIFY(call->running());
        call->abandon();
        QCOMPARE(call->state(), HelperCall::State::Abandoned);
        QCOMPARE(call->error(), ECANCELED);
        QTest::qWait(10);
        QCOMPARE(finished.count(), 0);
    }
    QCOMPARE(stuckHelpers.size(), 10);
    QVERIFY(!stuckHelpers.contains(platform::readyHelperPid()));
    QCOMPARE(openFileCount(), filesBefore);

    // A folder that answers, on the same mount, is listed by the fresh helper at once.
    auto normal = HelperCall::list(mount.path() + "/normal");
    QVERIFY(finishes(*normal, 5000));
    QCOMPARE(namesOf(*normal), QSet<QByteArray>({"one"}));
}

void HelperCallTest::slowFolderEndsWithAllItsNames() {
    SKIP_WITHOUT_FUSE();
    testsupport::SlowMount mount;
    QVERIFY(mount.mounted());
    QSet<QByteArray> expected;
    for (int i = 0; i < 300; ++i) {
        const QByteArray name = "entry-" + QByteArray::number(i);
        testsupport::makeFile(mount.backing() + "/slow/" + QString::fromLatin1(name));
        expected.insert(name);
    }
    auto call = HelperCall::list(mount.path() + "/slow");
    QTest::qWait(500);
    QVERIFY(call->running());
    QVERIFY(finishes(*call));
    QCOMPARE(call->error(), 0);
    QCOMPARE(call->entriesRead(), quint64(300));
    QCOMPARE(namesOf(*call), expected);
}

void HelperCallTest::bigFolderComesInTheColumnsOrder() {
    // Names in mixed case and scripts, more than one frame holds, so that their keys are
    // made frame by frame.
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    static const char* const kStems[] = {"File", "file", "_x", "\xe4\xb8\xad", "~t", "Zed"};
    constexpr int kCount = 15000;
    for (int i = 0; i < kCount; ++i) {
        const QByteArray name =
            root + '/' + kStems[i % 6] + QByteArray::number((i * 7919) % kCount);
        QVERIFY(::close(::open(name.constData(), O_CREAT | O_WRONLY, 0644)) == 0);
    }
    names::NameList expected;
    QVERIFY(platform::listFolder(dir.path(), expected));
    names::sortNames(expected);

    auto call = HelperCall::list(dir.path());
    QVERIFY(finishes(*call));
    QCOMPARE(call->error(), 0);
    const names::NameList listed = call->takeNames();
    QCOMPARE(listed.size(), expected.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        QCOMPARE(listed.at(i), expected.at(i));
    }

    // Given up once all names are in, while they are being put in order: nothing more
    // is reported, and the late order touches nothing.
    auto dropped = HelperCall::list(dir.path());
    QSignalSpy finished(dropped.get(), &HelperCall::finished);
    // Waited for without the event loop, so that the end cannot be delivered before.
    QDeadlineTimer deadline(10000);
    while (dropped->entriesRead() < quint64(kCount) && !deadline.hasExpired()) {
        QThread::yieldCurrentThread();
    }
    QCOMPARE(dropped->entriesRead(), quint64(kCount));
    dropped->abandon();
    QTest::qWait(300);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(dropped->takeNames().size(), std::size_t(0));
}

void HelperCallTest::helperThatCannotStartIsToldOnce() {
    QTemporaryDir dir;
    const QString root = dir.path();
    testsupport::makeFile(root + "/a");
    auto restore = qScopeGuard([] { platform::setHelperProgram({}); });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot start the file helper"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot start the file helper"));

    // Missing, then not executable: the first call says why, the next one says nothing
    // (the window's test shows it told again once a helper has started).
    platform::setHelperProgram(root + "/no-such-helper");
    auto first = HelperCall::trash(root + "/a");
    QCOMPARE(first->state(), HelperCall::State::Lost);
    QCOMPARE(first->loss(), HelperCall::Loss::NotStarted);
    QCOMPARE(first->error(), ECHILD);
    QCOMPARE(platform::helperFaultText(*first),
             text(texts::kHelperStartFailed) + platform::describeError(ENOENT));
    testsupport::makeFile(root + "/plain-file");
    platform::setHelperProgram(root + "/plain-file");
    auto again = HelperCall::makeFolder(root + "/b");
    QCOMPARE(again->startError(), EACCES);
    QVERIFY(platform::helperFaultText(*again).isEmpty());

    // One that starts but exits at once is a helper lost: a listing stays silent, a trash
    // or rename cannot know whether it was done.
    makeScript(root + "/quits", "exit 0\n");
    platform::setHelperProgram(root + "/quits");
    auto listed = HelperCall::list(root);
    QVERIFY(finishes(*listed));
    QCOMPARE(listed->loss(), HelperCall::Loss::HelperEnded);
    QVERIFY(platform::helperFaultText(*listed).isEmpty());
    auto trashed = HelperCall::trash(root + "/a");
    QVERIFY(finishes(*trashed));
    QCOMPARE(trashed->loss(), HelperCall::Loss::HelperEnded);
    QCOMPARE(platform::helperFaultText(*trashed), text(texts::kHelperEnded));
    QVERIFY(QFileInfo::exists(root + "/a"));
}

void HelperCallTest::helperKilledDuringACallIsReplaced() {
    SKIP_WITHOUT_FUSE();
    testsupport::SlowMount mount;
    QVERIFY(mount.mounted());
    testsupport::makeFile(mount.backing() + "/slow/one");
    testsupport::makeFile(mount.backing() + "/a");

    // Mid-listing: lost, and the next listing has a fresh helper.
    auto listing = HelperCall::list(mount.path() + "/slow");
    QTest::qWait(300);
    QVERIFY(::kill(listing->helperPid(), SIGKILL) == 0);
    QVERIFY(finishes(*listing));
    QCOMPARE(listing->loss(), HelperCall::Loss::HelperEnded);
    QCOMPARE(listing->takeNames().size(), std::size_t(0));
    auto next = HelperCall::list(mount.path());
    QVERIFY(finishes(*next));
    QCOMPARE(namesOf(*next), QSet<QByteArray>({"a", "slow"}));

    // Killed while its rename is under way: the rename still happens, and the call says
    // that its outcome is unknown.
    auto renamed = HelperCall::rename(mount.path() + "/a", mount.path() + "/slow-b");
    QTest::qWait(300);
    QVERIFY(::kill(renamed->helperPid(), SIGKILL) == 0);
    QVERIFY(finishes(*renamed));
    QCOMPARE(renamed->loss(), HelperCall::Loss::HelperEnded);
    QCOMPARE(platform::helperFaultText(*renamed), text(texts::kHelperEnded));
    QVERIFY(!QFileInfo::exists(mount.backing() + "/a"));
    QVERIFY(QFileInfo::exists(mount.backing() + "/slow-b"));
}

void HelperCallTest::seventeenthRequestOnAStuckMountFailsAtOnce() {
    SKIP_WITHOUT_FUSE();
    testsupport::SlowMount mount;
    QVERIFY(mount.mounted());
    testsupport::makeFolder(mount.backing() + "/stuck");
    testsupport::makeFile(mount.backing() + "/normal/one");
    // The stuck helpers come through a link on another mount, as a work directory
    // "~/nas" that links to a network share does.
    QTemporaryDir elsewhere;
    testsupport::makeFile(elsewhere.path() + "/two");
    const QString link = elsewhere.path() + "/nas";
    QVERIFY(QFile::link(mount.path(), link));

    // Others turn back with "..", after the look-up that never answers: their text undone
    // names the mount's parent, but they wait on the mount.
    const QString turningBack = mount.path() + "/dead/../..";

    // A helper killed before its call reached the file system ends at once and does not
    // count; only those left waiting do.
    int stuck = 0;
    for (int tries = 0; stuck < HelperCall::kMaxStuckPerMount && tries < 100; ++tries) {
        auto call = HelperCall::list(tries % 2 == 0 ? link + "/stuck" : turningBack);
        QVERIFY(call->running());
        QTest::qWait(100);
        const int pid = call->helperPid();
        call->abandon();
        QTest::qWait(20);
        stuck += isWaiting(pid) ? 1 : 0;
    }
    QCOMPARE(stuck, HelperCall::kMaxStuckPerMount);
    // They count against the mount they wait on: every request for it is given up
    // at once without a helper, also through a relative path.
    const QDir here;
    const QString relative = here.relativeFilePath(mount.path() + "/normal");
    for (const QString& path : {mount.path() + "/stuck", relative}) {
        auto refused = HelperCall::list(path);
        QCOMPARE(refused->state(), HelperCall::State::Abandoned);
        QCOMPARE(refused->error(), ECANCELED);
        QCOMPARE(refused->helperPid(), -1);
    }
    auto renamed = HelperCall::rename(mount.path() + "/normal/one", mount.path() + "/normal/2");
    QCOMPARE(renamed->error(), ECANCELED);
    // Through the link the helper refuses it before it reaches the mount, and ends.
    auto viaLink = HelperCall::list(link + "/normal");
    QVERIFY(finishes(*viaLink));
    QCOMPARE(viaLink->error(), ECANCELED);

    // The mount that holds the link is served.
    auto other = HelperCall::list(elsewhere.path());
    QVERIFY(finishes(*other));
    QCOMPARE(namesOf(*other), QSet<QByteArray>({"nas", "two"}));
}

void HelperCallTest::listingThatRunsOutOfMemoryIsDropped() {
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("a limit on the address space does not hold under AddressSanitizer");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    QSKIP("a limit on the address space does not hold under AddressSanitizer");
#endif
#endif
    // A helper that answers with names without end, from a frame made once.
    QTemporaryDir dir;
    std::string body(4, '\0');
    std::string bytes;
    constexpr std::uint32_t kCount = 4000;
    std::memcpy(body.data(), &kCount, 4);
    for (std::uint32_t i = 0; i < kCount; ++i) {
        const std::string name = std::to_string(i) + std::string(240, 'n');
        const auto size = static_cast<std::uint32_t>(name.size());
        body.append(reinterpret_cast<const char*>(&size), 4);
        bytes += name;
    }
    std::string frame;
    helper::appendFrame(frame, helper::kNames, body + bytes);
    testsupport::makeFile(dir.path() + "/frame", QByteArray::fromStdString(frame));
    makeScript(dir.path() + "/flood",
               "while cat '" + QFile::encodeName(dir.path()) + "/frame'; do :; done\n");
    QVERIFY(QFileInfo(dir.path() + "/flood").isExecutable());

    // In a child with little room for more memory, so that the test's own process is
    // not the one that runs out.
    const pid_t child = ::fork();
    if (child == 0) {
        rlimit limit{};
        ::getrlimit(RLIMIT_AS, &limit);
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        const rlim_t pages = statm.readAll().split(' ').value(0).toULongLong();
        limit.rlim_cur = pages * ::sysconf(_SC_PAGESIZE) + (rlim_t{256} << 20);
        ::setrlimit(RLIMIT_AS, &limit);
        platform::setHelperProgram(dir.path() + "/flood");
        auto call = HelperCall::list(dir.path());
        const bool ended = finishes(*call, 60000);
        const bool told = platform::helperFaultText(*call) == text(texts::kListingOutOfMemory);
        // The program goes on: a fresh helper lists the next folder.
        platform::setHelperProgram({});
        auto next = HelperCall::list(dir.path());
        const bool goesOn = finishes(*next) && next->error() == 0;
        ::_exit(!ended                                          ? 1
                : call->loss() != HelperCall::Loss::OutOfMemory ? 2
                : !told                                         ? 3
                : !goesOn                                       ? 4
                                                                : 0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void HelperCallTest::callWhoseReaderCannotStartIsToldAndAsksNothing() {
    if (::geteuid() != 0) {
        QSKIP("holding a process to no threads while its helper stays usable needs root");
    }
    QTemporaryDir dir;
    const QString file = testsupport::makeFile(dir.path() + "/kept.txt", "k");
    testsupport::ScopedDataHome data;

    // In a child that has reached its limit on processes and threads: its real user is
    // one with no processes, held to none, and it gives up the capabilities that lift the
    // limit (the effective user stays, so that the ready helper stays usable).
    const pid_t child = ::fork();
    if (child == 0) {
        platform::setHelperProgram({});
        platform::prepareHelper();
        const int ready = platform::readyHelperPid();
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct held[2]{};
        ::syscall(SYS_capget, &header, held);
        __user_cap_data_struct limited[2] = {held[0], held[1]};
        for (const int cap : {CAP_SYS_RESOURCE, CAP_SYS_ADMIN}) {
            limited[cap / 32].effective &= ~(1U << (cap % 32));
        }
        rlimit before{};
        ::getrlimit(RLIMIT_NPROC, &before);
        const rlimit none{0, before.rlim_max};
        constexpr uid_t kNobody = 65534;
        if (ready <= 0 || ::setresuid(kNobody, 0, 0) != 0 ||
            ::syscall(SYS_capset, &header, limited) != 0 || ::setrlimit(RLIMIT_NPROC, &none) != 0) {
            ::_exit(10);
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Thread creation error"));
        auto refused = HelperCall::trash(file);
        const bool lost = refused->state() == HelperCall::State::Lost &&
                          refused->loss() == HelperCall::Loss::NoReader;
        const bool told = platform::helperFaultText(*refused) == text(texts::kReaderNotStarted);
        QTest::qWait(200);
        // (Looked at with stat: Qt's checks of a file follow the real user.)
        const bool untouched =
            testsupport::existsRaw(QFile::encodeName(file)) && platform::readyHelperPid() == ready;
        // Below the limit again, the same helper carries the trash out.
        ::setrlimit(RLIMIT_NPROC, &before);
        ::syscall(SYS_capset, &header, held);
        ::setresuid(0, 0, 0);
        auto trashed = HelperCall::trash(file);
        const bool goesOn = finishes(*trashed) && trashed->error() == 0 && !QFileInfo::exists(file);
        ::_exit(!lost ? 1 : !told ? 2 : !untouched ? 3 : !goesOn ? 4 : 0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_GUILESS_MAIN(HelperCallTest)
#include "tst_helper_call.moc"
