#include "com/class_factory.h"

#include <atomic>
#include <new>

#include "com/object_count.h"
#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "packet/packet_objects.h"

namespace pelmora {

void ChangeServerLock(bool lock) {
    std::atomic<int32_t>& locks = LockCount();
    if (lock) {
        locks.fetch_add(1);
        return;
    }
    int32_t current = locks.load();
    while (current > 0 && !locks.compare_exchange_weak(current, current - 1)) {
    }
}

namespace {

// Shared part of the four class objects; the derived class names the kind of
// object it constructs.
class DS_Factory : public IClassFactory {
  public:
    virtual ~DS_Factory() = default;

    HRESULT QueryInterface(const IID* iid, void** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (iid && (IsEqualGUID(*iid, IID_IUnknown) || IsEqualGUID(*iid, IID_IClassFactory))) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    }

    uint32_t AddRef() override { return refs_.fetch_add(1) + 1; }

    uint32_t Release() override {
        uint32_t current = refs_.load();
        while (current > 0 && !refs_.compare_exchange_weak(current, current - 1)) {
        }
        if (current <= 1) {
            delete this;
            return 0;
        }
        return current - 1;
    }

    HRESULT CreateInstance(IUnknown* outer, const IID* iid, void** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (outer && !(iid && IsEqualGUID(*iid, IID_IUnknown))) return CLASS_E_NOAGGREGATION;
        IUnknown* object = Construct();
        if (!object) return E_OUTOFMEMORY;
        HRESULT hr = object->QueryInterface(iid, out);
        if (hr != S_OK) object->Release();  // count 0: destroys it
        return hr;
    }

    HRESULT LockServer(int32_t lock) override {
        ChangeServerLock(lock != 0);
        return S_OK;
    }

  protected:
    virtual IUnknown* Construct() = 0;

  private:
    std::atomic<uint32_t> refs_{0};
};

class DSBASE_Factory final : public DS_Factory {
    IUnknown* Construct() override { return NewDataset(); }
};

class DSCursor_Factory final : public DS_Factory {
    IUnknown* Construct() override { return NewCursor(); }
};

class DATAPACKETREAD_Factory final : public DS_Factory {
    IUnknown* Construct() override { return NewPacketReader(); }
};

class DATAPACKETWRITE_Factory final : public DS_Factory {
    IUnknown* Construct() override { return NewPacketWriter(); }
};

}  // namespace

IClassFactory* NewClassObject(const GUID& clsid, bool* unknown) {
    *unknown = false;
    if (IsEqualGUID(clsid, CLSID_DSBase)) return new (std::nothrow) DSBASE_Factory;
    if (IsEqualGUID(clsid, CLSID_DSCursor)) return new (std::nothrow) DSCursor_Factory;
    if (IsEqualGUID(clsid, CLSID_DSPacketReader)) return new (std::nothrow) DATAPACKETREAD_Factory;
    if (IsEqualGUID(clsid, CLSID_DSPacketWriter)) return new (std::nothrow) DATAPACKETWRITE_Factory;
    *unknown = true;
    return nullptr;
}

}  // namespace pelmora
