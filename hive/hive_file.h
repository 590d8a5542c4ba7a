/* SPDX-License-Identifier: Apache-2.0 */
// The hive: the registry of a POSIX system in one regedit-text file
// (hive/reg_text.h), read whole and rewritten whole.
//
// Writing: every change is a read-modify-write of the whole hive under an
// exclusive flock on "<hive>.lock", a separate file beside the hive that is
// created once and never removed (so that replacing the hive cannot break
// the lock). Inside the lock the hive is read afresh, the change is applied,
// and the result is written to a new temporary file in the same directory,
// given the hive's mode, group (when the writer is root or in it) and owner
// (when root), fsync'ed, renamed over the hive, and the directory fsync'ed:
// an administrator's chgrp and chmod outlive every change. A hive holding a
// community is never readable by others, and readable by its group only
// when the group was chosen: the hive kept others out already, or its folder
// is setgid (then a hive made there is 0640, the folder's group's to read). So concurrent writers in any
// number of processes lose none of each other's changes, a reader (who takes
// no lock) sees either the old or the new hive and never a torn one, and a
// crash leaves the old or the new hive in place. The temporary file is named
// "<hive>.new-XXXXXX" (six letters and digits) and is never read. A writer
// creates one only while it holds the lock, and renames or removes it before
// letting go, so a writer that holds the lock knows every other such file is
// what a writer killed meanwhile left: each write first removes them.
// AppendWhereAbsent is the one change that writes the hive's old bytes
// unchanged, followed by a new key's text, rather than the tree's text.
// (Names without the "new-" are not touched: "<hive>.backup" or
// "<hive>.202401" may be an administrator's own copies.)
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hive/reg_text.h"

namespace snmphelper::platform::hive {

// kRegistrySuccess when the hive may be written (or created), else why not:
// a missing folder is not a matter of permission.
std::int32_t WriteAccess(const std::string &hive);

// A file's times come from a clock that ticks coarsely (a jiffy; a second on
// some file systems, two on FAT), so a rewrite in place within the tick of
// the one before keeps the file's size and times. Only a hive whose times
// are this much older than the moment it was read is told by its identity
// (device, inode, size, modification and change times, and who reads) alone;
// a younger one is read again, and its bytes compared, until a read finds it
// that old (git's "racily clean" entries).
inline constexpr long kSettledSeconds = 2;

// Reads the hive and gives its tree: the one this process parsed last while
// the hive's identity says it holds those bytes still, else parsed anew when
// the bytes read differ from those. The tree is shared: read it, never
// change it. `linked` (may be null) tells whether the path's last component
// is a symbolic link, which moves the folder a rewrite goes to.
std::int32_t ReadHiveShared(const std::string &path, std::shared_ptr<const regtext::Key> &tree,
                            bool *linked = nullptr);

// Why the hive at `path` cannot be parsed; empty when it can, or cannot be read.
std::string HiveProblem(const std::string &path);

// A change to the tree: returns a result code and sets `changed` when the
// hive has to be rewritten.
using TreeChange = std::function<std::int32_t(regtext::Key &tree, bool &changed)>;

// Applies `change` to the hive at `path` under the writers' lock and stores
// the result. With `createHive` a missing hive (and its directory) starts
// empty; otherwise it is "not found". `result` (may be null) receives the
// tree as stored. The change works on the last parse when the hive still
// holds its bytes: on that tree itself when nothing else holds it (a process
// that writes once copies nothing), else on a copy.
std::int32_t ModifyHive(const std::string &path, bool createHive, const TreeChange &change,
                        std::shared_ptr<const regtext::Key> *result);

// Adds a key that must be absent without parsing the hive into a tree or
// writing it out again: under the writers' lock, the hive's bytes are read
// through once, and when they hold no key at `absentKey` the new hive is
// those bytes unchanged followed by the body of `import` (a version 5.00
// UTF-8 registry text), written as ModifyHive writes. The reader applies a
// file in order, so the stored tree is the one ModifyHive would store; what
// differs is only where in the text the new keys stand. kRegistryKeyExists
// when the key is present. `handled` is false (and nothing done) when this
// cannot be done so: no hive yet, a hive that does not parse, or one in
// another encoding or holding removals, an import with removals, or any
// failure before the hive was read; then ModifyHive decides.
std::int32_t AppendWhereAbsent(const std::string &path, const std::vector<std::string> &absentKey,
                               std::string_view import, bool &handled);

}  // namespace snmphelper::platform::hive
