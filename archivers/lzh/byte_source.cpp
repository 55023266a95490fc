// Buffer and file inputs of the archive reader.
#include "lzh/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lzh {

bool MemorySource::Read(uint64_t offset, void* buffer, size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    if (size > 0) std::memcpy(buffer, data_ + offset, size);
    return true;
}

FileSource::~FileSource() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileSource::Open(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

bool FileSource::Read(uint64_t offset, void* buffer, size_t size) const {
    if (fd_ < 0 || offset > size_ || size > size_ - offset) return false;
    char* p = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t n = ::pread(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace lzh
