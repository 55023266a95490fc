// Test harness: reaches the engine the way an outside caller does, through
// dlopen, the exported entry points and the class objects.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pelmora/pelmora.h"

namespace enginetest {

class Engine {
  public:
    static Engine& Get() {
        static Engine engine;
        return engine;
    }

    PFN_DllGetClassObject getClassObject = nullptr;
    PFN_DllCanUnloadNow canUnloadNow = nullptr;
    PFN_InitQuilmet initQuilmet = nullptr;
    PFN_ExitQuilmet exitQuilmet = nullptr;
    PFN_DllRegisterServer registerServer = nullptr;
    PFN_DllUnregisterServer unregisterServer = nullptr;
    void* handle = nullptr;

    // Creates an engine object through its class object; null on failure.
    template <typename T>
    T* Create(const GUID& clsid, const GUID& iid) {
        IClassFactory* factory = nullptr;
        if (getClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
            return nullptr;
        void* object = nullptr;
        HRESULT hr = factory->CreateInstance(nullptr, &iid, &object);
        factory->Release();
        return hr == S_OK ? static_cast<T*>(object) : nullptr;
    }

    IDSBase* NewDataset() { return Create<IDSBase>(CLSID_DSBase, IID_IDSBase); }
    IDSCursor* NewCursor() { return Create<IDSCursor>(CLSID_DSCursor, IID_IDSCursor); }
    IDSPacketWriter* NewWriter() {
        return Create<IDSPacketWriter>(CLSID_DSPacketWriter, IID_IDSPacketWriter);
    }
    IDSPacketReader* NewReader() {
        return Create<IDSPacketReader>(CLSID_DSPacketReader, IID_IDSPacketReader);
    }

  private:
    Engine() {
        handle = dlopen(PELMORA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            ADD_FAILURE() << "cannot load engine: " << dlerror();
            return;
        }
        getClassObject =
            reinterpret_cast<PFN_DllGetClassObject>(dlsym(handle, "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
        initQuilmet = reinterpret_cast<PFN_InitQuilmet>(dlsym(handle, "InitQuilmet"));
        exitQuilmet = reinterpret_cast<PFN_ExitQuilmet>(dlsym(handle, "ExitQuilmet"));
        registerServer =
            reinterpret_cast<PFN_DllRegisterServer>(dlsym(handle, "DllRegisterServer"));
        unregisterServer =
            reinterpret_cast<PFN_DllUnregisterServer>(dlsym(handle, "DllUnregisterServer"));
    }
};

// Releases an interface pointer at scope end.
template <typename T>
class Ref {
  public:
    explicit Ref(T* p = nullptr) : p_(p) {}
    ~Ref() { reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

  private:
    T* p_;
};

// Copies the bytes of a byte array and destroys it.
inline std::vector<uint8_t> TakeBytes(SAFEARRAY* array) {
    std::vector<uint8_t> bytes;
    if (!array) return bytes;
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    bytes.assign(static_cast<uint8_t*>(data),
                 static_cast<uint8_t*>(data) + array->rgsabound[0].cElements);
    SafeArrayUnaccessData(array);
    SafeArrayDestroy(array);
    return bytes;
}

// A byte array owned by the test, destroyed at scope end.
class Packet {
  public:
    explicit Packet(const std::vector<uint8_t>& bytes)
        : array_(SafeArrayFromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()))) {}
    ~Packet() { SafeArrayDestroy(array_); }
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;
    SAFEARRAY* get() const { return array_; }

  private:
    SAFEARRAY* array_;
};

inline PacketColumnDesc Column(const char* name, uint32_t typeWord, uint16_t attributes = 0) {
    PacketColumnDesc c{};
    std::strncpy(c.name, name, sizeof(c.name) - 1);
    c.typeWord = typeWord;
    c.attributes = attributes;
    return c;
}

}  // namespace enginetest
