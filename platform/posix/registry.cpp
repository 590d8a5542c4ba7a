// The registry on POSIX systems: HKEY_LOCAL_MACHINE is one text file, the
// "hive", shared by every process on the machine.
//
// Where: the path in the environment variable SNMPHELPER_REGISTRY, else
// /etc/snmphelper/registry.reg. A symbolic link there is followed. A hive
// that does not exist holds no keys: every open fails with "not found"; only
// the administration tools (CreateRegistryKey, ImportRegistryText) create it.
//
// Format: the regedit export text of platform/reg_text.h.
//
// Reading: open and read the whole file on every open, so that a change by
// any process (a rename over the hive, or a rewrite in place) is seen by the
// very next open. Parsing is what costs, so the process keeps the tree parsed
// from the bytes it last read and parses again only when the bytes read
// differ from those, octet for octet; the tree is a function of the bytes
// alone, so this changes nothing an open sees. An open key holds the tree as
// read at the open (and as rewritten by its own later changes). A hive that
// cannot be parsed fails the open with kRegistryCorrupt, and no write ever
// replaces it. While a RegistryReading lives on a thread, that thread's opens
// take the tree its first open read (and that open's write check), until a
// change through the registry makes the next open read afresh.
//
// Writing: every change is a read-modify-write of the whole hive under an
// exclusive flock on "<hive>.lock", a separate file beside the hive that is
// created once and never removed (so that replacing the hive cannot break
// the lock). Inside the lock the hive is read afresh, the change is applied,
// and the result is written to a new temporary file in the same directory,
// given the hive's mode (and owner, when running as root), fsync'ed, renamed
// over the hive, and the directory fsync'ed. So concurrent writers in any
// number of processes lose none of each other's changes, a reader (who takes
// no lock) sees either the old or the new hive and never a torn one, and a
// crash leaves the old or the new hive in place. The temporary file is named
// "<hive>.new-XXXXXX" (six letters and digits) and is never read. A writer
// creates one only while it holds the lock, and renames or removes it before
// letting go, so a writer that holds the lock knows every other such file is
// what a writer killed meanwhile left: each write first removes them.
// (Names without the "new-" are not touched: "<hive>.backup" or
// "<hive>.202401" may be an administrator's own copies.)
//
// Access: opening with kKeySetValue or kKeyCreateSubKey in the mask needs
// write permission on the hive and on its directory (as the effective user);
// every open needs read permission on the hive. Otherwise kRegistryAccessDenied;
// a change that would create the hive in a folder that does not exist fails
// with kRegistryPathNotFound.
#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>

#include "platform/environment.h"
#include "platform/reg_text.h"

namespace snmphelper::platform {

struct RegistryKeyState {
    std::vector<std::string> components;
    std::uint32_t access = 0;
    // The hive as last read or written through this key; shared with other
    // keys opened on the same bytes, so never changed in place.
    std::shared_ptr<const regtext::Key> tree;
    // The key itself within `tree`, found once per tree rather than per
    // query; null when a change through another key removed it.
    const regtext::Key *node = nullptr;

    void Hold(std::shared_ptr<const regtext::Key> newTree) {
        tree = std::move(newTree);
        node = regtext::FindKey(*tree, components);
    }
};

namespace {

using regtext::Key;

constexpr const char *kDefaultHivePath = "/etc/snmphelper/registry.reg";
constexpr const char *kLockSuffix = ".lock";
// "<hive>" + this + mkostemp's six characters names a temporary file.
constexpr std::string_view kTemporaryInfix = ".new-";
constexpr std::size_t kTemporaryUniqueLength = 6;
// A hive is a few kilobytes; anything this large is not one.
constexpr std::size_t kMaxHiveSize = 64 * 1024 * 1024;
constexpr std::uint32_t kWriteAccess = kKeySetValue | kKeyCreateSubKey;

std::string ConfiguredHivePath() {
    const char *configured = ReadSetting("SNMPHELPER_REGISTRY");
    return (configured != nullptr && configured[0] != '\0') ? configured : kDefaultHivePath;
}

// The hive file itself, a symbolic link followed.
std::string HivePath() {
    std::string path = ConfiguredHivePath();
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) path = resolved;
    return path;
}

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

// kRegistrySuccess when the hive may be written (or created), else why not:
// a missing folder is not a matter of permission.
std::int32_t WriteAccess(const std::string &hive) {
    const int hiveAccess = faccessat(AT_FDCWD, hive.c_str(), W_OK, AT_EACCESS);
    if (hiveAccess != 0 && errno != ENOENT) return kRegistryAccessDenied;
    if (faccessat(AT_FDCWD, DirectoryOf(hive).c_str(), W_OK | X_OK, AT_EACCESS) == 0) return kRegistrySuccess;
    return errno == ENOENT || errno == ENOTDIR ? kRegistryPathNotFound : kRegistryAccessDenied;
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

// Reads the hive and gives its tree, parsed anew only when the bytes differ
// from the last ones parsed. The tree is shared: read it, never change it.
// `linked` (may be null) as OpenHiveForReading gives it.
std::int32_t ReadHiveShared(const std::string &path, std::shared_ptr<const Key> &tree, bool *linked = nullptr) {
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

// What a RegistryReading shares among its thread's opens: the tree its first
// open read, from which path, and what that open learnt about the path.
struct SharedReading {
    bool active = false;  // a RegistryReading lives on this thread
    bool held = false;    // an open has read the store since
    std::string path;
    std::shared_ptr<const Key> tree;
    bool linked = false;
    bool writable = false;  // an open has found the hive writable since
};

SharedReading &ThreadReading() {
    thread_local SharedReading reading;
    return reading;
}

void Forget(SharedReading &reading) {
    reading.held = false;
    reading.writable = false;
    reading.tree.reset();
}

// The hive's tree for an open: the thread's shared reading when it holds one
// of this path, else a fresh read (which it then holds).
std::int32_t ReadHiveForOpen(const std::string &path, std::shared_ptr<const Key> &tree, bool &linked,
                             SharedReading &reading) {
    if (reading.held && reading.path == path) {
        tree = reading.tree;
        linked = reading.linked;
        return kRegistrySuccess;
    }
    const std::int32_t code = ReadHiveShared(path, tree, &linked);
    if (code != kRegistrySuccess || !reading.active) return code;
    reading.path = path;
    reading.tree = tree;
    reading.linked = linked;
    reading.held = true;
    reading.writable = false;
    return kRegistrySuccess;
}

// Whether an open with write access may have it, asked once per reading.
bool HiveWritable(const std::string &path, bool linked, SharedReading &reading) {
    if (reading.held && reading.writable) return true;
    if (WriteAccess(linked ? HivePath() : path) != kRegistrySuccess) return false;
    if (reading.held) reading.writable = true;
    return true;
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

// A change to the tree: returns a result code and sets `changed` when the
// hive has to be rewritten.
using TreeChange = std::function<std::int32_t(Key &tree, bool &changed)>;

// Applies `change` to the current hive under the writers' lock and stores
// the result. With `createHive` a missing hive (and its directory) starts
// empty; otherwise it is "not found". `result` (may be null) receives the
// tree as stored.
std::int32_t ModifyHive(bool createHive, const TreeChange &change, std::shared_ptr<const Key> *result) {
    // The thread's next open reads what this stores.
    Forget(ThreadReading());
    const std::string path = HivePath();
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

// ModifyHive for a change through an open key, which then holds the tree as
// stored. A failed change leaves the key as it was.
std::int32_t ModifyKeyHive(RegistryKeyState &key, const TreeChange &change) {
    std::shared_ptr<const Key> stored;
    const std::int32_t code = ModifyHive(false, change, &stored);
    if (code == kRegistrySuccess) key.Hold(std::move(stored));
    return code;
}

std::vector<std::uint8_t> BytesOf(const void *data, std::uint32_t size) {
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

// Every entry point turns an allocation failure into a result code.
template <typename Operation>
std::int32_t Guarded(Operation operation) {
    try {
        return operation();
    } catch (const std::bad_alloc &) {
        return kRegistryNoMemory;
    } catch (...) {
        return kRegistryCannotRead;
    }
}

}  // namespace

std::int32_t OpenRegistryKey(const char *path, std::uint32_t access, RegistryKey *key) {
    if (key == nullptr) return kRegistryInvalidParameter;
    *key = nullptr;
    return Guarded([&]() -> std::int32_t {
        auto state = std::make_unique<RegistryKeyState>();
        state->access = access;
        if (!regtext::SplitKeyPath(path == nullptr ? "" : path, state->components)) return kRegistryNotFound;
        // Opening the configured path follows a symbolic link as resolving
        // it would; the resolved path is needed only to check write access.
        // A shared reading already holds the path its first open looked up.
        SharedReading &reading = ThreadReading();
        std::string configured;
        if (!reading.held) configured = ConfiguredHivePath();
        const std::string &hive = reading.held ? reading.path : configured;
        std::shared_ptr<const Key> tree;
        bool linked = false;
        const std::int32_t code = ReadHiveForOpen(hive, tree, linked, reading);
        if (code != kRegistrySuccess) return code;
        state->Hold(std::move(tree));
        if (state->node == nullptr) return kRegistryNotFound;
        if ((access & kWriteAccess) != 0 && !HiveWritable(hive, linked, reading)) return kRegistryAccessDenied;
        *key = state.release();
        return kRegistrySuccess;
    });
}

std::int32_t QueryRegistryValue(RegistryKey key, const char *name, std::uint32_t *type, void *data,
                                std::uint32_t *size) {
    if (key == nullptr || (data != nullptr && size == nullptr)) return kRegistryInvalidParameter;
    if ((key->access & kKeyQueryValue) == 0) return kRegistryAccessDenied;
    return Guarded([&]() -> std::int32_t {
        const Key *node = key->node;
        if (node == nullptr) return kRegistryKeyDeleted;
        const regtext::Value *value = node->FindValue(name == nullptr ? "" : name);
        if (value == nullptr) return kRegistryNotFound;
        const auto length = static_cast<std::uint32_t>(value->data.size());
        if (data != nullptr && *size < length) {
            *size = length;
            return kRegistryMoreData;
        }
        if (data != nullptr && length != 0) std::memcpy(data, value->data.data(), length);
        if (size != nullptr) *size = length;
        if (type != nullptr) *type = value->type;
        return kRegistrySuccess;
    });
}

std::int32_t SetRegistryValue(RegistryKey key, const char *name, std::uint32_t type, const void *data,
                              std::uint32_t size) {
    if (key == nullptr || (data == nullptr && size != 0)) return kRegistryInvalidParameter;
    if ((key->access & kKeySetValue) == 0) return kRegistryAccessDenied;
    const std::string_view valueName = name == nullptr ? "" : name;
    if (!regtext::IsValidValueName(valueName)) return kRegistryInvalidParameter;
    return Guarded([&]() -> std::int32_t {
        std::vector<std::uint8_t> bytes = size == 0 ? std::vector<std::uint8_t>() : BytesOf(data, size);
        if (regtext::IsTextType(type) &&
            !regtext::IsValidUtf8(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()))) {
            return kRegistryInvalidParameter;
        }
        const TreeChange change = [&](Key &tree, bool &changed) -> std::int32_t {
            Key *node = regtext::FindKey(tree, key->components);
            if (node == nullptr) return kRegistryKeyDeleted;
            const regtext::Value *current = node->FindValue(valueName);
            if (current != nullptr && current->type == type && current->data == bytes) return kRegistrySuccess;
            node->PutValue(valueName, type, std::move(bytes));
            changed = true;
            return kRegistrySuccess;
        };
        return ModifyKeyHive(*key, change);
    });
}

void CloseRegistryKey(RegistryKey key) { delete key; }

RegistryReading::RegistryReading() : owner_(!ThreadReading().active) {
    if (owner_) ThreadReading().active = true;
}

RegistryReading::~RegistryReading() { End(); }

void RegistryReading::End() {
    if (!owner_) return;
    owner_ = false;
    SharedReading &reading = ThreadReading();
    reading.active = false;
    Forget(reading);
}

std::int32_t CreateRegistryKey(const char *path) {
    return Guarded([&]() -> std::int32_t {
        std::vector<std::string> components;
        if (path == nullptr || !regtext::SplitKeyPath(path, components)) return kRegistryInvalidParameter;
        const TreeChange change = [&](Key &tree, bool &changed) -> std::int32_t {
            Key *node = &tree;
            for (const std::string &name : components) {
                Key *existing = node->FindSubkey(name);
                changed = changed || existing == nullptr;
                node = existing != nullptr ? existing : &node->SubkeyAdding(name);
            }
            return kRegistrySuccess;
        };
        return ModifyHive(true, change, nullptr);
    });
}

std::int32_t DeleteRegistryKey(const char *path) {
    return Guarded([&]() -> std::int32_t {
        std::vector<std::string> components;
        if (path == nullptr || !regtext::SplitKeyPath(path, components) || components.empty()) {
            return kRegistryInvalidParameter;
        }
        const TreeChange change = [&](Key &tree, bool &changed) -> std::int32_t {
            const std::string last = components.back();
            components.pop_back();
            Key *parent = regtext::FindKey(tree, components);
            if (parent == nullptr || !parent->RemoveSubkey(last)) return kRegistryNotFound;
            changed = true;
            return kRegistrySuccess;
        };
        return ModifyHive(false, change, nullptr);
    });
}

std::int32_t DeleteRegistryValue(RegistryKey key, const char *name) {
    if (key == nullptr) return kRegistryInvalidParameter;
    if ((key->access & kKeySetValue) == 0) return kRegistryAccessDenied;
    return Guarded([&]() -> std::int32_t {
        const std::string_view valueName = name == nullptr ? "" : name;
        const TreeChange change = [&](Key &tree, bool &changed) -> std::int32_t {
            Key *node = regtext::FindKey(tree, key->components);
            if (node == nullptr) return kRegistryKeyDeleted;
            if (!node->RemoveValue(valueName)) return kRegistryNotFound;
            changed = true;
            return kRegistrySuccess;
        };
        return ModifyKeyHive(*key, change);
    });
}

std::int32_t ListRegistrySubkeys(RegistryKey key, std::vector<std::string> &names) {
    if (key == nullptr) return kRegistryInvalidParameter;
    return Guarded([&]() -> std::int32_t {
        names.clear();
        const Key *node = key->node;
        if (node == nullptr) return kRegistryKeyDeleted;
        for (const auto &subkey : node->subkeys) names.push_back(subkey->name);
        return kRegistrySuccess;
    });
}

std::int32_t ListRegistryValues(RegistryKey key, std::vector<std::string> &names) {
    if (key == nullptr) return kRegistryInvalidParameter;
    if ((key->access & kKeyQueryValue) == 0) return kRegistryAccessDenied;
    return Guarded([&]() -> std::int32_t {
        names.clear();
        const Key *node = key->node;
        if (node == nullptr) return kRegistryKeyDeleted;
        for (const regtext::Value &value : node->values) names.push_back(value.name);
        return kRegistrySuccess;
    });
}

std::int32_t ImportRegistryText(const std::string &fileBytes, std::string &problem) {
    problem.clear();
    return Guarded([&]() -> std::int32_t {
        // Parse once on its own first, so that a bad file is reported without
        // taking the writers' lock or creating anything.
        Key scratch;
        if (!regtext::ApplyRegText(fileBytes, scratch, problem)) return kRegistryInvalidParameter;
        const TreeChange change = [&](Key &tree, bool &changed) -> std::int32_t {
            if (!regtext::ApplyRegText(fileBytes, tree, problem)) return kRegistryInvalidParameter;
            changed = true;
            return kRegistrySuccess;
        };
        const std::int32_t code = ModifyHive(true, change, nullptr);
        if (code == kRegistryCorrupt) problem = "the registry " + HivePath() + " cannot be parsed: " + RegistryProblem();
        return code;
    });
}

std::int32_t ExportRegistryText(const char *path, std::string &text) {
    return Guarded([&]() -> std::int32_t {
        std::vector<std::string> components;
        if (!regtext::SplitKeyPath(path == nullptr ? "" : path, components)) return kRegistryNotFound;
        std::shared_ptr<const Key> tree;
        const std::int32_t code = ReadHiveShared(HivePath(), tree);
        if (code != kRegistrySuccess) return code;
        // The path as stored, in the case the keys were created with.
        const Key *node = tree.get();
        std::string storedPath;
        for (const std::string &name : components) {
            node = node->FindSubkey(name);
            if (node == nullptr) return kRegistryNotFound;
            storedPath += (storedPath.empty() ? "" : "\\") + node->name;
        }
        text = regtext::WriteRegText(*node, storedPath);
        return kRegistrySuccess;
    });
}

std::string RegistryLocation() {
    try {
        return ConfiguredHivePath();
    } catch (...) {
        return std::string();
    }
}

std::string RegistryProblem() {
    try {
        HiveFile hive;
        std::string problem;
        ReadHive(HivePath(), hive, &problem);
        return problem;
    } catch (...) {
        return std::string();
    }
}

}  // namespace snmphelper::platform
