// The file helper: its messages, the calls made through it, and what happens to a helper
// whose file system never answers.

#include "names/NameCodec.h"
#include "names/NameOrder.h"
#include "platform/FileSystem.h"
#include "platform/RawTree.h"
#include "platform/helper/HelperCall.h"
#include "platform/helper/HelperProtocol.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
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

    // Without its helper program a call fails at once and says why.
    platform::setHelperProgram(root + "/no-such-helper");
    auto cut = qScopeGuard([] { platform::setHelperProgram({}); });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot start the file helper"));
    auto lost = HelperCall::list(QDir::tempPath());
    QCOMPARE(lost->state(), HelperCall::State::Lost);
    QCOMPARE(lost->error(), ECHILD);

    // A helper whose answer claims more names than it holds is lost; nothing of the
    // answer is taken.
    const QString liar = root + "/liar";
    testsupport::makeFile(liar, "#!/bin/sh\nhead -c 1 >/dev/null\n"
                                "printf '\\010\\0\\0\\0N\\377\\377\\377\\0abcd'\ncat >/dev/null\n");
    QVERIFY(QFile::setPermissions(liar, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    platform::setHelperProgram(liar);
    auto broken = HelperCall::list(root);
    QVERIFY(finishes(*broken));
    QCOMPARE(broken->state(), HelperCall::State::Lost);
    QCOMPARE(broken->error(), EIO);
    QCOMPARE(broken->takeNames().size(), std::size_t(0));
}

void HelperCallTest::folderThatNeverAnswersIsLeftBehind() {
    if (!testsupport::SlowMount::available()) {
        QSKIP("this machine cannot mount FUSE file systems (no /dev/fuse)");
    }
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
    if (!testsupport::SlowMount::available()) {
        QSKIP("this machine cannot mount FUSE file systems (no /dev/fuse)");
    }
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

QTEST_GUILESS_MAIN(HelperCallTest)
#include "tst_helper_call.moc"
