#include "platform/HelperCall.h"

#include "platform/HelperProtocol.h"
#include "platform/NameCodec.h"
#include "platform/NameOrder.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
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
        return {::geteuid(), ::getegid(), encodeName(QDir::currentPath()), qgetenv("XDG_DATA_HOME"),
                qgetenv("HOME")};
    }
};

struct Process {
    pid_t pid = -1;
    int fd = -1;
    Context context;
};

// How much of an answer is read before the event loop gets its turn again.
constexpr std::size_t kReadSlice = std::size_t{256} << 10;
// A listing of at least this many names is put in order on a thread of its own, so that
// the event loop keeps its turns during the sort.
constexpr std::size_t kSortAsideFrom = std::size_t{1} << 15;
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

    std::optional<Process> take() {
        reap();
        if (ready_ && (ready_->context != Context::now() || !idle(*ready_))) {
            retire(*ready_);
            ready_.reset();
        }
        if (!ready_) {
            ready_ = spawn();
        }
        std::optional<Process> taken = ready_;
        ready_.reset();
        return taken;
    }

    // A helper whose answer ended normally waits for the next request.
    void giveBack(const Process& process) {
        if (!ready_ && process.context == Context::now()) {
            ready_ = process;
        } else {
            retire(process);
        }
    }

    // A helper that is stuck or whose answer is no longer wanted: killed if it can be;
    // one stuck in the kernel dies when its call returns.
    void abandon(const Process& process) {
        ::kill(process.pid, SIGKILL);
        ::close(process.fd);
        exited_.push_back(process.pid);
        prepare();
    }

    // A helper that ended or broke its answer.
    void retire(const Process& process) {
        ::close(process.fd);
        exited_.push_back(process.pid);
        reap();
    }

    void prepare() {
        reap();
        if (!ready_) {
            ready_ = spawn();
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
        std::erase_if(exited_, [](pid_t pid) {
            int status = 0;
            const pid_t done = ::waitpid(pid, &status, WNOHANG);
            return done == pid || (done < 0 && errno == ECHILD);
        });
    }

    std::optional<Process> spawn() const {
        const QString path =
            program_.isEmpty() ? QCoreApplication::applicationDirPath() + "/dirquill-io" : program_;
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
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

        const QByteArray file = encodeName(path);
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
            return std::nullopt;
        }
        return Process{pid, fds[0], Context::now()};
    }

    QString program_;
    std::optional<Process> ready_;
    std::vector<pid_t> exited_;
};

Pool& pool() {
    static Pool instance;
    return instance;
}

} // namespace

struct HelperCall::Reader {
    helper::FrameReader frames;
    std::vector<std::size_t> sizes;
    Context context;
};

HelperCall::HelperCall(char kind, const std::string& body) : reader_(std::make_unique<Reader>()) {
    std::optional<Process> process = pool().take();
    if (!process) {
        state_ = State::Lost;
        error_ = ECHILD;
        return;
    }
    pid_ = process->pid;
    fd_ = process->fd;
    reader_->context = process->context;
    std::string request;
    helper::appendFrame(request, static_cast<helper::Kind>(kind), body);
    // The helper is idle and reading, so the request goes out at once.
    if (!helper::sendAll(fd_, request)) {
        pool().retire(*process);
        fd_ = -1;
        state_ = State::Lost;
        error_ = ECHILD;
        return;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &HelperCall::readAnswer);
}

HelperCall::~HelperCall() {
    abandon();
}

namespace {
std::string bytesOf(const QString& path) {
    const QByteArray bytes = encodeName(path);
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}
} // namespace

std::unique_ptr<HelperCall> HelperCall::list(const QString& folder) {
    return std::unique_ptr<HelperCall>(new HelperCall(helper::kList, bytesOf(folder)));
}

std::unique_ptr<HelperCall> HelperCall::makeFolder(const QString& path) {
    return std::unique_ptr<HelperCall>(new HelperCall(helper::kMakeFolder, bytesOf(path)));
}

std::unique_ptr<HelperCall> HelperCall::trash(const QString& path) {
    return std::unique_ptr<HelperCall>(new HelperCall(helper::kTrash, bytesOf(path)));
}

std::unique_ptr<HelperCall> HelperCall::rename(const QString& from, const QString& to) {
    return std::unique_ptr<HelperCall>(
        new HelperCall(helper::kRename, helper::renameBody(bytesOf(from), bytesOf(to))));
}

void HelperCall::abandon() {
    if (state_ != State::Running) {
        return;
    }
    dropNotifier();
    if (fd_ >= 0) {
        pool().abandon(Process{pid_, fd_, reader_->context});
        fd_ = -1;
    }
    state_ = State::Abandoned;
    error_ = ECANCELED;
    names_.clear();
}

void HelperCall::dropNotifier() {
    // Deleted later: this may run inside the notifier's own signal.
    if (notifier_ != nullptr) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
}

void HelperCall::readAnswer() {
    // Takes what has arrived, up to a slice, so that the helper is seldom held up by a
    // full socket and the event loop still gets its turn between slices.
    std::size_t taken = 0;
    while (receiving() && taken < kReadSlice) {
        char* into = reader_->frames.prepare(kReadSlice - taken);
        const ssize_t n = ::recv(fd_, into, kReadSlice - taken, MSG_DONTWAIT);
        reader_->frames.commit(n > 0 ? static_cast<std::size_t>(n) : 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n <= 0) {
            finish(State::Lost, EIO);
            return;
        }
        taken += static_cast<std::size_t>(n);
        helper::Frame frame;
        while (receiving() && reader_->frames.next(frame)) {
            handleFrame(frame.kind, frame.body);
        }
        if (receiving() && reader_->frames.malformed()) {
            finish(State::Lost, EIO);
        }
    }
}

void HelperCall::handleFrame(char kind, std::string_view body) {
    switch (kind) {
    case helper::kNames: {
        if (body.size() < sizeof(std::uint32_t)) {
            finish(State::Lost, EIO);
            return;
        }
        const std::size_t count = helper::readU32(body.data());
        std::size_t lengths = sizeof(std::uint32_t);
        std::size_t offset = lengths + count * sizeof(std::uint32_t);
        if (offset > body.size()) {
            finish(State::Lost, EIO);
            return;
        }
        std::vector<std::size_t>& sizes = reader_->sizes;
        sizes.resize(count);
        std::size_t total = 0;
        for (std::size_t i = 0; i < count; ++i) {
            sizes[i] = helper::readU32(body.data() + lengths);
            lengths += sizeof(std::uint32_t);
            total += sizes[i];
        }
        if (total != body.size() - offset) {
            finish(State::Lost, EIO);
            return;
        }
        names_.appendPacked(sizes, body.substr(offset));
        sorter_.add(names_);
        entriesRead_ = names_.size();
        emit progressed();
        break;
    }
    case helper::kEnd:
        finish(State::Done, body.size() >= sizeof(std::uint32_t)
                                ? static_cast<int>(helper::readU32(body.data()))
                                : EIO);
        break;
    default:
        finish(State::Lost, EIO);
        break;
    }
}

void HelperCall::finish(State state, int error) {
    dropNotifier();
    const Process process{pid_, fd_, reader_->context};
    fd_ = -1;
    if (state == State::Done && !reader_->frames.pending()) {
        pool().giveBack(process);
    } else {
        pool().retire(process);
    }
    if (state != State::Done || error != 0) {
        complete(state, error);
    } else if (names_.size() < kSortAsideFrom) {
        names_.setOrder(sorter_.takeOrder(names_));
        complete(State::Done, 0);
    } else {
        sortAside();
    }
}

void HelperCall::sortAside() {
    // The names and their keys go with the sort, so that a call abandoned meanwhile
    // frees nothing the sort still reads; its result is then dropped.
    struct Job {
        NameList names;
        NameSorter sorter;
        std::vector<std::uint32_t> order;
    };
    auto job = std::make_shared<Job>(Job{std::move(names_), std::move(sorter_), {}});
    names_ = {};
    QThread* thread = QThread::create([job] { job->order = job->sorter.takeOrder(job->names); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, job] {
        if (state_ == State::Running) {
            names_ = std::move(job->names);
            names_.setOrder(std::move(job->order));
            complete(State::Done, 0);
        }
    });
    thread->start();
}

void HelperCall::complete(State state, int error) {
    state_ = state;
    error_ = error;
    if (error_ != 0) {
        names_.clear();
    }
    sorter_ = {};
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
