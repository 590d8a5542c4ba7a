// SPDX-License-Identifier: Apache-2.0
#include "hive/hive_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>

#include "platform/registry.h"

namespace snmphelper::platform::hive {

namespace {

using regtext::Key;

constexpr const char *kLockSuffix = ".lock";
// "<hive>" + this + mkostemp's six characters names a temporary file.
constexpr std::string_view kTemporaryInfix = ".new-";
constexpr std::size_t kTemporaryUniqueLength = 6;
// A hive is a few kilobytes; anything this large is not one.
constexpr std::size_t kMaxHiveSize = 64 * 1024 * 1024;
// A printer's password, which the store must not show to every user.
constexpr std::string_view kCommunityName = "Community";
// How the writer starts every hive, and all that a text to append to may
// start with: the encoding and the reading of hex texts are then those of
// the text appended.
constexpr std::string_view kVersion5Start = "Windows Registry Editor Version 5.00\n";

std::string DirectoryOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::int32_t FromErrno(int error, std::int32_t otherwise) {
    if (error == ENOENT || error == ENOTDIR) return kRegistryNotFound;
    if (error == EACCES || error == EPERM || error == EROFS) return kRegistryAccessDenied;
    if (error == ENOMEM) return kRegistryNoMemory;
    return otherwise;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

struct HiveFile {
    std::unique_ptr<Key> tree;
    bool exists = false;
    struct stat status {};
};

// A file's bytes, read into room that is not zero-filled first; or, for a
// hive this process wrote, the text it wrote.
struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::string written;
    std::string_view View() const { return data != nullptr ? std::string_view(data.get(), size) : written; }
};

// Opens the hive for reading; `linked` tells whether the path's last
// component is a symbolic link, which moves the folder a rewrite goes to.
// Asked by the open itself, so that knowing costs nothing when it is no link.
int OpenHiveForReading(const std::string &path, bool &linked) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    linked = fd < 0 && errno == ELOOP;
    return linked ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : fd;
}

// Reads the whole hive file into `bytes`; `linked` as OpenHiveForReading
// gives it (may be null). `problem` (may be null) receives why a file that
// was read is not a hive.
std::int32_t ReadHiveBytes(const std::string &path, FileBytes &bytes, struct stat &status, std::string *problem,
                           bool *linked = nullptr) {
    bool isLink = false;
    FileDescriptor file(OpenHiveForReading(path, isLink));
    if (linked != nullptr) *linked = isLink;
    if (file.get() < 0) return FromErrno(errno, kRegistryCannotRead);
    if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return kRegistryCannotRead;
    // Asks for one octet more than the size seen: a read that stops at that
    // size has met the end, and no further read is needed to learn it.
    const auto expected = static_cast<std::size_t>(status.st_size < 0 ? 0 : status.st_size);
    std::size_t room = std::min(expected, kMaxHiveSize) + 1;
    bytes.data = std::make_unique_for_overwrite<char[]>(room);
    std::size_t filled = 0;
    for (;;) {
        if (filled == room) {
            if (filled > kMaxHiveSize) {
                if (problem != nullptr) *problem = "the file is too large to be a registry hive";
                return kRegistryCorrupt;
            }
            room = std::min(2 * filled, kMaxHiveSize + 1);  // it grew since the fstat
            auto larger = std::make_unique_for_overwrite<char[]>(room);
            std::memcpy(larger.get(), bytes.data.get(), filled);
            bytes.data = std::move(larger);
        }
        const ssize_t got = read(file.get(), bytes.data.get() + filled, room - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return kRegistryCannotRead;
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
        if (filled == expected && filled < room) break;
    }
    bytes.size = filled;
    return kRegistrySuccess;
}

std::int32_t ParseHive(std::string_view bytes, std::unique_ptr<Key> &tree, std::string *problem) {
    tree = std::make_unique<Key>();
    std::string why;
    if (!regtext::ApplyRegText(bytes, *tree, why)) {
        if (problem != nullptr) *problem = why;
        tree.reset();
        return kRegistryCorrupt;
    }
    return kRegistrySuccess;
}

// Reads and parses the hive into a tree of the caller's own, to change.
// `problem` (may be null) receives the parse error.
std::int32_t ReadHive(const std::string &path, HiveFile &hive, std::string *problem) {
    FileBytes bytes;
    const std::int32_t code = ReadHiveBytes(path, bytes, hive.status, problem);
    if (code != kRegistrySuccess) return code;
    hive.exists = true;
    return ParseHive(bytes.View(), hive.tree, problem);
}

// What tells a file's bytes apart without reading them: a rename brings
// another inode, a rewrite in place another size or other times.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    // Who looked: the same file may be readable to one and not another.
    uid_t reader = 0;
    gid_t readerGroup = 0;
};

bool SameTime(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

FileIdentity IdentityOf(const struct stat &status) {
    FileIdentity identity;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
    identity.size = status.st_size;
    identity.modified = status.st_mtim;
    identity.changed = status.st_ctim;
    identity.reader = geteuid();
    identity.readerGroup = getegid();
    return identity;
}

bool SameIdentity(const FileIdentity &a, const FileIdentity &b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size && SameTime(a.modified, b.modified) &&
           SameTime(a.changed, b.changed) && a.reader == b.reader && a.readerGroup == b.readerGroup;
}

// Whether the file's times are kSettledSeconds older than `readAt`.
bool Settled(const struct stat &status, const timespec &readAt) {
    const time_t limit = readAt.tv_sec - static_cast<time_t>(kSettledSeconds);
    return status.st_mtim.tv_sec < limit && status.st_ctim.tv_sec < limit;
}

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// The tree parsed from the hive this process read last, and what tells
// whether the hive still holds those bytes.
struct ParsedHive {
    std::string path;
    FileIdentity identity;
    bool settled = false;  // the identity alone tells
    FileBytes bytes;       // while not settled: to compare the next read's with
    std::shared_ptr<const Key> tree;
};

// The last parse, shared by every thread. Readers take a reference to it
// under the mutex and compare outside it; a new parse replaces it whole.
class ParseCache {
public:
    std::shared_ptr<const ParsedHive> Last() {
        const std::lock_guard<std::mutex> guard(mutex_);
        return last_;
    }
    void Keep(std::shared_ptr<const ParsedHive> parsed) {
        const std::lock_guard<std::mutex> guard(mutex_);
        last_ = std::move(parsed);
    }
    // Forgets the last parse when its tree is `tree` and only the cache and
    // the caller hold it, so that the caller may change it: no other thread
    // can reach it then. False (nothing forgotten) otherwise.
    bool Release(const std::shared_ptr<const Key> &tree) {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (last_ == nullptr || last_->tree != tree || last_.use_count() != 1 || tree.use_count() != 2) {
            return false;
        }
        last_.reset();
        return true;
    }

private:
    std::mutex mutex_;
    std::shared_ptr<const ParsedHive> last_;
};

// Never destroyed, so that a thread still opening keys while the process
// exits finds it intact.
ParseCache &TheParseCache() {
    static ParseCache *const cache = new ParseCache;
    return *cache;
}

// The status of the file at `path` (a symbolic link followed, `linked`
// telling whether it was one), when it is a regular file.
bool StatHive(const std::string &path, struct stat &status, bool &linked) {
    if (lstat(path.c_str(), &status) != 0) return false;
    linked = S_ISLNK(status.st_mode);
    if (linked && stat(path.c_str(), &status) != 0) return false;
    return S_ISREG(status.st_mode);
}

// The hive's tree as the file holds it now: the last parse while the file's
// identity says it still holds those bytes, else a read (and a parse unless
// the bytes are the last ones), which becomes the last parse. `status`
// receives the file's; `linked` as OpenHiveForReading gives it.
std::int32_t ReadParsed(const std::string &path, std::shared_ptr<const Key> &tree, struct stat &status,
                        bool &linked) {
    ParseCache &cache = TheParseCache();
    const std::shared_ptr<const ParsedHive> last = cache.Last();
    const bool lastIsHere = last != nullptr && last->path == path;
    // Taken before looking at the file: a change after this moment gives it
    // times the settled test below sees as new.
    const timespec readAt = Now();
    if (lastIsHere && last->settled && StatHive(path, status, linked) &&
        SameIdentity(IdentityOf(status), last->identity)) {
        tree = last->tree;
        return kRegistrySuccess;
    }
    FileBytes bytes;
    std::int32_t code = ReadHiveBytes(path, bytes, status, nullptr, &linked);
    if (code != kRegistrySuccess) return code;
    auto entry = std::make_shared<ParsedHive>();
    entry->path = path;
    entry->identity = IdentityOf(status);
    entry->settled = Settled(status, readAt);
    if (lastIsHere && !last->settled && last->bytes.View() == bytes.View()) {
        entry->tree = last->tree;
    } else {
        std::unique_ptr<Key> parsed;
        code = ParseHive(bytes.View(), parsed, nullptr);
        if (code != kRegistrySuccess) return code;
        entry->tree = std::move(parsed);
    }
    if (!entry->settled) entry->bytes = std::move(bytes);
    tree = entry->tree;
    cache.Keep(std::move(entry));
    return kRegistrySuccess;
}

// A writer's own tree to change: the last parse itself when nothing but the
// cache holds it (a process that writes once copies nothing), else a copy.
// Every tree is made as a changeable Key, so changing the one released is
// sound.
std::shared_ptr<Key> TreeToChange(std::shared_ptr<const Key> tree) {
    if (TheParseCache().Release(tree)) return std::const_pointer_cast<Key>(std::move(tree));
    return tree->Clone();
}

// After a write: what was written is the last parse, its bytes to compare
// with, so that the next read parses nothing when the hive is still that.
void KeepWritten(const std::string &path, std::string &&text, std::shared_ptr<const Key> tree) {
    auto entry = std::make_shared<ParsedHive>();
    entry->path = path;
    entry->bytes.written = std::move(text);
    entry->tree = std::move(tree);
    TheParseCache().Keep(std::move(entry));
}

bool WriteAll(int fd, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// Whether a key at or below `key` holds a "Community" value: a password of
// the printers', which the store must not show to every user.
bool HoldsCommunity(const Key &key) {
    if (key.FindValue(kCommunityName) != nullptr) return true;
    return std::any_of(key.subkeys.begin(), key.subkeys.end(),
                       [](const std::unique_ptr<Key> &subkey) { return HoldsCommunity(*subkey); });
}

// Whether the hive's group was chosen to share it: the hive kept others
// out already (an administrator's chgrp and chmod 0640, say), or its folder
// is setgid, which gives the folder's group to every file made in it.
bool GroupChosen(const std::string &path, const HiveFile &previous) {
    if (previous.exists && (previous.status.st_mode & S_IRWXO) == 0) return true;
    struct stat folder {};
    return stat(DirectoryOf(path).c_str(), &folder) == 0 && (folder.st_mode & S_ISGID) != 0;
}

// Gives the new file of a rewrite the hive's owner and group (a new hive
// keeps what its folder gave it) and its mode (0644 for a new one). Once the
// hive holds a community, others lose every bit, and so does the group
// unless it was chosen (GroupChosen) and the file has it: a writer who is
// not root keeps the hive's group only when it is one of theirs.
bool TakeOverOwnership(int fd, const std::string &path, const HiveFile &previous, bool community) {
    bool ownGroup = true;
    if (previous.exists && geteuid() == 0) {
        if (fchown(fd, previous.status.st_uid, previous.status.st_gid) != 0) return false;
    } else if (previous.exists) {
        ownGroup = fchown(fd, static_cast<uid_t>(-1), previous.status.st_gid) == 0;
    }
    mode_t mode = previous.exists ? (previous.status.st_mode & 07777) : 0644;
    if (community) {
        mode &= ~static_cast<mode_t>(S_IRWXO);
        if (!ownGroup || !GroupChosen(path, previous)) mode &= ~static_cast<mode_t>(S_IRWXG);
    }
    return fchmod(fd, mode) == 0;
}

// A file's first `size` octets mapped for reading: for the new hive, which
// no other process writes, so the mapping cannot lose its pages meanwhile.
class MappedBytes {
public:
    MappedBytes(int fd, std::size_t size)
        : size_(size), data_(size == 0 ? nullptr : mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0)) {}
    MappedBytes(const MappedBytes &) = delete;
    MappedBytes &operator=(const MappedBytes &) = delete;
    ~MappedBytes() {
        if (data_ != nullptr && data_ != MAP_FAILED) munmap(data_, size_);
    }
    bool Mapped() const { return data_ != MAP_FAILED; }
    std::string_view View() const {
        return data_ == nullptr || data_ == MAP_FAILED ? std::string_view()
                                                       : std::string_view(static_cast<const char *>(data_), size_);
    }

private:
    std::size_t size_;
    void *data_;
};

// The hive's replacement: a temporary file beside it, written, then given
// the hive's owner, group and mode (TakeOverOwnership), fsync'ed, renamed
// over the hive, and the directory fsync'ed. The caller holds the writers'
// lock. A file not put in place is removed when the object goes.
class NewHive {
public:
    explicit NewHive(const std::string &path)
        : path_(path), temporary_(path + std::string(kTemporaryInfix) + std::string(kTemporaryUniqueLength, 'X')),
          file_(mkostemp(temporary_.data(), O_CLOEXEC)) {
        error_ = file_.get() < 0 ? errno : 0;
    }
    NewHive(const NewHive &) = delete;
    NewHive &operator=(const NewHive &) = delete;
    ~NewHive() {
        if (file_.get() >= 0) {
            close(file_.release());
            unlink(temporary_.c_str());
        }
    }

    // kRegistrySuccess when the temporary file could be made.
    std::int32_t Made() const { return error_ == 0 ? kRegistrySuccess : FromErrno(error_, kRegistryCannotWrite); }
    void Write(std::string_view piece) { written_ = written_ && file_.get() >= 0 && WriteAll(file_.get(), piece); }
    // Copies what is left of the file `source` to the end of this one
    // inside the kernel, neither read into this process nor written from
    // it. The octets copied, or false when the copy failed or passed `limit`
    // (as it fails where files cannot be copied so).
    bool CopyFrom(int source, std::size_t limit, std::size_t &copied) {
        copied = 0;
        for (;;) {
            const ssize_t got = copy_file_range(source, nullptr, file_.get(), nullptr, limit + 1 - copied, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return false;
            if (got == 0) return true;
            copied += static_cast<std::size_t>(got);
            if (copied > limit) return false;
        }
    }
    int Descriptor() const { return file_.get(); }
    // Sets the disk writing what is written so far going, so that it goes
    // on while the caller works; the fsync then waits for less.
    void StartWriteback() {
#ifdef SYNC_FILE_RANGE_WRITE
        if (file_.get() >= 0) sync_file_range(file_.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    }
    // Puts the file in place of the hive, which `previous` describes;
    // `holdsCommunity` tells whether what was written holds a community.
    std::int32_t Commit(const HiveFile &previous, bool holdsCommunity) {
        if (file_.get() < 0) return Made();
        bool written = written_ && TakeOverOwnership(file_.get(), path_, previous, holdsCommunity);
        written = written && fsync(file_.get()) == 0;
        written = (close(file_.release()) == 0) && written;
        if (!written || rename(temporary_.c_str(), path_.c_str()) != 0) {
            unlink(temporary_.c_str());
            return kRegistryCannotWrite;
        }
        FileDescriptor directory(open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.get() >= 0) fsync(directory.get());
        return kRegistrySuccess;
    }

private:
    const std::string &path_;
    std::string temporary_;
    FileDescriptor file_;
    int error_ = 0;
    bool written_ = true;
};

// Replaces the hive with `tree`: temporary file, fsync, rename, fsync of the
// directory. The caller holds the writers' lock. `text` receives what was
// written.
std::int32_t WriteHive(const std::string &path, const HiveFile &previous, const Key &tree, std::string &text) {
    text = regtext::WriteRegText(tree, "");
    NewHive replacement(path);
    replacement.Write(text);
    return replacement.Commit(previous, HoldsCommunity(tree));
}

// What appending needs to know of a registry text, learnt in one reading
// that builds nothing: whether a key at or below `key` is opened, whether a
// community is set, and whether anything is removed (after which neither of
// the first two answers holds).
class AppendScan final : public regtext::RegTextEdits {
public:
    explicit AppendScan(const std::vector<std::string> &key) : key_(key) {}
    void RemoveKey(const std::vector<std::string> &) override { removes = true; }
    void OpenKey(const std::vector<std::string> &components) override {
        if (keyOpened || components.size() < key_.size()) return;
        keyOpened = std::equal(key_.begin(), key_.end(), components.begin(),
                               [](const std::string &a, const std::string &b) { return regtext::NamesEqual(a, b); });
    }
    void PutValue(std::string_view name, std::uint32_t, std::vector<std::uint8_t> &&) override {
        community = community || regtext::NamesEqual(name, kCommunityName);
    }
    void RemoveValue(std::string_view) override { removes = true; }

    bool keyOpened = false;
    bool community = false;
    bool removes = false;

private:
    const std::vector<std::string> &key_;
};

bool IsTemporaryName(std::string_view entry, std::string_view hiveName) {
    if (entry.size() != hiveName.size() + kTemporaryInfix.size() + kTemporaryUniqueLength ||
        entry.substr(0, hiveName.size()) != hiveName ||
        entry.substr(hiveName.size(), kTemporaryInfix.size()) != kTemporaryInfix) {
        return false;
    }
    const std::string_view unique = entry.substr(hiveName.size() + kTemporaryInfix.size());
    return std::all_of(unique.begin(), unique.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
}

// Removes the temporary files of writers that died before their rename.
// Only while holding the writers' lock: then no live writer owns one.
void RemoveDeadWritersFiles(const std::string &hive) {
    const std::size_t slash = hive.rfind('/');
    const std::string_view hiveName =
        slash == std::string::npos ? std::string_view(hive) : std::string_view(hive).substr(slash + 1);
    DIR *directory = opendir(DirectoryOf(hive).c_str());
    if (directory == nullptr) return;
    while (const dirent *entry = readdir(directory)) {
        if (!IsTemporaryName(entry->d_name, hiveName)) continue;
        struct stat status {};
        if (fstatat(dirfd(directory), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
            unlinkat(dirfd(directory), entry->d_name, 0);
        }
    }
    closedir(directory);
}

// The writers' lock, held while the object lives.
class WriterLock {
public:
    std::int32_t Acquire(const std::string &hive) {
        const std::string path = hive + kLockSuffix;
        // Whoever creates the lock file lets every writer open it, whatever
        // the umask; flock needs no more than read access.
        fd_ = open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            fchmod(fd_, 0644);
        } else if (errno == EEXIST) {
            fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (fd_ < 0) return FromErrno(errno, kRegistryCannotWrite);
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) return kRegistryCannotWrite;
        }
        return kRegistrySuccess;
    }
    WriterLock() = default;
    WriterLock(const WriterLock &) = delete;
    WriterLock &operator=(const WriterLock &) = delete;
    ~WriterLock() {
        if (fd_ >= 0) close(fd_);  // closing the last descriptor releases the flock
    }

private:
    int fd_ = -1;
};

}  // namespace

std::int32_t WriteAccess(const std::string &hive) {
    const int hiveAccess = faccessat(AT_FDCWD, hive.c_str(), W_OK, AT_EACCESS);
    if (hiveAccess != 0 && errno != ENOENT) return kRegistryAccessDenied;
    if (faccessat(AT_FDCWD, DirectoryOf(hive).c_str(), W_OK | X_OK, AT_EACCESS) == 0) return kRegistrySuccess;
    return errno == ENOENT || errno == ENOTDIR ? kRegistryPathNotFound : kRegistryAccessDenied;
}

std::int32_t ReadHiveShared(const std::string &path, std::shared_ptr<const Key> &tree, bool *linked) {
    struct stat status {};
    bool isLink = false;
    const std::int32_t code = ReadParsed(path, tree, status, isLink);
    if (linked != nullptr) *linked = isLink;
    return code;
}

std::string HiveProblem(const std::string &path) {
    HiveFile hive;
    std::string problem;
    ReadHive(path, hive, &problem);
    return problem;
}

std::int32_t ModifyHive(const std::string &path, bool createHive, const TreeChange &change,
                        std::shared_ptr<const Key> *result) {
    if (createHive) mkdir(DirectoryOf(path).c_str(), 0755);
    std::int32_t code = WriteAccess(path);
    if (code != kRegistrySuccess) return code;
    WriterLock lock;
    code = lock.Acquire(path);
    if (code != kRegistrySuccess) return code;
    RemoveDeadWritersFiles(path);
    HiveFile hive;
    std::shared_ptr<const Key> current;
    bool linked = false;
    code = ReadParsed(path, current, hive.status, linked);
    std::shared_ptr<Key> tree;
    if (code == kRegistryNotFound && createHive) {
        tree = std::make_shared<Key>();
    } else if (code != kRegistrySuccess) {
        return code;
    } else {
        hive.exists = true;
        tree = TreeToChange(std::move(current));
    }
    bool changed = !hive.exists;
    code = change(*tree, changed);
    if (code != kRegistrySuccess) return code;  // a released tree half changed goes with it
    std::shared_ptr<const Key> stored = std::move(tree);
    if (changed) {
        std::string text;
        code = WriteHive(path, hive, *stored, text);
        if (code != kRegistrySuccess) return code;
        KeepWritten(path, std::move(text), stored);
    }
    if (result != nullptr) *result = std::move(stored);
    return kRegistrySuccess;
}

std::int32_t AppendWhereAbsent(const std::string &path, const std::vector<std::string> &absentKey,
                               std::string_view import, bool &handled) {
    handled = false;
    std::string problem;
    AppendScan added(absentKey);
    if (!import.starts_with(kVersion5Start) || !regtext::ReadRegText(import, added, problem) || added.removes) {
        return kRegistrySuccess;
    }
    if (WriteAccess(path) != kRegistrySuccess) return kRegistrySuccess;
    WriterLock lock;
    if (lock.Acquire(path) != kRegistrySuccess) return kRegistrySuccess;
    RemoveDeadWritersFiles(path);
    HiveFile hive;
    bool linked = false;
    const FileDescriptor source(OpenHiveForReading(path, linked));
    if (source.get() < 0 || fstat(source.get(), &hive.status) != 0 || !S_ISREG(hive.status.st_mode)) {
        return kRegistrySuccess;
    }
    hive.exists = true;
    // The new hive starts as the kernel's copy of the old one, and the disk
    // is writing it while it is read through: from the copy itself, which
    // only this writer has, so the bytes read are the bytes stored.
    NewHive replacement(path);
    std::size_t size = 0;
    if (replacement.Made() != kRegistrySuccess || !replacement.CopyFrom(source.get(), kMaxHiveSize, size)) {
        return kRegistrySuccess;
    }
    replacement.StartWriteback();
    bool endsInLine = true;
    bool community = added.community;
    {
        const MappedBytes copy(replacement.Descriptor(), size);
        if (!copy.Mapped()) return kRegistrySuccess;
        const std::string_view old = copy.View();
        AppendScan held(absentKey);
        if (!old.starts_with(kVersion5Start) || !regtext::ReadRegText(old, held, problem) || held.removes) {
            return kRegistrySuccess;
        }
        handled = true;
        if (held.keyOpened) return kRegistryKeyExists;
        endsInLine = old.ends_with('\n');
        community = community || held.community;
    }
    // A hive that parses never ends inside a value (its last line cannot end
    // in a hex list's backslash), so the body read after it reads alone.
    if (!endsInLine) replacement.Write("\n");
    replacement.Write(import.substr(kVersion5Start.size()));
    return replacement.Commit(hive, community);
}

}  // namespace snmphelper::platform::hive
