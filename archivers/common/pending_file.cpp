// Temporary-then-rename output files.
#include "common/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace archivers {

PendingFile::~PendingFile() {
    Discard();
}

bool PendingFile::Open(const std::string& finalPath, std::string* error) {
    Discard();
    size_t slash = finalPath.find_last_of('/');
    std::string directory = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
    std::string pattern = directory + ".~arc-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) {
        *error = "cannot create a file in " + (directory.empty() ? "." : directory) + ": " +
                 std::strerror(errno);
        return false;
    }
    ::fchmod(fd_, 0644);
    temporary_ = name.data();
    final_ = finalPath;
    return true;
}

bool PendingFile::Write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool PendingFile::Commit(int64_t modifiedTime, std::string* error) {
    if (fd_ < 0) {
        *error = "no file is open";
        return false;
    }
    if (::fsync(fd_) != 0) {
        *error = std::string("cannot write ") + final_ + ": " + std::strerror(errno);
        Discard();
        return false;
    }
    if (modifiedTime > 0) {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(modifiedTime);
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ::futimens(fd_, times);
    }
    ::close(fd_);
    fd_ = -1;
    if (::rename(temporary_.c_str(), final_.c_str()) != 0) {
        *error = std::string("cannot create ") + final_ + ": " + std::strerror(errno);
        ::unlink(temporary_.c_str());
        temporary_.clear();
        return false;
    }
    temporary_.clear();
    return true;
}

void PendingFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool EnsureDirectory(const std::string& directory) {
    if (directory.empty()) return true;
    struct stat st;
    if (::stat(directory.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string path = directory;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !EnsureDirectory(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes->clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes->append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace archivers
