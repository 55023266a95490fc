#include "engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/library.h"

namespace tabletool {

bool Engine::Load(std::string* error) {
    platform::HMODULE module = platform::LoadLibraryA("PELMORA.DLL");
    if (!module) {
        *error = "cannot load the engine: " + platform::LastLibraryError();
        return false;
    }
    getClassObject_ = reinterpret_cast<PFN_DllGetClassObject>(
        platform::GetProcAddress(module, "DllGetClassObject"));
    if (!getClassObject_) {
        *error = "the engine library has no DllGetClassObject";
        return false;
    }
    return true;
}

void* Engine::Create(const GUID& clsid, const GUID& iid) const {
    IClassFactory* factory = nullptr;
    if (getClassObject_(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
        return nullptr;
    void* object = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, &iid, &object);
    factory->Release();
    return hr == S_OK ? object : nullptr;
}

IDSBase* Engine::NewDataset() const {
    return static_cast<IDSBase*>(Create(CLSID_DSBase, IID_IDSBase));
}

IDSPacketReader* Engine::NewReader() const {
    return static_cast<IDSPacketReader*>(Create(CLSID_DSPacketReader, IID_IDSPacketReader));
}

std::string Engine::Message(uint32_t code) const {
    IDSPacketReader* reader = NewReader();
    if (!reader) return "";
    char buffer[128] = {};
    reader->ErrorText(code, buffer);
    reader->Release();
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
