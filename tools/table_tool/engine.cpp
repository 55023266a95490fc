#include "engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/library.h"

namespace tabletool {

bool Engine::Load(std::string* error) {
    if (!client_.Load()) {
        *error = "cannot load the engine: " + platform::LastLibraryError();
        return false;
    }
    if (!client_.getClassObject) {
        *error = "the engine library has no DllGetClassObject";
        return false;
    }
    return true;
}

IDSBase* Engine::NewDataset() const {
    return client_.NewDataset();
}

IDSPacketReader* Engine::NewReader() const {
    return client_.NewReader();
}

std::string Engine::Message(uint32_t code) const {
    pelmora::Ref<IDSPacketReader> reader(NewReader());
    if (!reader) return "";
    char buffer[128] = {};
    reader->ErrorText(code, buffer);
    return buffer;
}

bool ReadFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFileAtomically(const std::string& path, const void* bytes, size_t size) {
    const std::string temp = path + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const char* p = static_cast<const char*>(bytes);
    size_t left = size;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n <= 0) {
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    std::string dir = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
    if (dir.empty()) dir = "/";
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

}  // namespace tabletool
