// The six exported entry points of libpelmora.so. Everything else in the
// library is hidden.
#include <new>

#include "com/class_factory.h"
#include "com/object_count.h"
#include "com/quilmet.h"
#include "com/registration.h"
#include "pelmora/pelmora.h"
#include "platform/library.h"

#define PELMORA_EXPORT extern "C" __attribute__((visibility("default")))

PELMORA_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (!clsid) return CLASS_E_CLASSNOTAVAILABLE;
    bool unknown = false;
    IClassFactory* factory = pelmora::NewClassObject(*clsid, &unknown);
    if (!factory) return unknown ? CLASS_E_CLASSNOTAVAILABLE : E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(iid, out);
    if (hr != S_OK) factory->Release();  // count 0: destroys it
    return hr;
}

PELMORA_EXPORT HRESULT DllCanUnloadNow() {
    return (pelmora::ObjectCount().load() != 0 || pelmora::LockCount().load() != 0) ? S_FALSE
                                                                                    : S_OK;
}

PELMORA_EXPORT HRESULT InitQuilmet(void** out) {
    if (out) *out = static_cast<IQuilmet*>(new (std::nothrow) pelmora::TQuilmet);
    return S_OK;
}

PELMORA_EXPORT HRESULT ExitQuilmet(void** inout) {
    if (inout) {
        delete static_cast<pelmora::TQuilmet*>(static_cast<IQuilmet*>(*inout));
        *inout = nullptr;
    }
    return S_OK;
}

PELMORA_EXPORT HRESULT DllRegisterServer() {
    return pelmora::RegisterServer(
        platform::ModulePathOfAddress(reinterpret_cast<const void*>(&DllRegisterServer)));
}

PELMORA_EXPORT HRESULT DllUnregisterServer() {
    return pelmora::UnregisterServer(
        platform::ModulePathOfAddress(reinterpret_cast<const void*>(&DllUnregisterServer)));
}
