#pragma once

#include "names/NameList.h"
#include "platform/PendingCall.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>

// The program's side of the file helper `dirquill-io`. Every file-system call made for
// the user goes through it, so that a mount or folder that never answers keeps only that
// helper waiting, never one of the program's own threads.
namespace platform {

class HelperAnswer;

// One request to the file helper. The answer is read on a thread of the call's own (a
// listing's names are put in order there too); finished() is emitted once, from the
// event loop of the thread that made the request, when the answer is complete or the
// helper was lost. An abandoned call emits nothing more; its helper is killed if it can
// be and left behind if it is stuck in the kernel, and whatever it answers late is never
// read.
//
// At most kMaxStuckPerMount helpers are left behind on one mount: while that many are
// still alive, a request for a path on it is abandoned at once, without a helper. A
// helper is counted against the mount its path really leads to: where a symbolic link
// on the path leads to another mount, the helper says so before it walks on, and it
// refuses (ECANCELED) a request whose link leads onto a mount that is full.
class HelperCall : public PendingCall {
    Q_OBJECT
public:
    enum class State { Running, Done, Lost, Abandoned };
    // Why a call was lost.
    enum class Loss {
        None,
        NotStarted,  // no helper could be started
        HelperEnded, // the helper ended, or broke its answer, before the answer was complete
        OutOfMemory, // the answer did not fit in memory and was dropped
        NoReader,    // no thread could be started to read the answer; nothing was asked
    };

    static constexpr int kMaxStuckPerMount = 16;

    static std::unique_ptr<HelperCall> list(const QString& folder);
    static std::unique_ptr<HelperCall> makeFolder(const QString& path);
    static std::unique_ptr<HelperCall> trash(const QString& path);
    static std::unique_ptr<HelperCall> rename(const QString& from, const QString& to);

    ~HelperCall() override;
    HelperCall(const HelperCall&) = delete;
    HelperCall& operator=(const HelperCall&) = delete;

    [[nodiscard]] State state() const { return state_; }
    [[nodiscard]] bool running() const override { return state_ == State::Running; }
    // 0 when the call was carried out, else the errno value: the system's refusal,
    // ECANCELED when abandoned, ECHILD when no helper could be started, EIO when the
    // helper was lost, ENOMEM when the answer did not fit in memory, EAGAIN when no thread
    // could read it.
    [[nodiscard]] int error() const { return error_; }
    [[nodiscard]] Loss loss() const { return loss_; }
    // When no helper could be started: the system's reason, an errno value.
    [[nodiscard]] int startError() const { return startError_; }
    // Whether this call is the first to find that no helper can be started since one last
    // started, so that the user is told once and not at every click.
    [[nodiscard]] bool firstStartFailure() const { return firstStartFailure_; }
    // The request's kind (helper::Kind).
    [[nodiscard]] char kind() const { return kind_; }
    // The process id of the helper serving the call, or -1.
    [[nodiscard]] int helperPid() const;
    // How many entries a listing has read so far.
    [[nodiscard]] quint64 entriesRead() const override;
    // Where the helper's walk last said the path leads (links and ".." resolved, see
    // followPath); empty when it said nothing, as for a path whose text says it.
    [[nodiscard]] QString reached() const;
    // The names a finished listing received, in the order the column shows them.
    names::NameList takeNames() { return std::move(names_); }

    // Stops waiting for the answer at once.
    void abandon() override;

private:
    HelperCall(char kind, const std::string& body, QByteArray path);
    void lose(Loss loss, int error);
    void answered();

    char kind_;
    QByteArray path_; // the entry the request is about, for finding its mount
    State state_ = State::Running;
    int error_ = 0;
    Loss loss_ = Loss::None;
    int startError_ = 0;
    bool firstStartFailure_ = false;
    names::NameList names_;
    struct Helper; // the helper process serving the call
    std::unique_ptr<Helper> helper_;
    std::shared_ptr<HelperAnswer> answer_;
};

// Where the helper program is: by default `dirquill-io` beside the running program.
void setHelperProgram(const QString& path);

// Starts the helper that the next request will use, unless one is ready, so that the
// first click does not wait for a process to start.
void prepareHelper();

// The process id of the helper that is ready for the next request, or -1.
int readyHelperPid();

} // namespace platform
