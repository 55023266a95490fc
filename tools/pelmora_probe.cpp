// Loads the engine the way the program does (registry lookup, else the
// library by name with self-registration), creates one object of each class
// through its class object and prints what it found.
#include <cstdio>
#include <string>

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
    platform::HMODULE module = nullptr;
    if (platform::RegGetString(key, "", &registered)) {
        std::printf("registry: engine registered at %s\n", registered.c_str());
        module = platform::LoadLibraryA(registered);
    }
    if (!module) {
        module = platform::LoadLibraryA("PELMORA.DLL");
        if (!module) {
            std::fprintf(stderr, "cannot load the engine: %s\n",
                         platform::LastLibraryError().c_str());
            return 1;
        }
        auto reg = reinterpret_cast<PFN_DllRegisterServer>(
            platform::GetProcAddress(module, "DllRegisterServer"));
        HRESULT hr = reg ? reg() : E_INVALIDARG;
        std::printf("engine loaded by name; self-registration result 0x%08X\n",
                    static_cast<unsigned>(hr));
    }
    std::printf("registry file: %s\n", platform::RegistryPath().c_str());

    const char* exports[] = {"DllGetClassObject", "DllCanUnloadNow",   "InitQuilmet",
                             "ExitQuilmet",       "DllRegisterServer", "DllUnregisterServer"};
    for (const char* name : exports)
        std::printf("export %-20s %s\n", name,
                    platform::GetProcAddress(module, name) ? "present" : "MISSING");

    auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(
        platform::GetProcAddress(module, "DllGetClassObject"));
    auto canUnload =
        reinterpret_cast<PFN_DllCanUnloadNow>(platform::GetProcAddress(module, "DllCanUnloadNow"));
    if (!getClassObject || !canUnload) return 1;

    int failures = 0;
    for (const ClassInfo& c : kClasses) {
        IClassFactory* factory = nullptr;
        HRESULT hr =
            getClassObject(c.clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory));
        IUnknown* object = nullptr;
        if (hr == S_OK) {
            hr = factory->CreateInstance(nullptr, c.iid, reinterpret_cast<void**>(&object));
            factory->Release();
        }
        std::printf("class %-18s %s  %s\n", c.name, StringFromGUID(*c.clsid).c_str(),
                    hr == S_OK ? "created" : "FAILED");
        if (hr != S_OK) ++failures;
        if (object) {
            std::printf("  can unload while alive: %s\n", canUnload() == S_OK ? "yes" : "no");
            object->Release();
        }
    }
    std::printf("can unload after release: %s\n", canUnload() == S_OK ? "yes" : "no");
    return failures == 0 ? 0 : 1;
}
