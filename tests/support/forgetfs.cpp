// forgetfs: a FUSE file system over a backing folder that forgets, at a power cut, what
// was not made durable, so that tests can see what a command leaves after one.
//
//   forgetfs BACKING MOUNTPOINT [-o ...]
//
// Every call goes straight through to the backing folder; beside it the daemon keeps what
// a disk would hold: the tree as it was at the last "sync", each file's data as of its
// last fsync, and the log of entry changes since (made, removed, renamed). An fsync of a
// folder makes every change that touched it durable; nothing else does (an fsync of a
// file makes its data durable, not its name). A rename is one change of both its folders,
// durable or lost as a whole.
//
// It is driven through the file /.forgetfs at its root, which is not listed and whose own
// calls are not counted. Write one command to it:
//   sync          take the backing folder as it is now as the durable state
//   cut N         cut the power after the Nth counted call from now (0: at once): every
//                 later call fails with EIO, as on a disk that is gone
//   restore MASK  rebuild the backing folder as the disk would hold it after that cut.
//                 Changes that were not durable are lost, except that the folders they
//                 touched that are set in MASK (bit i for the i-th such folder, in the
//                 order of their first change) had theirs written out all the same: a
//                 change is kept when every folder it touched was. Data not synced is
//                 always lost. May be repeated with other masks for the same cut.
// Reading it gives "calls C cut 0|1 folders K": calls counted since "cut", whether the
// power is off, and how many folders had changes that were not durable at the cut.

#define FUSE_USE_VERSION 312

#include <fuse3/fuse.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kControl = "/.forgetfs";

using Id = std::uint64_t;

struct Node {
    bool folder = false;
    std::string data;                  // a file's durable data
    std::map<std::string, Id> entries; // a folder's durable entries
};

// One change of the entries of one or two folders.
struct Change {
    enum Kind { Add, Remove, Move } kind = Add;
    Id from = 0; // the folder an entry left (Remove, Move)
    std::string fromName;
    Id to = 0; // the folder an entry joined (Add, Move)
    std::string toName;
    Id entry = 0;
    bool folder = false; // what Add made
    bool noReplace = false;
    bool durable = false;
};

// What a disk would hold: the tree at the last sync and what happened since.
struct Disk {
    std::map<Id, Node> base;
    Id root = 0;
    std::vector<Change> log;
    std::map<Id, std::string> syncedData; // data of files fsynced since the last sync
};

std::string backing;
Disk disk;
std::optional<Disk> atCut; // the disk as the power went off
std::map<ino_t, Id> idOfInode;
Id nextId = 1;
long calls = 0;
long cutAfter = -1;
bool powerOff = false;
std::string status;

std::string real(const char* path) {
    return backing + path;
}

Id idOf(const std::string& backingPath) {
    struct stat st {};
    if (::lstat(backingPath.c_str(), &st) != 0) {
        return 0;
    }
    auto [it, fresh] = idOfInode.try_emplace(st.st_ino, nextId);
    if (fresh) {
        ++nextId;
    }
    return it->second;
}

// The names in a real folder, "." and ".." left out; none when it cannot be read.
std::vector<std::string> namesIn(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    return names;
}

std::string childOf(const std::string& folder, const std::string& name) {
    std::string path = folder;
    path += '/';
    path += name;
    return path;
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool readWhole(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    out.clear();
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        out.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

// Takes the tree below `path` into `nodes`, returning its id.
Id scan(const std::string& path, std::map<Id, Node>& nodes) {
    const Id id = idOf(path);
    struct stat st {};
    ::lstat(path.c_str(), &st);
    Node& node = nodes[id];
    node.folder = S_ISDIR(st.st_mode);
    if (!node.folder) {
        readWhole(path, node.data);
        return id;
    }
    for (const std::string& name : namesIn(path)) {
        const Id child = scan(childOf(path, name), nodes);
        nodes[id].entries[name] = child;
    }
    return id;
}

void syncAll() {
    idOfInode.clear();
    disk = Disk{};
    disk.root = scan(backing, disk.base);
    atCut.reset();
    powerOff = false;
    cutAfter = -1;
    calls = 0;
}

std::vector<Id> foldersOf(const Change& change) {
    std::vector<Id> folders;
    if (change.kind != Change::Add) {
        folders.push_back(change.from);
    }
    if (change.kind != Change::Remove && change.to != change.from) {
        folders.push_back(change.to);
    }
    return folders;
}

// The folders with changes that are not durable, in the order of their first change.
std::vector<Id> unsyncedFolders(const Disk& state) {
    std::vector<Id> folders;
    for (const Change& change : state.log) {
        if (change.durable) {
            continue;
        }
        for (const Id folder : foldersOf(change)) {
            if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
                folders.push_back(folder);
            }
        }
    }
    return folders;
}

// Applies a change to the durable tree, as far as what it acted on is there: an entry
// that never reached its folder on disk cannot leave it, and a name taken on disk is
// not taken again.
void apply(std::map<Id, Node>& nodes, const Disk& state, const Change& change) {
    const auto folderNode = [&nodes](Id id) -> Node* {
        const auto it = nodes.find(id);
        return it != nodes.end() && it->second.folder ? &it->second : nullptr;
    };
    Node* from = nullptr;
    if (change.kind != Change::Add) {
        from = folderNode(change.from);
        if (from == nullptr) {
            return;
        }
        const auto it = from->entries.find(change.fromName);
        if (it == from->entries.end() || it->second != change.entry) {
            return;
        }
    }
    Node* to = nullptr;
    if (change.kind != Change::Remove) {
        // A folder whose own making was lost still holds what was written into it, out
        // of reach of every path.
        if (nodes.count(change.to) == 0) {
            nodes[change.to].folder = true;
        }
        to = folderNode(change.to);
        if (to == nullptr) {
            return;
        }
        const auto it = to->entries.find(change.toName);
        const bool taken = it != to->entries.end() && it->second != change.entry;
        if (taken && (change.kind == Change::Add || change.noReplace)) {
            return;
        }
    }
    if (change.kind == Change::Add && nodes.count(change.entry) == 0) {
        Node& made = nodes[change.entry];
        made.folder = change.folder;
        if (const auto synced = state.syncedData.find(change.entry);
            synced != state.syncedData.end()) {
            made.data = synced->second;
        }
    }
    if (from != nullptr) {
        from->entries.erase(change.fromName);
    }
    if (to != nullptr) {
        to->entries[change.toName] = change.entry;
    }
}

void removeTree(const std::string& path, bool self) {
    for (const std::string& name : namesIn(path)) {
        removeTree(childOf(path, name), true);
    }
    if (self && ::rmdir(path.c_str()) != 0) {
        ::unlink(path.c_str());
    }
}

void build(const std::map<Id, Node>& nodes, Id id, const std::string& path, std::set<Id>& onPath) {
    const Node& node = nodes.at(id);
    for (const auto& [name, child] : node.entries) {
        const auto it = nodes.find(child);
        if (it == nodes.end() || onPath.count(child) != 0) {
            continue;
        }
        const std::string target = childOf(path, name);
        if (it->second.folder) {
            ::mkdir(target.c_str(), 0755);
            onPath.insert(child);
            build(nodes, child, target, onPath);
            onPath.erase(child);
        } else {
            const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd >= 0) {
                const std::string& data = it->second.data;
                [[maybe_unused]] const ssize_t written = ::write(fd, data.data(), data.size());
                ::close(fd);
            }
        }
    }
}

void restore(unsigned long mask) {
    if (!atCut) {
        return;
    }
    const Disk& state = *atCut;
    const std::vector<Id> folders = unsyncedFolders(state);
    std::set<Id> written;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if ((mask >> i & 1UL) != 0) {
            written.insert(folders[i]);
        }
    }
    std::map<Id, Node> nodes = state.base;
    for (const auto& [id, data] : state.syncedData) {
        if (const auto it = nodes.find(id); it != nodes.end() && !it->second.folder) {
            it->second.data = data;
        }
    }
    for (const Change& change : state.log) {
        bool kept = change.durable;
        if (!kept) {
            kept = true;
            for (const Id folder : foldersOf(change)) {
                kept = kept && written.count(folder) != 0;
            }
        }
        if (kept) {
            apply(nodes, state, change);
        }
    }
    removeTree(backing, false);
    std::set<Id> onPath{state.root};
    build(nodes, state.root, backing, onPath);
    powerOff = false;
    cutAfter = -1;
}

void control(const std::string& command) {
    if (command.rfind("sync", 0) == 0) {
        syncAll();
    } else if (command.rfind("cut ", 0) == 0) {
        calls = 0;
        cutAfter = std::strtol(command.c_str() + 4, nullptr, 10);
        atCut.reset();
        if (cutAfter == 0) {
            powerOff = true;
            atCut = disk;
        }
    } else if (command.rfind("restore ", 0) == 0) {
        restore(std::strtoul(command.c_str() + 8, nullptr, 10));
    }
}

// Every counted call begins here: false when the power is off.
bool powered() {
    return !powerOff;
}

// And ends here, having made its change; the power goes off after the chosen call.
int counted(int rc) {
    if (++calls == cutAfter) {
        powerOff = true;
        atCut = disk;
    }
    return rc;
}

int result(int rc) {
    return counted(rc < 0 ? -errno : rc);
}

void logChange(Change change) {
    disk.log.push_back(std::move(change));
}

void makeDurable(Id folder) {
    for (Change& change : disk.log) {
        const std::vector<Id> folders = foldersOf(change);
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) {
            change.durable = true;
        }
    }
}

bool isControl(const char* path) {
    return std::strcmp(path, kControl) == 0;
}

void* initOp(fuse_conn_info*, fuse_config* cfg) {
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->direct_io = 1;
    return nullptr;
}

int getattrOp(const char* path, struct stat* st, fuse_file_info*) {
    if (isControl(path)) {
        *st = {};
        st->st_mode = S_IFREG | 0600;
        st->st_nlink = 1;
        st->st_size = 4096;
        return 0;
    }
    if (!powered()) {
        return -EIO;
    }
    return result(::lstat(real(path).c_str(), st));
}

int opendirOp(const char* path, fuse_file_info*) {
    if (!powered()) {
        return -EIO;
    }
    DIR* dir = ::opendir(real(path).c_str());
    if (dir == nullptr) {
        return result(-1);
    }
    ::closedir(dir);
    return counted(0);
}

int readdirOp(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    if (!powered()) {
        return -EIO;
    }
    DIR* dir = ::opendir(real(path).c_str());
    if (dir == nullptr) {
        return result(-1);
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(path, "/") == 0 && std::strcmp(entry->d_name, kControl + 1) == 0) {
            continue;
        }
        if (fill(buf, entry->d_name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) {
            break;
        }
    }
    ::closedir(dir);
    return counted(0);
}

int fsyncdirOp(const char* path, int, fuse_file_info*) {
    if (!powered()) {
        return -EIO;
    }
    makeDurable(idOf(real(path)));
    return counted(0);
}

int mkdirOp(const char* path, mode_t mode) {
    if (!powered()) {
        return -EIO;
    }
    if (::mkdir(real(path).c_str(), mode) != 0) {
        return result(-1);
    }
    const std::string p = path;
    logChange(
        {Change::Add, 0, {}, idOf(real(parentOf(p).c_str())), nameOf(p), idOf(real(path)), true});
    return counted(0);
}

int unlinkOrRmdir(const char* path, bool folder) {
    if (!powered()) {
        return -EIO;
    }
    const std::string p = path;
    const Id parent = idOf(real(parentOf(p).c_str()));
    const Id entry = idOf(real(path));
    struct stat st {};
    ::lstat(real(path).c_str(), &st);
    if ((folder ? ::rmdir(real(path).c_str()) : ::unlink(real(path).c_str())) != 0) {
        return result(-1);
    }
    idOfInode.erase(st.st_ino);
    logChange({Change::Remove, parent, nameOf(p), 0, {}, entry, folder});
    return counted(0);
}

int unlinkOp(const char* path) {
    return unlinkOrRmdir(path, false);
}

int rmdirOp(const char* path) {
    return unlinkOrRmdir(path, true);
}

int renameOp(const char* from, const char* to, unsigned int flags) {
    if (!powered()) {
        return -EIO;
    }
    if ((flags & ~static_cast<unsigned int>(RENAME_NOREPLACE)) != 0) {
        return -EINVAL;
    }
    const std::string source = from;
    const std::string target = to;
    const Id entry = idOf(real(from));
    struct stat replaced {};
    const bool replacing = ::lstat(real(to).c_str(), &replaced) == 0;
    if (::syscall(SYS_renameat2, AT_FDCWD, real(from).c_str(), AT_FDCWD, real(to).c_str(), flags) !=
        0) {
        return result(-1);
    }
    if (replacing) {
        idOfInode.erase(replaced.st_ino);
    }
    logChange({Change::Move, idOf(real(parentOf(source).c_str())), nameOf(source),
               idOf(real(parentOf(target).c_str())), nameOf(target), entry, false,
               (flags & RENAME_NOREPLACE) != 0});
    return counted(0);
}

int createOp(const char* path, mode_t mode, fuse_file_info* fi) {
    if (!powered()) {
        return -EIO;
    }
    const bool existed = ::access(real(path).c_str(), F_OK) == 0;
    const int fd = ::open(real(path).c_str(), fi->flags, mode);
    if (fd < 0) {
        return result(-1);
    }
    fi->fh = static_cast<std::uint64_t>(fd);
    if (!existed) {
        const std::string p = path;
        logChange({Change::Add,
                   0,
                   {},
                   idOf(real(parentOf(p).c_str())),
                   nameOf(p),
                   idOf(real(path)),
                   false});
    }
    return counted(0);
}

int openOp(const char* path, fuse_file_info* fi) {
    if (isControl(path)) {
        fi->fh = static_cast<std::uint64_t>(-1);
        fi->direct_io = 1;
        return 0;
    }
    if (!powered()) {
        return -EIO;
    }
    const int fd = ::open(real(path).c_str(), fi->flags & ~O_CREAT);
    if (fd < 0) {
        return result(-1);
    }
    fi->fh = static_cast<std::uint64_t>(fd);
    return counted(0);
}

int readOp(const char* path, char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    if (isControl(path)) {
        status = "calls " + std::to_string(calls) + " cut " + (powerOff || atCut ? "1" : "0") +
                 " folders " + std::to_string(atCut ? unsyncedFolders(*atCut).size() : 0) + '\n';
        if (offset >= static_cast<off_t>(status.size())) {
            return 0;
        }
        const std::size_t n = std::min(size, status.size() - static_cast<std::size_t>(offset));
        status.copy(buf, n, static_cast<std::size_t>(offset));
        return static_cast<int>(n);
    }
    if (!powered()) {
        return -EIO;
    }
    return result(static_cast<int>(::pread(static_cast<int>(fi->fh), buf, size, offset)));
}

int writeOp(const char* path, const char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    if (isControl(path)) {
        control(std::string(buf, size));
        return static_cast<int>(size);
    }
    if (!powered()) {
        return -EIO;
    }
    return result(static_cast<int>(::pwrite(static_cast<int>(fi->fh), buf, size, offset)));
}

int truncateOp(const char* path, off_t size, fuse_file_info*) {
    if (isControl(path)) {
        return 0;
    }
    if (!powered()) {
        return -EIO;
    }
    return result(::truncate(real(path).c_str(), size));
}

int releaseOp(const char*, fuse_file_info* fi) {
    if (fi->fh != static_cast<std::uint64_t>(-1)) {
        ::close(static_cast<int>(fi->fh));
    }
    return 0;
}

int fsyncOp(const char* path, int, fuse_file_info* fi) {
    if (!powered()) {
        return -EIO;
    }
    std::string data;
    if (!readWhole(real(path), data)) {
        return result(-1);
    }
    (void)fi;
    disk.syncedData[idOf(real(path))] = data;
    return counted(0);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: forgetfs BACKING MOUNTPOINT [-o ...]\n");
        return 2;
    }
    backing = argv[1];
    std::vector<char*> args{argv[0]};
    for (int i = 3; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    syncAll();
    fuse_operations ops{};
    ops.init = initOp;
    ops.getattr = getattrOp;
    ops.opendir = opendirOp;
    ops.readdir = readdirOp;
    ops.fsyncdir = fsyncdirOp;
    ops.mkdir = mkdirOp;
    ops.unlink = unlinkOp;
    ops.rmdir = rmdirOp;
    ops.rename = renameOp;
    ops.truncate = truncateOp;
    ops.create = createOp;
    ops.open = openOp;
    ops.read = readOp;
    ops.write = writeOp;
    ops.release = releaseOp;
    ops.fsync = fsyncOp;
    fuse_args fargs = FUSE_ARGS_INIT(static_cast<int>(args.size()), args.data());
    fuse* fs = fuse_new(&fargs, &ops, sizeof(ops), nullptr);
    if (fs == nullptr || fuse_mount(fs, argv[2]) != 0) {
        return 1;
    }
    // One thread: the calls are counted in the order they come.
    const int rc = fuse_loop(fs);
    fuse_unmount(fs);
    fuse_destroy(fs);
    return rc == 0 ? 0 : 1;
}
