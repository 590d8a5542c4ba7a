// SPDX-License-Identifier: Apache-2.0
// The registry on POSIX systems: HKEY_LOCAL_MACHINE is one text file, the
// "hive", shared by every process on the machine.
//
// Where: the path in the environment variable SNMPHELPER_REGISTRY, else
// /etc/snmphelper/registry.reg. A symbolic link there is followed. A hive
// that does not exist holds no keys: every open fails with "not found"; only
// the administration tools (CreateRegistryKey, ImportRegistryText) create it.
//
// Format: the regedit export text of hive/reg_text.h.
//
// Reading: every open looks at the file, so that a change by any process (a
// rename over the hive, or a rewrite in place) is seen by the very next open.
// The process keeps the tree parsed from the bytes it last read, and reads
// and parses again only when the file's identity (device, inode, size,
// modification and change times) differs, or when its times were too young
// to tell a rewrite within the same clock tick, and then only when the bytes
// differ (hive/hive_file.h); the tree is a function of the bytes alone, so
// this changes nothing an open sees. An open key holds the tree as
// read at the open (and as rewritten by its own later changes). A hive that
// cannot be parsed fails the open with kRegistryCorrupt, and no write ever
// replaces it. While a RegistryReading lives on a thread, that thread's opens
// take the tree its first open read (and that open's write check), until a
// change through the registry makes the next open read afresh.
//
// Writing: see hive/hive_file.h.
//
// Access: opening with kKeySetValue or kKeyCreateSubKey in the mask needs
// write permission on the hive and on its directory (as the effective user);
// every open needs read permission on the hive. Otherwise kRegistryAccessDenied;
// a change that would create the hive in a folder that does not exist fails
// with kRegistryPathNotFound.
#include "platform/registry.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "hive/hive_file.h"
#include "hive/reg_text.h"
#include "platform/environment.h"

namespace snmphelper::platform {

struct RegistryKeyState {
    // The key's path, checked and without a trailing '\' (NormalKeyPath).
    std::string path;
    std::uint32_t access = 0;
    // The hive as last read or written through this key; shared with other
    // keys opened on the same bytes, so never changed in place.
    std::shared_ptr<const regtext::Key> tree;
    // The key itself within `tree`, found once per tree rather than per
    // query; null when a change through another key removed it.
    const regtext::Key *node = nullptr;

    void Hold(std::shared_ptr<const regtext::Key> newTree) {
        tree = std::move(newTree);
        node = regtext::FindKeyAt(*tree, path);
    }
};

namespace {

using hive::TreeChange;
using regtext::Key;

constexpr const char *kDefaultHivePath = "/etc/snmphelper/registry.reg";
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

// A key path an open within a reading found, as it asked for it: the same
// text names the same key of the same tree, so the next open of it need not
// check and look up its names again.
struct FoundKey {
    std::string path;
    const Key *node = nullptr;
    std::uint64_t used = 0;
};

// Keys found per reading: a transaction opens its settings' key twice and
// its printer's once, and a fleet's transactions share one reading (their
// printers' keys are found from their parent's, kept here too).
constexpr std::size_t kFoundKeys = 4;

// What a RegistryReading shares among its thread's opens: the tree its first
// open read, from which path, and what that open learnt about the path.
struct SharedReading {
    bool active = false;  // a RegistryReading lives on this thread
    bool held = false;    // an open has read the store since
    std::string path;
    std::shared_ptr<const Key> tree;
    bool linked = false;
    bool writable = false;  // an open has found the hive writable since
    // SharedReadingMark's number for `tree`, and the tree it was given for
    // (weak: kept only to know it again, not alive).
    std::uint64_t mark = 0;
    std::weak_ptr<const Key> marked;
    // Keys found in `tree`; valid while it is held.
    FoundKey found[kFoundKeys];
    std::uint64_t opens = 0;

    FoundKey *Found(std::string_view keyPath) {
        for (FoundKey &key : found) {
            if (key.node != nullptr && key.path == keyPath) {
                key.used = ++opens;
                return &key;
            }
        }
        return nullptr;
    }
    // Remembers a key found in `tree`, in place of the one least recently used.
    void Remember(std::string_view keyPath, const Key *node) {
        FoundKey *oldest = &found[0];
        for (FoundKey &key : found) {
            if (key.used < oldest->used) oldest = &key;
        }
        oldest->node = nullptr;  // until the rest is in place
        oldest->path.assign(keyPath);
        oldest->node = node;
        oldest->used = ++opens;
    }
    void ForgetFound() {
        for (FoundKey &key : found) key.node = nullptr;
    }
};

SharedReading &ThreadReading() {
    thread_local SharedReading reading;
    return reading;
}

void Forget(SharedReading &reading) {
    reading.held = false;
    reading.writable = false;
    reading.tree.reset();
    reading.ForgetFound();
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
    const std::int32_t code = hive::ReadHiveShared(path, tree, &linked);
    if (code != kRegistrySuccess || !reading.active) return code;
    reading.path = path;
    reading.tree = tree;
    // The same tree again (the store unchanged since) keeps its number.
    const std::weak_ptr<const Key> read = tree;
    if (read.owner_before(reading.marked) || reading.marked.owner_before(read)) {
        static std::atomic<std::uint64_t> marks{0};
        reading.mark = ++marks;
        reading.marked = read;
    }
    reading.linked = linked;
    reading.held = true;
    reading.writable = false;
    reading.ForgetFound();
    return kRegistrySuccess;
}

// The key at `normalPath` in the reading's tree: below its parent when the
// reading found that (a fleet opens many printers' keys side by side), and
// the parent is remembered for the next.
const Key *FindInReading(SharedReading &reading, const Key &tree, std::string_view normalPath) {
    const std::size_t separator = normalPath.rfind('\\');
    if (separator == std::string_view::npos) return regtext::FindKeyAt(tree, normalPath);
    const std::string_view parentPath = normalPath.substr(0, separator);
    const Key *parent = nullptr;
    if (const FoundKey *found = reading.Found(parentPath)) {
        parent = found->node;
    } else {
        parent = regtext::FindKeyAt(tree, parentPath);
        if (parent == nullptr) return nullptr;
        reading.Remember(parentPath, parent);
    }
    return parent->FindSubkey(normalPath.substr(separator + 1));
}

// The key this reading found whose path is `keyPath`'s but for its last
// name, or null.
const FoundKey *FoundParent(SharedReading &reading, std::string_view keyPath) {
    if (!keyPath.empty() && keyPath.back() == '\\') keyPath.remove_suffix(1);
    const std::size_t separator = keyPath.rfind('\\');
    if (separator == std::string_view::npos) return nullptr;
    return reading.Found(keyPath.substr(0, separator));
}

// Whether an open with write access may have it, asked once per reading.
bool HiveWritable(const std::string &path, bool linked, SharedReading &reading) {
    if (reading.held && reading.writable) return true;
    if (hive::WriteAccess(linked ? HivePath() : path) != kRegistrySuccess) return false;
    if (reading.held) reading.writable = true;
    return true;
}

// Applies `change` to the hive (hive::ModifyHive); the thread's next open
// reads what this stores.
std::int32_t ModifyHive(bool createHive, const TreeChange &change, std::shared_ptr<const Key> *result) {
    Forget(ThreadReading());
    return hive::ModifyHive(HivePath(), createHive, change, result);
}


// ModifyHive for a change through an open key, which then holds the tree as
// stored. A failed change leaves the key as it was.
std::int32_t ModifyKeyHive(RegistryKeyState &key, const TreeChange &change) {
    std::shared_ptr<const Key> stored;
    const std::int32_t code = ModifyHive(false, change, &stored);
    if (code == kRegistrySuccess) key.Hold(std::move(stored));
    return code;
}

// Key records closed on this thread, kept for its next opens: a fleet's
// transactions open a few keys each, and a record keeps the room its path's
// names took.
constexpr std::size_t kSpareKeys = 8;

std::vector<std::unique_ptr<RegistryKeyState>> &SpareKeys() {
    thread_local std::vector<std::unique_ptr<RegistryKeyState>> spares;
    return spares;
}

std::unique_ptr<RegistryKeyState> NewKeyState() {
    std::vector<std::unique_ptr<RegistryKeyState>> &spares = SpareKeys();
    if (spares.empty()) return std::make_unique<RegistryKeyState>();
    std::unique_ptr<RegistryKeyState> state = std::move(spares.back());
    spares.pop_back();
    return state;
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
        std::unique_ptr<RegistryKeyState> state = NewKeyState();
        state->access = access;
        const std::string_view keyPath = path == nullptr ? "" : path;
        SharedReading &reading = ThreadReading();
        if (reading.held) {
            if (const FoundKey *found = reading.Found(keyPath)) {
                if ((access & kWriteAccess) != 0 && !HiveWritable(reading.path, reading.linked, reading)) {
                    return kRegistryAccessDenied;
                }
                // Checked when it was found; only its trailing '\' goes.
                std::string_view normal = found->path;
                if (!normal.empty() && normal.back() == '\\') normal.remove_suffix(1);
                state->path.assign(normal);
                state->tree = reading.tree;
                state->node = found->node;
                *key = state.release();
                return kRegistrySuccess;
            }
        }
        // A parent this reading found was checked then: only the last name is.
        const FoundKey *parent = reading.held ? FoundParent(reading, keyPath) : nullptr;
        std::string_view normal = keyPath;
        if (parent != nullptr) {
            if (normal.back() == '\\') normal.remove_suffix(1);
            if (!regtext::IsValidKeyName(normal.substr(parent->path.size() + 1))) return kRegistryNotFound;
        } else if (!regtext::NormalKeyPath(keyPath, normal)) {
            return kRegistryNotFound;
        }
        state->path.assign(normal);
        // Opening the configured path follows a symbolic link as resolving
        // it would; the resolved path is needed only to check write access.
        // A shared reading already holds the path its first open looked up.
        std::string configured;
        if (!reading.held) configured = ConfiguredHivePath();
        const std::string &hive = reading.held ? reading.path : configured;
        std::shared_ptr<const Key> tree;
        bool linked = false;
        const std::int32_t code = ReadHiveForOpen(hive, tree, linked, reading);
        if (code != kRegistrySuccess) return code;
        const bool shared = reading.held && tree == reading.tree;
        if (shared) {
            state->tree = std::move(tree);
            state->node = parent != nullptr ? parent->node->FindSubkey(normal.substr(parent->path.size() + 1))
                                            : FindInReading(reading, *state->tree, normal);
        } else {
            state->Hold(std::move(tree));
        }
        if (state->node == nullptr) return kRegistryNotFound;
        if ((access & kWriteAccess) != 0 && !HiveWritable(hive, linked, reading)) return kRegistryAccessDenied;
        if (shared) reading.Remember(keyPath, state->node);
        *key = state.release();
        return kRegistrySuccess;
    });
}

std::uint64_t SharedReadingMark() {
    const SharedReading &reading = ThreadReading();
    return reading.held ? reading.mark : 0;
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
            Key *node = regtext::FindKeyAt(tree, key->path);
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

void CloseRegistryKey(RegistryKey key) {
    if (key == nullptr) return;
    std::unique_ptr<RegistryKeyState> state(key);
    state->tree.reset();
    state->node = nullptr;
    try {
        std::vector<std::unique_ptr<RegistryKeyState>> &spares = SpareKeys();
        if (spares.size() < kSpareKeys) spares.push_back(std::move(state));
    } catch (const std::bad_alloc &) {
        // Not kept: freed below.
    }
}

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
            Key *node = regtext::FindKeyAt(tree, key->path);
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

namespace {

// ImportRegistryText, after `allowed` has passed on the tree as it is under
// the writers' lock (no condition when null).
std::int32_t ImportIf(const std::string &fileBytes, std::string &problem,
                      const std::function<std::int32_t(const Key &tree)> &allowed) {
    problem.clear();
    return Guarded([&]() -> std::int32_t {
        // Parse once on its own first, so that a bad file is reported without
        // taking the writers' lock or creating anything.
        Key scratch;
        if (!regtext::ApplyRegText(fileBytes, scratch, problem)) return kRegistryInvalidParameter;
        const TreeChange change = [&](Key &tree, bool &changed) -> std::int32_t {
            if (allowed) {
                if (const std::int32_t code = allowed(tree); code != kRegistrySuccess) return code;
            }
            // Into an empty store the text gives what its first reading gave.
            if (tree.Empty()) {
                tree.Swap(scratch);
            } else if (!regtext::ApplyRegText(fileBytes, tree, problem)) {
                return kRegistryInvalidParameter;
            }
            changed = true;
            return kRegistrySuccess;
        };
        const std::int32_t code = ModifyHive(true, change, nullptr);
        if (code == kRegistryCorrupt) problem = "the registry " + HivePath() + " cannot be parsed: " + RegistryProblem();
        return code;
    });
}

}  // namespace

std::int32_t ImportRegistryText(const std::string &fileBytes, std::string &problem) {
    return ImportIf(fileBytes, problem, nullptr);
}

std::int32_t ImportRegistryTextWhere(const char *path, KeyCondition condition, const std::string &fileBytes,
                                     std::string &problem) {
    return Guarded([&]() -> std::int32_t {
        std::vector<std::string> components;
        if (path == nullptr || !regtext::SplitKeyPath(path, components)) return kRegistryInvalidParameter;
        if (condition == KeyCondition::Absent) {
            // A new key goes at the end of the hive as it is, which spares
            // building its tree and writing all of it again.
            Forget(ThreadReading());
            bool handled = false;
            const std::int32_t code = hive::AppendWhereAbsent(HivePath(), components, fileBytes, handled);
            if (handled) {
                problem.clear();
                return code;
            }
        }
        return ImportIf(fileBytes, problem, [&](const Key &tree) -> std::int32_t {
            const bool present = regtext::FindKey(tree, components) != nullptr;
            if (condition == KeyCondition::Absent && present) return kRegistryKeyExists;
            if (condition == KeyCondition::Present && !present) return kRegistryKeyDeleted;
            return kRegistrySuccess;
        });
    });
}

std::int32_t ExportRegistryText(const char *path, std::string &text) {
    return Guarded([&]() -> std::int32_t {
        std::vector<std::string> components;
        if (!regtext::SplitKeyPath(path == nullptr ? "" : path, components)) return kRegistryNotFound;
        std::shared_ptr<const Key> tree;
        const std::int32_t code = hive::ReadHiveShared(HivePath(), tree);
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
        return hive::HiveProblem(HivePath());
    } catch (...) {
        return std::string();
    }
}

}  // namespace snmphelper::platform