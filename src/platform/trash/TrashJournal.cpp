#include "platform/trash/TrashJournal.h"

#include "platform/RawFiles.h"
#include "platform/trash/TrashFolder.h"

#include <QList>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::trash {

namespace {

const QByteArray kJournal = QByteArrayLiteral(".dirquill-journal");
const QByteArray kNoteSuffix = QByteArrayLiteral(".note");
const QByteArray kInfoSuffix = QByteArrayLiteral(".trashinfo");
// An info names one path of at most a few pages; a note longer than this is no note of ours.
constexpr qsizetype kMaxNoteBytes = qsizetype{1} << 20;

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t written =
            ::write(fd, data.constData() + done, static_cast<std::size_t>(data.size() - done));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += written;
    }
    return true;
}

// The whole content of the file open as `fd`, up to kMaxNoteBytes + 1 bytes.
QByteArray readAll(int fd) {
    QByteArray content;
    char buffer[4096];
    while (content.size() <= kMaxNoteBytes) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        content.append(buffer, got);
    }
    return content;
}

// Writes `data` to a new file `name` in `folder` and makes its data durable.
int writeDurably(int folder, const QByteArray& name, const QByteArray& data, int flags) {
    const Descriptor fd(::openat(folder, name.constData(),
                                 O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | flags, 0600));
    if (!fd.valid()) {
        return errno;
    }
    return writeAll(fd.get(), data) ? raw::syncFile(fd.get()) : errno;
}

// Whether `name` in `folder` is missing (not merely unreadable).
bool missing(int folder, const QByteArray& name) {
    struct stat status {};
    return ::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 &&
           errno == ENOENT;
}

// The names in the folder open as `fd`, read from a descriptor of its own.
QList<QByteArray> namesIn(int fd) {
    QList<QByteArray> names;
    DIR* folder = ::fdopendir(::dup(fd));
    if (folder == nullptr) {
        return names;
    }
    while (const dirent* item = ::readdir(folder)) {
        names.append(QByteArray(item->d_name));
    }
    ::closedir(folder);
    return names;
}

// Settles the note of the entry `name` whose writer is gone; see clearLeftovers.
void settle(int journal, int files, int info, const QByteArray& name) {
    const QByteArray noteName = name + kNoteSuffix;
    const Descriptor note(::openat(journal, noteName.constData(),
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (!note.valid() || ::flock(note.get(), LOCK_EX | LOCK_NB) != 0 ||
        ::fstat(note.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink == 0) {
        return; // its writer is at work, or another clearing took it
    }
    const QByteArray staged = name + kInfoSuffix;
    if (!missing(journal, staged)) {
        // The info never left the journal, so whatever info/ holds under the name is not
        // this trash's.
        if (::unlinkat(journal, staged.constData(), 0) != 0) {
            return;
        }
    } else if (missing(files, name)) {
        const QByteArray text = readAll(note.get());
        const Descriptor placed(::openat(
            info, staged.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!placed.valid() && errno != ENOENT) {
            return;
        }
        if (placed.valid() && !text.isEmpty() && readAll(placed.get()) == text) {
            // The info this trash placed, without its entry: the note goes only once its
            // removal is durable, or a power cut could bring it back unnoted.
            if (::unlinkat(info, staged.constData(), 0) != 0 || raw::syncFile(info) != 0) {
                return;
            }
        }
    }
    ::unlinkat(journal, noteName.constData(), 0);
}

} // namespace

Descriptor openJournal(int trashFolder) {
    return makeAndOpenFolder(trashFolder, kJournal.constData(), false);
}

int TrashNote::take(int journal, const QByteArray& name, const QByteArray& infoText) {
    const QByteArray noteName = name + kNoteSuffix;
    for (;;) {
        Descriptor note(::openat(journal, noteName.constData(),
                                 O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!note.valid()) {
            return errno;
        }
        // A clearing that found the note before it was locked may have removed it as one
        // left behind: then it is made again.
        struct stat status {};
        if (::flock(note.get(), LOCK_EX) != 0 || ::fstat(note.get(), &status) != 0) {
            const int error = errno;
            ::unlinkat(journal, noteName.constData(), 0);
            return error;
        }
        if (status.st_nlink == 0) {
            continue;
        }
        // Its text is durable before the info can be: placeInfo syncs the journal, which
        // holds the note's name, before it renames the info into info/.
        const int error = writeAll(note.get(), infoText) ? raw::syncFile(note.get()) : errno;
        if (error != 0) {
            ::unlinkat(journal, noteName.constData(), 0);
            return error;
        }
        journal_ = journal;
        name_ = name;
        note_ = std::move(note);
        return 0;
    }
}

int TrashNote::placeInfo(int info, const QByteArray& infoText) {
    const QByteArray staged = name_ + kInfoSuffix;
    int error = writeDurably(journal_, staged, infoText, O_TRUNC);
    if (error == 0) {
        error = raw::syncFile(journal_);
    }
    if (error == 0) {
        error = raw::renameNoReplaceAt(journal_, staged.constData(), info, staged.constData());
    }
    if (error != 0) {
        ::unlinkat(journal_, staged.constData(), 0);
        return error;
    }
    info_ = info;
    return raw::syncFile(info);
}

void TrashNote::clear() {
    ::unlinkat(journal_, (name_ + kNoteSuffix).constData(), 0);
    note_.reset();
}

void TrashNote::withdraw() {
    // The note goes only once the info's removal is durable.
    if (info_ >= 0 &&
        ((::unlinkat(info_, (name_ + kInfoSuffix).constData(), 0) != 0 && errno != ENOENT) ||
         raw::syncFile(info_) != 0)) {
        note_.reset();
        return;
    }
    clear();
}

void clearLeftovers(int trashFolder) {
    const Descriptor journal(::openat(trashFolder, kJournal.constData(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const Descriptor files(
        ::openat(trashFolder, "files", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const Descriptor info(
        ::openat(trashFolder, "info", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!journal.valid() || !files.valid() || !info.valid()) {
        return;
    }
    for (const QByteArray& name : namesIn(journal.get())) {
        if (name.endsWith(kNoteSuffix) && name.size() > kNoteSuffix.size()) {
            settle(journal.get(), files.get(), info.get(), name.chopped(kNoteSuffix.size()));
        }
    }
}

} // namespace platform::trash
