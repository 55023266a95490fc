// Reference counting and interface lookup shared by the four kinds of engine
// object (dataset, cursor, packet reader and writer). A new object has count
// 0; the QueryInterface that hands it out raises it to 1, and the last
// Release destroys it. Every live object counts in the library's object count.
#pragma once

#include <atomic>

#include "com/object_count.h"
#include "pelmora/pelmora.h"

namespace pelmora {

template <typename Interface, const GUID& InterfaceId>
class ComObject : public Interface {
  public:
    ComObject() { ObjectCount().fetch_add(1); }
    virtual ~ComObject() { ObjectCount().fetch_sub(1); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(const IID* iid, void** out) override {
        if (!out) return E_NOINTERFACE;
        if (iid && (IsEqualGUID(*iid, IID_IUnknown) || IsEqualGUID(*iid, InterfaceId))) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
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

    uint32_t RefCount() const { return refs_.load(); }

  private:
    std::atomic<uint32_t> refs_{0};
};

}  // namespace pelmora
