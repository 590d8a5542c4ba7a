// SPDX-License-Identifier: Apache-2.0
// Run-time loading with the ELF loader. Platform libraries are loaded
// locally (RTLD_LOCAL): a WinSock library exports socket, bind, ... and must
// never stand in for the C library's functions of those names.
#include "platform/library_loader.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"

namespace snmphelper::platform {
namespace {

constexpr char kPathVariable[] = "SNMPHELPER_PLATFORM_PATH";
constexpr char kFolderBesideModule[] = "snmphelper";

// "WSOCK32.DLL" -> "wsock32.so"; empty for a name that names a folder too.
std::string SharedObjectName(std::string_view windowsName) {
    if (windowsName.empty() || windowsName.find_first_of("/\\") != std::string_view::npos) {
        return {};
    }
    std::string stem(windowsName);
    for (char &character : stem) {
        if (character >= 'A' && character <= 'Z') character = static_cast<char>(character - 'A' + 'a');
    }
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".dll") == 0) stem.resize(stem.size() - 4);
    if (stem.empty() || stem == "." || stem == "..") return {};
    return stem + ".so";
}

// Loading and unloading, one thread at a time, as Windows' loader lock
// makes them: so one thread's last use of a library comes before another's
// unloading it runs the library's destructors, in what ThreadSanitizer sees
// too (the C library's own lock is one it cannot see). Recursive: a
// library's constructors or destructors may load or release another.
std::recursive_mutex loaderMutex;

std::mutex programFolderMutex;
std::string programFolder;  // SetPlatformFolder's; empty: none

std::string FolderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The file holding this code: the shared library when the library is one,
// the program itself when it is linked in.
std::string ModuleFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&LoadPlatformLibrary), &info) != 0 &&
        info.dli_fname != nullptr && std::string_view(info.dli_fname).find('/') != std::string_view::npos) {
        return info.dli_fname;
    }
    // The main program is named as it was started; the kernel knows its file.
    char program[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0) return {};
    return std::string(program, static_cast<std::size_t>(length));
}

std::vector<std::string> SearchFolders() {
    std::vector<std::string> folders;
    if (const char *path = ReadSetting(kPathVariable); path != nullptr) {
        std::string_view rest(path);
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string_view folder = rest.substr(0, colon);
            if (!folder.empty()) folders.emplace_back(folder);
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
        return folders;
    }
    {
        const std::lock_guard lock(programFolderMutex);
        if (!programFolder.empty()) {
            folders.push_back(programFolder);
            return folders;
        }
    }
    const std::string module = ModuleFile();
    if (!module.empty()) folders.push_back(FolderOf(module) + "/" + kFolderBesideModule);
    return folders;
}

}  // namespace

LibraryHandle LoadPlatformLibrary(const char *windowsName) {
    if (windowsName == nullptr) return nullptr;
    const std::string fileName = SharedObjectName(windowsName);
    if (fileName.empty()) return nullptr;
    for (const std::string &folder : SearchFolders()) {
        const std::string candidate = folder + "/" + fileName;
        if (::access(candidate.c_str(), F_OK) != 0) continue;
        const std::lock_guard lock(loaderMutex);
        if (void *library = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
    }
    return nullptr;
}

EntryPoint FindEntryPoint(LibraryHandle library, const char *name) {
    if (library == nullptr || name == nullptr) return nullptr;
    void *address = ::dlsym(library, name);
    if (address == nullptr) return nullptr;
    // dlsym also searches what the library depends on (the C library has a
    // socket of its own); GetProcAddress answers only for the library itself.
    ::link_map *libraryMap = nullptr;
    ::link_map *definingMap = nullptr;
    Dl_info info{};
    if (::dlinfo(library, RTLD_DI_LINKMAP, &libraryMap) != 0 ||
        ::dladdr1(address, &info, reinterpret_cast<void **>(&definingMap), RTLD_DL_LINKMAP) == 0 ||
        definingMap != libraryMap) {
        return nullptr;
    }
    // POSIX lets a data pointer carry a function's address.
    return reinterpret_cast<EntryPoint>(address);
}

void ReleasePlatformLibrary(LibraryHandle library) {
    if (library == nullptr) return;
    const std::lock_guard lock(loaderMutex);
    ::dlclose(library);
}

void SetPlatformFolder(const char *folder) {
    const std::lock_guard lock(programFolderMutex);
    programFolder = folder != nullptr ? folder : "";
}

}  // namespace snmphelper::platform
