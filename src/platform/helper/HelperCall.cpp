#include "platform/helper/HelperCall.h"

#include "names/NameCodec.h"
#include "platform/MountOfPath.h"
#include "platform/helper/HelperAnswer.h"
#include "platform/helper/HelperProtocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace platform {

namespace {

// What a helper inherits when it starts and a request may depend on: the user it acts
// as, the current folder, against which relative paths are read, and the variables that
// place the trash. A helper started under other ones is not used.
struct Context {
    uid_t user = 0;
    gid_t group = 0;
    QByteArray currentFolder;
    QByteArray dataHome;
    QByteArray home;
    bool operator==(const Context&) const = default;

    static Context now() {
        return {::geteuid(), ::getegid(), names::encodeName(QDir::currentPath()),
                qgetenv("XDG_DATA_HOME"), qgetenv("HOME")};
    }
};

struct Process {
    pid_t pid = -1;
    int fd = -1;
    Context context;
};

// A helper that was let go and has not been reaped yet. One killed while waiting on a
// mount's file system may stay until that file system answers; it is counted against
// its mount.
struct Ended {
    pid_t pid = -1;
    QByteArray mountPoint; // empty for a helper that was not stuck
};

QByteArray mountOfPath(const QByteArray& path) {
    return mountPointOf(path, Context::now().currentFolder);
}

// The socket holds this much of an answer, so that the helper seldom waits for the
// program to take it (the system may give less).
constexpr int kSocketBuffer = 4 << 20;

class Pool {
public:
    ~Pool() {
        // The ready helper ends when its input does; stuck ones are left to the system.
        if (ready_) {
            ::close(ready_->fd);
        }
    }

    // A ready helper of another program is not used.
    void setProgram(const QString& path) {
        program_ = path;
        if (ready_) {
            retire(*ready_);
            ready_.reset();
        }
    }

    // The ready helper, or a new one; nothing when none can be started, and then
    // `startError` says why.
    std::optional<Process> take(int& startError) {
        reap();
        if (ready_ && (ready_->context != Context::now() || !idle(*ready_))) {
            retire(*ready_);
            ready_.reset();
        }
        if (!ready_) {
            ready_ = spawn(startError);
        }
        std::optional<Process> taken = ready_;
        ready_.reset();
        return taken;
    }

    // The mounts on which as many helpers as may be are still stuck. Counted only when
    // that many are stuck at all.
    std::vector<std::string> fullMounts() {
        reap();
        std::vector<std::string> full;
        if (std::ranges::count_if(exited_, [](const Ended& e) { return !e.mountPoint.isEmpty(); }) <
            HelperCall::kMaxStuckPerMount) {
            return full;
        }
        for (const Ended& ended : exited_) {
            const std::string point = ended.mountPoint.toStdString();
            if (!ended.mountPoint.isEmpty() && std::ranges::find(full, point) == full.end() &&
                std::ranges::count(exited_, ended.mountPoint, &Ended::mountPoint) >=
                    HelperCall::kMaxStuckPerMount) {
                full.push_back(point);
            }
        }
        return full;
    }

    // True once after no helper could be started, until one starts again.
    bool tellStartFailure() { return !std::exchange(startFailureTold_, true); }

    // A helper whose answer ended normally waits for the next request.
    void giveBack(const Process& process) {
        if (!ready_ && process.context == Context::now()) {
            ready_ = process;
        } else {
            retire(process);
        }
    }

    // A helper that is stuck or whose answer is no longer wanted: killed if it can be;
    // one stuck in the kernel dies when its call returns. Its socket is closed by whoever
    // still reads it.
    void abandon(pid_t pid, const QByteArray& path) {
        ::kill(pid, SIGKILL);
        exited_.push_back({pid, mountOfPath(path)});
        prepare();
    }

    // A helper that ended or broke its answer.
    void retire(const Process& process) {
        ::close(process.fd);
        exited_.push_back({process.pid, {}});
        reap();
    }

    void prepare() {
        reap();
        if (!ready_) {
            int startError = 0;
            ready_ = spawn(startError);
        }
    }

    [[nodiscard]] pid_t readyPid() const { return ready_ ? ready_->pid : -1; }

private:
    // An idle helper never writes, so anything to read means it has ended.
    static bool idle(const Process& process) {
        pollfd entry{process.fd, POLLIN, 0};
        return ::poll(&entry, 1, 0) == 0;
    }

    void reap() {
        std::erase_if(exited_, [](const Ended& ended) {
            int status = 0;
            const pid_t done = ::waitpid(ended.pid, &status, WNOHANG);
            return done == ended.pid || (done < 0 && errno == ECHILD);
        });
    }

    std::optional<Process> spawn(int& startError) {
        const QString path =
            program_.isEmpty() ? QCoreApplication::applicationDirPath() + "/dirquill-io" : program_;
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
            startError = errno;
            return std::nullopt;
        }
        ::setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer);
        ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        // Nothing else of the program's (its display connection above all) goes along.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        const QByteArray file = names::encodeName(path);
        char* argv[] = {const_cast<char*>(file.constData()), nullptr};
        pid_t pid = -1;
        const int error =
            ::posix_spawn(&pid, file.constData(), &actions, &attributes, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(fds[1]);
        if (error != 0) {
            qWarning("dirquill: cannot start the file helper %s: %s", file.constData(),
                     std::strerror(error));
            ::close(fds[0]);
            startError = error;
            return std::nullopt;
        }
        startFailureTold_ = false;
        return Process{pid, fds[0], Context::now()};
    }

    QString program_;
    std::optional<Process> ready_;
    std::vector<Ended> exited_;
    bool startFailureTold_ = false;
};

Pool& pool() {
    static Pool instance;
    return instance;
}

} // namespace

struct HelperCall::Helper {
    Process process;
};

HelperCall::HelperCall(char kind, const std::string& body, QByteArray path)
    : kind_(kind), path_(std::move(path)) {
    // Refused as the helper would refuse it, without taking a helper.
    if (helper::pathsHoldNul(static_cast<helper::Kind>(kind), body)) {
        state_ = State::Done;
        error_ = EINVAL;
        return;
    }
    // A request for a mount on which as many helpers as may be are stuck is given up at
    // once. Where a link on the path leads there, only the helper can tell: it is sent
    // the full mounts and refuses the request before it walks onto one.
    const std::vector<std::string> full = pool().fullMounts();
    if (!full.empty() && std::ranges::find(full, mountOfPath(path_).toStdString()) != full.end()) {
        state_ = State::Abandoned;
        error_ = ECANCELED;
        return;
    }
    std::string request;
    if (!full.empty()) {
        helper::appendFrame(request, helper::kFullMounts, helper::mountPointsBody(full));
    }
    helper::appendFrame(request, static_cast<helper::Kind>(kind), body);
    std::optional<Process> process = pool().take(startError_);
    if (!process) {
        firstStartFailure_ = pool().tellStartFailure();
        lose(Loss::NotStarted, ECHILD);
        return;
    }
    // The answer is read on a thread that shares it with this call; given up, the thread
    // ends on its own and takes the answer with it. The thread starts before the request
    // is sent: at the system's limit on threads none can, and then the helper has been
    // asked nothing and stays ready, rather than doing work whose answer nobody reads.
    answer_ = std::make_shared<HelperAnswer>(process->fd);
    QThread* reader = QThread::create([answer = answer_] { answer->read(); });
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    connect(reader, &QThread::finished, this, &HelperCall::answered);
    reader->start();
    if (!reader->isRunning() && !reader->isFinished()) {
        delete reader;
        answer_.reset();
        pool().giveBack(*process);
        lose(Loss::NoReader, EAGAIN);
        return;
    }
    helper_ = std::make_unique<Helper>(Helper{*process});
    // The helper is idle and reading, so the request goes out at once. Should it have
    // ended meanwhile, the thread finds its end of the socket closed, and the call ends
    // as a helper lost.
    helper::sendAll(process->fd, request);
}

HelperCall::~HelperCall() {
    abandon();
}

namespace {
std::string bytesOf(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}
} // namespace

std::unique_ptr<HelperCall> HelperCall::list(const QString& folder) {
    const QByteArray path = names::encodeName(folder);
    return std::unique_ptr<HelperCall>(new HelperCall(helper::kList, bytesOf(path), path));
}

std::unique_ptr<HelperCall> HelperCall::makeFolder(const QString& path) {
    const QByteArray bytes = names::encodeName(path);
    return std::unique_ptr<HelperCall>(new HelperCall(helper::kMakeFolder, bytesOf(bytes), bytes));
}

std::unique_ptr<HelperCall> HelperCall::trash(const QString& path) {
    const QByteArray bytes = names::encodeName(path);
    return std::unique_ptr<HelperCall>(new HelperCall(helper::kTrash, bytesOf(bytes), bytes));
}

std::unique_ptr<HelperCall> HelperCall::rename(const QString& from, const QString& to) {
    const QByteArray source = names::encodeName(from);
    const std::string body = helper::renameBody(bytesOf(source), bytesOf(names::encodeName(to)));
    return std::unique_ptr<HelperCall>(new HelperCall(helper::kRename, body, source));
}

QString HelperCall::reached() const {
    return answer_ ? names::decodeName(answer_->reached()) : QString();
}

quint64 HelperCall::entriesRead() const {
    return answer_ ? answer_->entriesRead() : 0;
}

int HelperCall::helperPid() const {
    return helper_ ? helper_->process.pid : -1;
}

void HelperCall::lose(Loss loss, int error) {
    state_ = State::Lost;
    loss_ = loss;
    error_ = error;
}

void HelperCall::abandon() {
    if (state_ != State::Running) {
        return;
    }
    // The reading thread still watches the socket; it is closed when the thread is done.
    answer_->giveUp();
    // Counted against the mount the helper said the path leads to, if a link on it led
    // elsewhere.
    const std::string reached = answer_->reached();
    pool().abandon(helper_->process.pid,
                   reached.empty() ? path_ : QByteArray(reached.data(), qsizetype(reached.size())));
    state_ = State::Abandoned;
    error_ = ECANCELED;
}

void HelperCall::answered() {
    if (state_ != State::Running) {
        return;
    }
    if (answer_->outOfMemory()) {
        // The helper may still be reading a folder whose names nobody will take.
        ::kill(helper_->process.pid, SIGKILL);
        pool().retire(helper_->process);
        lose(Loss::OutOfMemory, ENOMEM);
    } else if (answer_->complete()) {
        if (answer_->clean()) {
            pool().giveBack(helper_->process);
        } else {
            pool().retire(helper_->process);
        }
        state_ = State::Done;
        error_ = answer_->error();
        names_ = answer_->takeNames();
    } else {
        pool().retire(helper_->process);
        lose(Loss::HelperEnded, EIO);
    }
    emit finished();
}

void setHelperProgram(const QString& path) {
    pool().setProgram(path);
}

void prepareHelper() {
    pool().prepare();
}

int readyHelperPid() {
    return pool().readyPid();
}

} // namespace platform
