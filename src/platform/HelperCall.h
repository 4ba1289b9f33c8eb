#pragma once

#include "platform/NameList.h"
#include "platform/NameOrder.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

// The program's side of the file helper `dirquill-io`. Every file-system call made for
// the user goes through it, so that a mount or folder that never answers keeps only that
// helper waiting, never one of the program's own threads.
namespace platform {

// One request to the file helper. The answer is read from the event loop of the thread
// that made the request: finished() is emitted once, when the answer is complete or the
// helper was lost. An abandoned call emits nothing more; its helper is killed if it can
// be and left behind if it is stuck in the kernel, and whatever it answers late is never
// read.
class HelperCall : public QObject {
    Q_OBJECT
public:
    enum class State { Running, Done, Lost, Abandoned };

    static std::unique_ptr<HelperCall> list(const QString& folder);
    static std::unique_ptr<HelperCall> makeFolder(const QString& path);
    static std::unique_ptr<HelperCall> trash(const QString& path);
    static std::unique_ptr<HelperCall> rename(const QString& from, const QString& to);

    ~HelperCall() override;
    HelperCall(const HelperCall&) = delete;
    HelperCall& operator=(const HelperCall&) = delete;

    [[nodiscard]] State state() const { return state_; }
    [[nodiscard]] bool running() const { return state_ == State::Running; }
    // 0 when the call was carried out, else the errno value: the system's refusal,
    // ECANCELED when abandoned, ECHILD when no helper could be had.
    [[nodiscard]] int error() const { return error_; }
    // How many entries a listing has read so far.
    [[nodiscard]] quint64 entriesRead() const { return entriesRead_; }
    // The names a finished listing received, in the order the column shows them.
    platform::NameList takeNames() { return std::move(names_); }

    // Stops waiting for the answer at once.
    void abandon();

signals:
    void progressed();
    void finished();

private:
    HelperCall(char kind, const std::string& body);
    // Whether the answer is still coming in (a listing is then put in order).
    [[nodiscard]] bool receiving() const { return state_ == State::Running && fd_ >= 0; }
    void readAnswer();
    void handleFrame(char kind, std::string_view body);
    void finish(State state, int error);
    void sortAside();
    void complete(State state, int error);
    void dropNotifier();

    State state_ = State::Running;
    int error_ = 0;
    quint64 entriesRead_ = 0;
    platform::NameList names_;
    NameSorter sorter_;
    int pid_ = -1;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    struct Reader;
    std::unique_ptr<Reader> reader_;
};

// Where the helper program is: by default `dirquill-io` beside the running program.
void setHelperProgram(const QString& path);

// Starts the helper that the next request will use, unless one is ready, so that the
// first click does not wait for a process to start.
void prepareHelper();

// The process id of the helper that is ready for the next request, or -1.
int readyHelperPid();

} // namespace platform
