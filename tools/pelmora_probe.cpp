// Loads the engine the way the program does (registry lookup, else the
// library by name with self-registration), creates one object of each class
// through its class object and prints what it found.
#include <cstdio>
#include <string>

#include "pelmora/engine_client.h"
#include "pelmora/pelmora.h"
#include "platform/library.h"
#include "platform/registry.h"

namespace {

struct ClassInfo {
    const char* name;
    const GUID* clsid;
    const GUID* iid;
};

const ClassInfo kClasses[] = {
    {"dataset", &CLSID_DSBase, &IID_IDSBase},
    {"cursor", &CLSID_DSCursor, &IID_IDSCursor},
    {"datapacket writer", &CLSID_DSPacketWriter, &IID_IDSPacketWriter},
    {"datapacket reader", &CLSID_DSPacketReader, &IID_IDSPacketReader},
};

}  // namespace

int main() {
    std::string registered;
    std::string key = "CLSID\\" + StringFromGUID(CLSID_DSBase) + "\\InProcServer32";
    pelmora::EngineClient engine;
    if (platform::RegGetString(key, "", &registered)) {
        std::printf("registry: engine registered at %s\n", registered.c_str());
        engine.Load(registered);
    }
    if (!engine.Loaded()) {
        if (!engine.Load()) {
            std::fprintf(stderr, "cannot load the engine: %s\n",
                         platform::LastLibraryError().c_str());
            return 1;
        }
        HRESULT hr = engine.registerServer ? engine.registerServer() : E_INVALIDARG;
        std::printf("engine loaded by name; self-registration result 0x%08X\n",
                    static_cast<unsigned>(hr));
    }
    std::printf("registry file: %s\n", platform::RegistryPath().c_str());

    const char* exports[] = {"DllGetClassObject", "DllCanUnloadNow",   "InitQuilmet",
                             "ExitQuilmet",       "DllRegisterServer", "DllUnregisterServer"};
    for (const char* name : exports)
        std::printf("export %-20s %s\n", name, engine.Export(name) ? "present" : "MISSING");

    if (!engine.getClassObject || !engine.canUnloadNow) return 1;

    int failures = 0;
    for (const ClassInfo& c : kClasses) {
        pelmora::Ref<IUnknown> object;
        HRESULT hr =
            engine.CreateInstance(*c.clsid, *c.iid, reinterpret_cast<void**>(object.out()));
        std::printf("class %-18s %s  %s\n", c.name, StringFromGUID(*c.clsid).c_str(),
                    hr == S_OK ? "created" : "FAILED");
        if (hr != S_OK) ++failures;
        if (object) {
            std::printf("  can unload while alive: %s\n",
                        engine.canUnloadNow() == S_OK ? "yes" : "no");
            object.reset();
        }
    }
    std::printf("can unload after release: %s\n", engine.canUnloadNow() == S_OK ? "yes" : "no");
    return failures == 0 ? 0 : 1;
}
