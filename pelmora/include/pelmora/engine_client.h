// Reaching the engine from outside, the one way every caller does it: the
// library is loaded at run time (by path, or by its library name through the
// platform's naming rule), its exported entry points are resolved, and
// objects are made through their class objects. Ref<T> owns one reference on
// an engine object; ByteArray owns a byte array handed across the boundary.
// Header-only, so that the program, the tools, the benchmarks and the tests
// bind the engine alike without linking it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pelmora/pelmora.h"
#include "platform/library.h"

namespace pelmora {

// The engine's library name; the platform maps it to the shared library.
inline constexpr const char* kEngineLibraryName = "PELMORA.DLL";

// One reference on an engine object: adopted at construction, added on copy,
// released at scope end.
template <typename T>
class Ref {
  public:
    Ref() = default;
    // Adopts the reference the caller holds on `object`.
    explicit Ref(T* object) : p_(object) {}
    Ref(const Ref& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { reset(); }

    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Releases the object held and gives the slot to a call that returns one.
    T** out() {
        reset();
        return &p_;
    }
    // Releases the object held and adopts `object`.
    void reset(T* object = nullptr) {
        if (p_) p_->Release();
        p_ = object;
    }
    // Hands the reference over to the caller.
    T* release() { return std::exchange(p_, nullptr); }

  private:
    T* p_ = nullptr;
};

// A byte array owned by its holder and destroyed at scope end.
class ByteArray {
  public:
    ByteArray() = default;
    // Adopts an array (null is allowed).
    explicit ByteArray(SAFEARRAY* array) : array_(array) {}
    // A new array holding a copy of the bytes; get() is null when memory cannot be had.
    ByteArray(const void* bytes, size_t size)
        : array_(SafeArrayFromBytes(bytes, static_cast<uint32_t>(size))) {}
    ByteArray(ByteArray&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
    ByteArray& operator=(ByteArray&& other) noexcept {
        std::swap(array_, other.array_);
        return *this;
    }
    ByteArray(const ByteArray&) = delete;
    ByteArray& operator=(const ByteArray&) = delete;
    ~ByteArray() {
        if (array_) SafeArrayDestroy(array_);
    }

    SAFEARRAY* get() const { return array_; }
    // Destroys the array held and gives the slot to a call that returns one.
    SAFEARRAY** out() {
        if (array_) SafeArrayDestroy(array_);
        array_ = nullptr;
        return &array_;
    }

  private:
    SAFEARRAY* array_ = nullptr;
};

// Copies the bytes of an array and destroys it; empty for null or an array
// whose data cannot be reached.
inline std::vector<uint8_t> TakeBytes(SAFEARRAY* array) {
    std::vector<uint8_t> bytes;
    if (!array) return bytes;
    void* data = nullptr;
    if (SafeArrayAccessData(array, &data) == S_OK) {
        if (data)
            bytes.assign(static_cast<const uint8_t*>(data),
                         static_cast<const uint8_t*>(data) + array->rgsabound[0].cElements);
        SafeArrayUnaccessData(array);
    }
    SafeArrayDestroy(array);
    return bytes;
}

// A loaded engine library and its entry points. The library stays loaded
// until Unload(): engine objects may outlive the client that made them.
class EngineClient {
  public:
    // Loads the library from a path, or by library name beside the executable
    // first, then through the dynamic loader; resolves the six entry points
    // (a missing one stays null). False when the library cannot be loaded;
    // platform::LastLibraryError() then says why.
    bool Load(const std::string& nameOrPath = kEngineLibraryName) {
        Unload();
        module_ = platform::LoadLibraryA(nameOrPath);
        if (!module_) return false;
        getClassObject = reinterpret_cast<PFN_DllGetClassObject>(Export("DllGetClassObject"));
        canUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(Export("DllCanUnloadNow"));
        initQuilmet = reinterpret_cast<PFN_InitQuilmet>(Export("InitQuilmet"));
        exitQuilmet = reinterpret_cast<PFN_ExitQuilmet>(Export("ExitQuilmet"));
        registerServer = reinterpret_cast<PFN_DllRegisterServer>(Export("DllRegisterServer"));
        unregisterServer = reinterpret_cast<PFN_DllUnregisterServer>(Export("DllUnregisterServer"));
        return true;
    }

    // Lets the library go and forgets the entry points.
    void Unload() {
        if (module_) platform::FreeLibrary(module_);
        *this = EngineClient();
    }

    bool Loaded() const { return module_ != nullptr; }
    platform::HMODULE Module() const { return module_; }
    // Any export by name; null when the library is not loaded or lacks it.
    void* Export(const char* name) const {
        return module_ ? platform::GetProcAddress(module_, name) : nullptr;
    }

    // Makes an object of a class through its class object: S_OK with the
    // interface (one reference, the caller's) in *out, else the failing result.
    HRESULT CreateInstance(const GUID& clsid, const GUID& iid, void** out) const {
        *out = nullptr;
        if (!getClassObject) return E_INVALIDARG;
        IClassFactory* factory = nullptr;
        HRESULT hr = getClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (hr != S_OK) return hr;
        if (!factory) return E_NOINTERFACE;
        hr = factory->CreateInstance(nullptr, &iid, out);
        factory->Release();
        if (hr != S_OK) *out = nullptr;
        return hr;
    }
    // The object with the caller's reference, or null on failure.
    template <typename T>
    T* Create(const GUID& clsid, const GUID& iid) const {
        void* object = nullptr;
        return CreateInstance(clsid, iid, &object) == S_OK ? static_cast<T*>(object) : nullptr;
    }
    IDSBase* NewDataset() const { return Create<IDSBase>(CLSID_DSBase, IID_IDSBase); }
    IDSCursor* NewCursor() const { return Create<IDSCursor>(CLSID_DSCursor, IID_IDSCursor); }
    IDSPacketWriter* NewWriter() const {
        return Create<IDSPacketWriter>(CLSID_DSPacketWriter, IID_IDSPacketWriter);
    }
    IDSPacketReader* NewReader() const {
        return Create<IDSPacketReader>(CLSID_DSPacketReader, IID_IDSPacketReader);
    }

    PFN_DllGetClassObject getClassObject = nullptr;
    PFN_DllCanUnloadNow canUnloadNow = nullptr;
    PFN_InitQuilmet initQuilmet = nullptr;
    PFN_ExitQuilmet exitQuilmet = nullptr;
    PFN_DllRegisterServer registerServer = nullptr;
    PFN_DllUnregisterServer unregisterServer = nullptr;

  private:
    platform::HMODULE module_ = nullptr;
};

}  // namespace pelmora
