#include "dataset/engine_binding.h"

#include <mutex>

#include "dataset/client_table.h"
#include "dataset/dataset_messages.h"
#include "platform/registry.h"

namespace sarvenu::engine {
namespace {

[[noreturn]] void RaiseLoadError() {
    throw EDatabaseError(dsmsg::Text(dsmsg::kLoadError));
}

template <typename T>
T* CreateThroughFactory(const GUID& clsid, const GUID& iid) {
    T* object = BoundEngine().Create<T>(clsid, iid);
    if (!object) throw EDatabaseError(dsmsg::Text(dsmsg::kEngineObject));
    return object;
}

}  // namespace

std::string EngineRegistryKey() {
    return "CLSID\\" + StringFromGUID(CLSID_DSBase) + "\\InProcServer32";
}

EngineLibrary LoadEngineLibrary() {
    std::string path;
    bool registered = platform::RegGetString(EngineRegistryKey(), "", &path) && !path.empty();
    if (!registered) path = pelmora::kEngineLibraryName;
    EngineLibrary engine;
    if (!engine.Load(path)) RaiseLoadError();
    // Self-registration is a courtesy for the next start; its failure does
    // not stop this one.
    if (!registered && engine.registerServer) engine.registerServer();
    if (!engine.getClassObject) {
        engine.Unload();
        RaiseLoadError();
    }
    return engine;
}

const EngineLibrary& BoundEngine() {
    static std::mutex lock;
    static EngineLibrary engine;
    std::lock_guard<std::mutex> guard(lock);
    if (!engine.getClassObject) engine = LoadEngineLibrary();
    return engine;
}

IDSBase* CreateDataset() {
    return CreateThroughFactory<IDSBase>(CLSID_DSBase, IID_IDSBase);
}

IDSCursor* CreateCursor() {
    return CreateThroughFactory<IDSCursor>(CLSID_DSCursor, IID_IDSCursor);
}

}  // namespace sarvenu::engine
