// slowfs: a FUSE file system over a backing folder whose calls answer normally, slowly or
// never, so that tests can stand it in for a dead network mount.
//
//   slowfs BACKING MOUNTPOINT [--statfs=never|zero] [--pace=MICROSECONDS]
//          [-o fsname=DEV,subtype=TYPE]
//
// What a path does is chosen by the names of its components:
//   stuck*  the folder's own look-up answers, but opening it, or anything below it, never does
//   dead*   no call on it or below it ever answers, its look-up included
//   slow*   every call on it or below it answers after two seconds
// A call that never answers keeps its thread asleep until the daemon is killed; the kernel
// then fails every waiting call with ENOTCONN. Entries are never cached, so what a name
// does holds from the first call on. With --pace, every call on a path (and every write)
// first waits that long, so that a short operation spreads over a measurable time.

#define FUSE_USE_VERSION 312

#include <fuse3/fuse.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

std::string backing;
enum class StatfsMode { Normal, Never, Zero } statfsMode = StatfsMode::Normal;
useconds_t paceMicroseconds = 0;

void pace() {
    if (paceMicroseconds != 0) {
        ::usleep(paceMicroseconds);
    }
}

enum class Delay { None, Slow, Never };

// How a call on `path` answers. `opening` is true for calls that open or go into a folder;
// a stuck folder answers everything else.
Delay delayFor(const char* path, bool opening) {
    Delay delay = Delay::None;
    const std::string text = path;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string part = text.substr(start, end - start);
        const bool last = end == text.size();
        if (part.rfind("dead", 0) == 0) {
            return Delay::Never;
        }
        if (part.rfind("stuck", 0) == 0 && (!last || opening)) {
            return Delay::Never;
        }
        if (part.rfind("slow", 0) == 0 && opening) {
            delay = Delay::Slow;
        }
        start = end + 1;
    }
    return delay;
}

void wait(Delay delay) {
    if (delay == Delay::Slow) {
        ::sleep(2);
    }
    while (delay == Delay::Never) {
        ::pause();
    }
}

std::string real(const char* path, bool opening = false) {
    pace();
    wait(delayFor(path, opening));
    return backing + path;
}

// A slow folder is slow to open; reading it once open is quick.
std::string opened(const char* path) {
    pace();
    if (delayFor(path, true) == Delay::Never) {
        wait(Delay::Never);
    }
    return backing + path;
}

int result(int rc) {
    return rc < 0 ? -errno : rc;
}

void* initOp(fuse_conn_info* conn, fuse_config* cfg) {
    // Plain readdir: listing a folder must not look up its entries.
    conn->want &= ~FUSE_CAP_READDIRPLUS;
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->use_ino = 0;
    return nullptr;
}

int getattrOp(const char* path, struct stat* st, fuse_file_info*) {
    return result(::lstat(real(path).c_str(), st));
}

int opendirOp(const char* path, fuse_file_info*) {
    DIR* dir = ::opendir(real(path, true).c_str());
    if (dir == nullptr) {
        return -errno;
    }
    ::closedir(dir);
    return 0;
}

int readdirOp(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    DIR* dir = ::opendir(opened(path).c_str());
    if (dir == nullptr) {
        return -errno;
    }
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        st.st_ino = entry->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buf, entry->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) {
            break;
        }
    }
    ::closedir(dir);
    return 0;
}

int mkdirOp(const char* path, mode_t mode) {
    return result(::mkdir(real(path, true).c_str(), mode));
}

int unlinkOp(const char* path) {
    return result(::unlink(real(path).c_str()));
}

int rmdirOp(const char* path) {
    return result(::rmdir(real(path).c_str()));
}

int renameOp(const char* from, const char* to, unsigned int flags) {
    const std::string source = real(from);
    const std::string target = real(to, true);
    return result(static_cast<int>(
        ::syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), flags)));
}

int chmodOp(const char* path, mode_t mode, fuse_file_info*) {
    return result(::chmod(real(path).c_str(), mode));
}

int chownOp(const char* path, uid_t uid, gid_t gid, fuse_file_info*) {
    return result(::lchown(real(path).c_str(), uid, gid));
}

int truncateOp(const char* path, off_t size, fuse_file_info*) {
    return result(::truncate(real(path).c_str(), size));
}

int utimensOp(const char* path, const timespec times[2], fuse_file_info*) {
    return result(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int createOp(const char* path, mode_t mode, fuse_file_info* fi) {
    const int fd = ::open(real(path, true).c_str(), fi->flags, mode);
    if (fd < 0) {
        return -errno;
    }
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int openOp(const char* path, fuse_file_info* fi) {
    const int fd = ::open(real(path, true).c_str(), fi->flags);
    if (fd < 0) {
        return -errno;
    }
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int readOp(const char*, char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    return result(static_cast<int>(::pread(static_cast<int>(fi->fh), buf, size, offset)));
}

int writeOp(const char*, const char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    pace();
    return result(static_cast<int>(::pwrite(static_cast<int>(fi->fh), buf, size, offset)));
}

int releaseOp(const char*, fuse_file_info* fi) {
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int fsyncOp(const char*, int, fuse_file_info* fi) {
    return result(::fsync(static_cast<int>(fi->fh)));
}

int statfsOp(const char* path, struct statvfs* st) {
    if (statfsMode == StatfsMode::Never) {
        wait(Delay::Never);
    }
    const int rc = result(::statvfs(real(path).c_str(), st));
    if (rc == 0 && statfsMode == StatfsMode::Zero) {
        st->f_blocks = 0;
        st->f_bfree = 0;
        st->f_bavail = 0;
    }
    return rc;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: slowfs BACKING MOUNTPOINT [--statfs=never|zero] "
                             "[--pace=MICROSECONDS] [-o ...]\n");
        return 2;
    }
    backing = argv[1];
    std::vector<char*> args{argv[0]};
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--statfs=never") == 0) {
            statfsMode = StatfsMode::Never;
        } else if (std::strcmp(argv[i], "--statfs=zero") == 0) {
            statfsMode = StatfsMode::Zero;
        } else if (std::strncmp(argv[i], "--pace=", 7) == 0) {
            paceMicroseconds = static_cast<useconds_t>(std::strtoul(argv[i] + 7, nullptr, 10));
        } else {
            args.push_back(argv[i]);
        }
    }
    fuse_operations ops{};
    ops.init = initOp;
    ops.getattr = getattrOp;
    ops.opendir = opendirOp;
    ops.readdir = readdirOp;
    ops.mkdir = mkdirOp;
    ops.unlink = unlinkOp;
    ops.rmdir = rmdirOp;
    ops.rename = renameOp;
    ops.chmod = chmodOp;
    ops.chown = chownOp;
    ops.truncate = truncateOp;
    ops.utimens = utimensOp;
    ops.create = createOp;
    ops.open = openOp;
    ops.read = readOp;
    ops.write = writeOp;
    ops.release = releaseOp;
    ops.fsync = fsyncOp;
    ops.statfs = statfsOp;
    fuse_args fargs = FUSE_ARGS_INIT(static_cast<int>(args.size()), args.data());
    fuse* fs = fuse_new(&fargs, &ops, sizeof(ops), nullptr);
    if (fs == nullptr || fuse_mount(fs, argv[2]) != 0) {
        return 1;
    }
    // Every call that never answers keeps a thread; there must always be one more.
    fuse_loop_config* loop = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(loop, 1000);
    const int rc = fuse_loop_mt(fs, loop);
    fuse_loop_cfg_destroy(loop);
    fuse_unmount(fs);
    fuse_destroy(fs);
    return rc == 0 ? 0 : 1;
}
