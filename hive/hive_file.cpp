// SPDX-License-Identifier: Apache-2.0
#include "hive/hive_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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
std::int32_t ReadHiveBytes(const std::string &path, std::string &bytes, struct stat &status, std::string *problem,
                           bool *linked = nullptr) {
    bool isLink = false;
    FileDescriptor file(OpenHiveForReading(path, isLink));
    if (linked != nullptr) *linked = isLink;
    if (file.get() < 0) return FromErrno(errno, kRegistryCannotRead);
    if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return kRegistryCannotRead;
    // Asks for one octet more than the size seen: a read that stops at that
    // size has met the end, and no further read is needed to learn it.
    const auto expected = static_cast<std::size_t>(status.st_size < 0 ? 0 : status.st_size);
    bytes.resize(std::min(expected, kMaxHiveSize) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > kMaxHiveSize) {
                if (problem != nullptr) *problem = "the file is too large to be a registry hive";
                return kRegistryCorrupt;
            }
            bytes.resize(std::min(2 * filled, kMaxHiveSize + 1));  // it grew since the fstat
        }
        const ssize_t got = read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return kRegistryCannotRead;
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
        if (filled == expected && filled < bytes.size()) break;
    }
    bytes.resize(filled);
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
    std::string bytes;
    const std::int32_t code = ReadHiveBytes(path, bytes, hive.status, problem);
    if (code != kRegistrySuccess) return code;
    hive.exists = true;
    return ParseHive(bytes, hive.tree, problem);
}

// The tree parsed from the bytes this process read last, and those bytes.
struct ParsedHive {
    std::string bytes;
    std::shared_ptr<const Key> tree;
};

// The last parse, shared by every thread. Readers take a reference to it
// under the mutex and compare bytes outside it; a new parse replaces it whole.
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

bool WriteAll(int fd, const std::string &text) {
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
    if (key.FindValue("Community") != nullptr) return true;
    return std::any_of(key.subkeys.begin(), key.subkeys.end(),
                       [](const std::unique_ptr<Key> &subkey) { return HoldsCommunity(*subkey); });
}

// Replaces the hive with `tree`: temporary file, fsync, rename, fsync of the
// directory. The caller holds the writers' lock. The hive keeps its mode,
// less every bit for others and the group once it holds a community.
std::int32_t WriteHive(const std::string &path, const HiveFile &previous, const Key &tree) {
    const std::string text = regtext::WriteRegText(tree, "");
    std::string temporary = path + std::string(kTemporaryInfix) + std::string(kTemporaryUniqueLength, 'X');
    FileDescriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) return FromErrno(errno, kRegistryCannotWrite);
    mode_t mode = previous.exists ? (previous.status.st_mode & 07777) : 0644;
    if (HoldsCommunity(tree)) mode &= ~static_cast<mode_t>(077);
    bool written = fchmod(file.get(), mode) == 0;
    if (written && previous.exists && geteuid() == 0) {
        written = fchown(file.get(), previous.status.st_uid, previous.status.st_gid) == 0;
    }
    written = written && WriteAll(file.get(), text) && fsync(file.get()) == 0;
    written = (close(file.release()) == 0) && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return kRegistryCannotWrite;
    }
    FileDescriptor directory(open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) fsync(directory.get());
    return kRegistrySuccess;
}

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
    std::string bytes;
    struct stat status {};
    std::int32_t code = ReadHiveBytes(path, bytes, status, nullptr, linked);
    if (code != kRegistrySuccess) return code;
    ParseCache &cache = TheParseCache();
    if (const std::shared_ptr<const ParsedHive> last = cache.Last(); last != nullptr && last->bytes == bytes) {
        tree = last->tree;
        return kRegistrySuccess;
    }
    std::unique_ptr<Key> parsed;
    code = ParseHive(bytes, parsed, nullptr);
    if (code != kRegistrySuccess) return code;
    auto entry = std::make_shared<ParsedHive>();
    entry->bytes = std::move(bytes);
    entry->tree = std::move(parsed);
    tree = entry->tree;
    cache.Keep(std::move(entry));
    return kRegistrySuccess;
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
    code = ReadHive(path, hive, nullptr);
    if (code == kRegistryNotFound && createHive) {
        hive.tree = std::make_unique<Key>();
    } else if (code != kRegistrySuccess) {
        return code;
    }
    bool changed = !hive.exists;
    code = change(*hive.tree, changed);
    if (code != kRegistrySuccess) return code;
    if (changed) {
        code = WriteHive(path, hive, *hive.tree);
        if (code != kRegistrySuccess) return code;
    }
    if (result != nullptr) *result = std::move(hive.tree);
    return kRegistrySuccess;
}

}  // namespace snmphelper::platform::hive
