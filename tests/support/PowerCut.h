#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// Power cuts on a real FUSE file system that forgets what was not made durable
// (tests/support/forgetfs.cpp): a command is run again and again, the power cut after
// each of its file-system calls in turn, and what the disk holds then is checked for
// every choice of the folders whose unsynced changes were written out all the same.
namespace testsupport {

class ForgetMount {
public:
    ForgetMount();
    ~ForgetMount();
    ForgetMount(const ForgetMount&) = delete;
    ForgetMount& operator=(const ForgetMount&) = delete;

    [[nodiscard]] bool mounted() const { return mounted_; }
    // The mounted folder, which commands act on, and the folder behind it, which holds
    // what the disk holds once the power has come back.
    [[nodiscard]] QString path() const { return dir_.path() + "/mount"; }
    [[nodiscard]] QString backing() const { return dir_.path() + "/backing"; }

    // "sync", "cut N" (0: now), "restore MASK"; see forgetfs.cpp.
    void command(const QByteArray& text) const;
    struct Status {
        bool cut = false;
        int folders = 0; // folders with changes that were not durable at the cut
    };
    [[nodiscard]] Status status() const;

private:
    QTemporaryDir dir_;
    qint64 daemon_ = -1;
    bool mounted_ = false;
};

struct PowerCutTally {
    int cutPoints = 0; // calls cut after
    int states = 0;    // disks checked: cut points times the choices of folders written
    QStringList failures;
};

// Runs `act` (which reports whether the command said it succeeded) after `setUp` has
// filled the backing folder, cutting the power after its first, second... call, and once
// after it ended, until it ends before the cut. After every cut and choice of folders,
// `check(succeeded, finished)` names what is wrong with the disk (empty when nothing),
// where `finished` says the command ended and told its outcome before the cut.
PowerCutTally cutEverywhere(const ForgetMount& mount, const std::function<void()>& setUp,
                            const std::function<bool()>& act,
                            const std::function<QString(bool, bool)>& check);

} // namespace testsupport
