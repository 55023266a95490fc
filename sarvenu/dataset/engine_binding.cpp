#include "dataset/engine_binding.h"

#include <mutex>

#include "dataset/client_table.h"
#include "dataset/dataset_messages.h"
#include "platform/library.h"
#include "platform/registry.h"

namespace sarvenu::engine {
namespace {

[[noreturn]] void RaiseLoadError() {
    throw EDatabaseError(dsmsg::Text(dsmsg::kLoadError));
}

void* CreateThroughFactory(const GUID& clsid, const GUID& iid) {
    const EngineLibrary& engine = BoundEngine();
    IClassFactory* factory = nullptr;
    HRESULT hr =
        engine.getClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory));
    void* object = nullptr;
    if (hr == S_OK && factory) {
        hr = factory->CreateInstance(nullptr, &iid, &object);
        factory->Release();
    }
    if (hr != S_OK || !object) throw EDatabaseError(dsmsg::Text(dsmsg::kEngineObject));
    return object;
}

}  // namespace

std::string EngineRegistryKey() {
    return "CLSID\\" + StringFromGUID(CLSID_DSBase) + "\\InProcServer32";
}

EngineLibrary LoadEngineLibrary() {
    std::string path;
    bool registered = platform::RegGetString(EngineRegistryKey(), "", &path) && !path.empty();
    if (!registered) path = "PELMORA.DLL";
    platform::HMODULE module = platform::LoadLibraryA(path);
    if (!module) RaiseLoadError();
    if (!registered) {
        // Self-registration is a courtesy for the next start; its failure
        // does not stop this one.
        auto reg = reinterpret_cast<PFN_DllRegisterServer>(
            platform::GetProcAddress(module, "DllRegisterServer"));
        if (reg) reg();
    }
    auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(
        platform::GetProcAddress(module, "DllGetClassObject"));
    if (!getClassObject) {
        platform::FreeLibrary(module);
        RaiseLoadError();
    }
    return EngineLibrary{module, getClassObject};
}

const EngineLibrary& BoundEngine() {
    static std::mutex lock;
    static EngineLibrary engine;
    std::lock_guard<std::mutex> guard(lock);
    if (!engine.getClassObject) engine = LoadEngineLibrary();
    return engine;
}

IDSBase* CreateDataset() {
    return static_cast<IDSBase*>(CreateThroughFactory(CLSID_DSBase, IID_IDSBase));
}

IDSCursor* CreateCursor() {
    return static_cast<IDSCursor*>(CreateThroughFactory(CLSID_DSCursor, IID_IDSCursor));
}

}  // namespace sarvenu::engine
