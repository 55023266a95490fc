// Run-time library loading over the dynamic loader.
#include "platform/library.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

thread_local std::string lastError;

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string RealPath(const char* path) {
    if (!path || !*path) return {};
    char resolved[PATH_MAX];
    if (!::realpath(path, resolved)) return {};
    return resolved;
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

HMODULE Open(const std::string& path) {
    ::dlerror();
    HMODULE module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* text = ::dlerror();
        lastError = text ? text : ("cannot load " + path);
    }
    return module;
}

}  // namespace

std::string MapLibraryName(const std::string& name) {
    if (name.find('/') != std::string::npos || EndsWith(name, ".so") ||
        name.find(".so.") != std::string::npos)
        return name;
    std::string stem = name;
    size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > 0) stem.erase(dot);
    for (char& c : stem)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return "lib" + stem + ".so";
}

std::string ExecutableDirectory() {
    std::string path = ExecutablePath();
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return "./";
    return path.substr(0, slash + 1);
}

HMODULE LoadLibraryA(const std::string& name) {
    if (name.empty()) {
        lastError = "empty library name";
        return nullptr;
    }
    std::string mapped = MapLibraryName(name);
    if (mapped.find('/') != std::string::npos) return Open(mapped);
    // As on Windows, a library found in the executable's directory is the one
    // loaded; if it fails to load, the load fails.
    std::string beside = ExecutableDirectory() + mapped;
    if (IsFile(beside)) return Open(beside);
    return Open(mapped);
}

void* GetProcAddress(HMODULE module, const char* symbol) {
    if (!module || !symbol) {
        lastError = "no module or no symbol name";
        return nullptr;
    }
    ::dlerror();
    void* address = ::dlsym(module, symbol);
    if (!address) {
        const char* text = ::dlerror();
        lastError = text ? text : (std::string("symbol not found: ") + symbol);
    }
    return address;
}

void FreeLibrary(HMODULE module) {
    if (module) ::dlclose(module);
}

std::string LastLibraryError() {
    return lastError;
}

std::string ModulePathOfAddress(const void* address) {
    Dl_info info;
    std::memset(&info, 0, sizeof info);
    if (!address || ::dladdr(address, &info) == 0) return {};
    // The main program's entry carries no usable file name (empty, or argv[0]);
    // recognise it by its load address.
    bool mainProgram = false;
    if (void* self = ::dlopen(nullptr, RTLD_NOW)) {
        struct link_map* map = nullptr;
        Dl_info mainInfo;
        std::memset(&mainInfo, 0, sizeof mainInfo);
        mainProgram = ::dlinfo(self, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_ld &&
                      ::dladdr(map->l_ld, &mainInfo) != 0 && mainInfo.dli_fbase == info.dli_fbase;
        ::dlclose(self);
    }
    if (mainProgram) return RealPath("/proc/self/exe");
    return RealPath(info.dli_fname);
}

}  // namespace platform
