#include "dataset/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace sarvenu::fileops {
namespace {

// The fault plan and its operation counter, shared by every thread.
struct FaultState {
    std::mutex lock;
    FaultPlan plan;
    int64_t count = 0;
};

FaultState& Faults() {
    static FaultState state;
    return state;
}

bool SetError(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

bool SetErrno(std::string* error, const std::string& what, int code) {
    return SetError(error, what + ": " + std::strerror(code));
}

// Counts one primitive operation on path; false when the plan makes it fail.
bool Step(const std::string& path, std::string* error) {
    FaultState& f = Faults();
    std::lock_guard<std::mutex> guard(f.lock);
    ++f.count;
    bool fail = f.plan.failAfter >= 0 && f.count > f.plan.failAfter;
    if (!f.plan.failPath.empty() && path.compare(0, f.plan.failPath.size(), f.plan.failPath) == 0)
        fail = true;
    if (fail) SetError(error, "injected failure on " + path);
    return !fail;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool MatchWildcard(const char* pattern, const char* name) {
    for (; *pattern; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char* rest = name;; ++rest) {
                if (MatchWildcard(pattern + 1, rest)) return true;
                if (!*rest) return false;
            }
        }
        if (!*name) return false;
        if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                                   std::tolower(static_cast<unsigned char>(*name)))
            return false;
    }
    return *name == '\0';
}

}  // namespace

bool SyncDirectory(const std::string& directory, std::string* error) {
    if (!Step(directory, error)) return false;
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return SetErrno(error, "open directory " + directory, errno);
    int rc = ::fsync(fd);
    int code = errno;
    ::close(fd);
    if (rc != 0) return SetErrno(error, "sync directory " + directory, code);
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFile(const std::string& path, std::string* bytes, std::string* error) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return SetErrno(error, "open " + path, errno);
    std::string out;
    char buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            int code = errno;
            ::close(fd);
            return SetErrno(error, "read " + path, code);
        }
        if (n == 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    *bytes = std::move(out);
    return true;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string* error) {
    struct stat old;
    bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return SetError(error, path + " is not a file");
    // A file marked read-only is not replaced, as the platform would refuse it.
    if (exists && IsReadOnly(path)) return SetError(error, path + " is read-only");

    if (!Step(path, error)) return false;
    std::string temp = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return SetErrno(error, "create temporary file for " + path, errno);

    auto fail = [&](const std::string& what, int code, bool injected) {
        ::close(fd);
        ::unlink(temp.c_str());
        return injected ? false : SetErrno(error, what, code);
    };
    if (::fchmod(fd, exists ? (old.st_mode & 07777) : 0644) != 0)
        return fail("set mode of " + temp, errno, false);
    if (!Step(temp, error)) return fail("", 0, true);
    if (!WriteAll(fd, bytes)) return fail("write " + temp, errno, false);
    if (!Step(temp, error)) return fail("", 0, true);
    if (::fsync(fd) != 0) return fail("sync " + temp, errno, false);
    if (::close(fd) != 0) {
        int code = errno;
        ::unlink(temp.c_str());
        return SetErrno(error, "close " + temp, code);
    }
    if (!Step(path, error)) {
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int code = errno;
        ::unlink(temp.c_str());
        return SetErrno(error, "rename " + temp + " to " + path, code);
    }
    // The new content is in place; a failed directory sync still means it may
    // not survive a crash, which the caller must hear about.
    return SyncDirectory(DirectoryOf(path), error);
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists,
              std::string* error) {
    std::string bytes;
    if (!ReadFile(source, &bytes, error)) return false;
    if (failIfExists && FileExists(target)) return SetError(error, target + " exists");
    return WriteFileAtomic(target, bytes, error);
}

bool LinkOrCopyFile(const std::string& source, const std::string& target, std::string* error) {
    if (!FileExists(source)) return SetError(error, source + " does not exist");
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) return SetError(error, target + " exists");
    if (!Step(target, error)) return false;
    if (::link(source.c_str(), target.c_str()) == 0) return true;
    return CopyFile(source, target, true, error);
}

bool MoveFile(const std::string& source, const std::string& target, std::string* error) {
    if (!FileExists(source)) return SetError(error, source + " does not exist");
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) return SetError(error, target + " exists");
    if (!Step(source, error) || !Step(target, error)) return false;
    if (::rename(source.c_str(), target.c_str()) == 0)
        return SyncDirectory(DirectoryOf(target), error);
    if (errno != EXDEV) return SetErrno(error, "rename " + source + " to " + target, errno);
    // Across file systems: copy, then remove the source only when the copy stands.
    if (!CopyFile(source, target, true, error)) return false;
    return DeleteFile(source, error);
}

bool DeleteFile(const std::string& path, std::string* error) {
    if (!FileExists(path)) return SetError(error, path + " does not exist");
    if (IsReadOnly(path)) return SetError(error, path + " is read-only");
    if (!Step(path, error)) return false;
    if (::unlink(path.c_str()) != 0) return SetErrno(error, "delete " + path, errno);
    return true;
}

bool IsReadOnly(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool SetReadOnly(const std::string& path, bool readOnly, std::string* error) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return SetErrno(error, "stat " + path, errno);
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (!Step(path, error)) return false;
    if (::chmod(path.c_str(), mode) != 0) return SetErrno(error, "chmod " + path, errno);
    return true;
}

std::vector<std::string> ListFiles(const std::string& directory, const std::string& pattern) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return names;
    // As on the platform, "x.*" also matches names without any extension.
    std::string bare;
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
        bare = pattern.substr(0, pattern.size() - 2);
    std::string base = directory.empty() || directory.back() == '/' ? directory : directory + "/";
    while (dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (!MatchWildcard(pattern.c_str(), name) &&
            (bare.empty() || !MatchWildcard(bare.c_str(), name)))
            continue;
        if (FileExists(base + name)) names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

bool CreateDirectory(const std::string& path, std::string* error) {
    if (!Step(path, error)) return false;
    if (::mkdir(path.c_str(), 0755) != 0) return SetErrno(error, "create directory " + path, errno);
    return true;
}

bool RemoveDirectory(const std::string& path, std::string* error) {
    if (!Step(path, error)) return false;
    if (::rmdir(path.c_str()) != 0) return SetErrno(error, "remove directory " + path, errno);
    return true;
}

bool MoveDirectory(const std::string& source, const std::string& target, std::string* error) {
    if (!DirectoryExists(source)) return SetError(error, source + " is not a directory");
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) return SetError(error, target + " exists");
    if (!Step(source, error) || !Step(target, error)) return false;
    if (::rename(source.c_str(), target.c_str()) != 0)
        return SetErrno(error, "rename " + source + " to " + target, errno);
    return SyncDirectory(DirectoryOf(target), error);
}

std::vector<std::string> ListDirectories(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return names;
    std::string base = directory.empty() || directory.back() == '/' ? directory : directory + "/";
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (::lstat((base + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            names.push_back(std::move(name));
    }
    ::closedir(dir);
    return names;
}

void SetFaultPlan(const FaultPlan& plan) {
    FaultState& f = Faults();
    std::lock_guard<std::mutex> guard(f.lock);
    f.plan = plan;
    f.count = 0;
}

void ClearFaultPlan() {
    SetFaultPlan(FaultPlan{});
}

int64_t OperationCount() {
    FaultState& f = Faults();
    std::lock_guard<std::mutex> guard(f.lock);
    return f.count;
}

}  // namespace sarvenu::fileops
