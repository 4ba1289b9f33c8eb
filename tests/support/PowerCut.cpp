#include "PowerCut.h"
#include "TestSupport.h"

#include "platform/RawTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testsupport {

namespace {

QByteArray controlPath(const QString& mount) {
    return QFile::encodeName(mount) + "/.forgetfs";
}

} // namespace

ForgetMount::ForgetMount() {
    QDir().mkpath(backing());
    QDir().mkpath(path());
    mounted_ =
        startFuseDaemon(QStringLiteral(DIRQUILL_FORGETFS), {backing(), path()}, path(), daemon_);
}

ForgetMount::~ForgetMount() {
    stopFuseDaemon(daemon_, path());
}

void ForgetMount::command(const QByteArray& text) const {
    const int fd = ::open(controlPath(path()).constData(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, text.constData(), text.size());
        ::close(fd);
    }
}

ForgetMount::Status ForgetMount::status() const {
    QByteArray text(256, '\0');
    const int fd = ::open(controlPath(path()).constData(), O_RDONLY | O_CLOEXEC);
    const ssize_t got = fd < 0 ? -1 : ::read(fd, text.data(), text.size());
    if (fd >= 0) {
        ::close(fd);
    }
    text.truncate(got < 0 ? 0 : got);
    // "calls C cut 0|1 folders K"
    const QList<QByteArray> words = text.simplified().split(' ');
    return {words.value(3) == "1", words.value(5).toInt()};
}

PowerCutTally cutEverywhere(const ForgetMount& mount, const std::function<void()>& setUp,
                            const std::function<bool()>& act,
                            const std::function<QString(bool, bool)>& check) {
    PowerCutTally tally;
    const QByteArray backing = QFile::encodeName(mount.backing());
    for (int after = 1;; ++after) {
        removeTreeRaw(backing);
        QDir().mkpath(mount.backing());
        setUp();
        mount.command("sync");
        mount.command("cut " + QByteArray::number(after));
        const bool succeeded = act();
        const bool finished = !mount.status().cut;
        if (finished) {
            mount.command("cut 0");
        }
        const int folders = mount.status().folders;
        ++tally.cutPoints;
        for (unsigned long mask = 0; mask < (1UL << folders); ++mask) {
            mount.command("restore " + QByteArray::number(static_cast<qulonglong>(mask)));
            ++tally.states;
            if (const QString problem = check(succeeded, finished); !problem.isEmpty()) {
                tally.failures.append(QStringLiteral("cut after call %1, folders written %2: %3")
                                          .arg(after)
                                          .arg(mask)
                                          .arg(problem));
            }
        }
        if (finished) {
            removeTreeRaw(backing);
            QDir().mkpath(mount.backing());
            mount.command("sync");
            return tally;
        }
    }
}

} // namespace testsupport
