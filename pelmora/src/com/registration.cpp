#include "com/registration.h"

#include <string>

#include "pelmora/pelmora.h"
#include "platform/library.h"
#include "platform/registry.h"

namespace pelmora {
namespace {

struct Entry {
    const char* progId;
    const char* description;
    const char* curVer;         // null: the entry names a class of its own
    const char* independentId;  // version-independent ProgID, or null
    const GUID* clsid;
};

const Entry kEntries[] = {
    {"Dravik.Pelmora_DSBase", "Dravik Pelmora DSBase Current", "Dravik.Pelmora_DSBase.1", nullptr,
     &CLSID_DSBase},
    {"Dravik.Pelmora_DSBase.1", "Dravik Pelmora DSBase 1", nullptr, "Dravik.Pelmora_DSBase",
     &CLSID_DSBase},
    {"Dravik.Pelmora_DSCursor", "Dravik Pelmora DSCursor Current", "Dravik.Pelmora_DSCursor.1",
     nullptr, &CLSID_DSCursor},
    {"Dravik.Pelmora_DSCursor.1", "Dravik Pelmora DSCursor 1", nullptr, "Dravik.Pelmora_DSCursor",
     &CLSID_DSCursor},
    {"Dravik.Pelmora_DatapacketRead.1", "Dravik Pelmora DatapacketRead", nullptr, nullptr,
     &CLSID_DSPacketReader},
    {"Dravik.Pelmora_DatapacketWrite.1", "Dravik Pelmora DatapacketWrite", nullptr, nullptr,
     &CLSID_DSPacketWriter},
};

// The platform has no type libraries; the library's description is kept
// under a key of its own so that removal has something to undo.
const char kTypeLibKey[] = "TypeLib\\Pelmora";
const char kTypeLibTitle[] = "Dravik Pelmora type library";

bool IsEngineModule(const std::string& modulePath) {
    if (modulePath.empty()) return false;
    size_t slash = modulePath.find_last_of('/');
    std::string base = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
    return base == platform::MapLibraryName("PELMORA.DLL");
}

}  // namespace

HRESULT RegisterServer(const std::string& modulePath) {
    if (!IsEngineModule(modulePath) || modulePath.size() > 260) return SELFREG_E_CLASS;
    // Type library registration: its result is ignored.
    platform::RegSetString(kTypeLibKey, "", kTypeLibTitle);
    platform::RegSetString(std::string(kTypeLibKey) + "\\Path", "", modulePath);

    for (const Entry& e : kEntries) {
        std::string clsid = StringFromGUID(*e.clsid);
        if (clsid.size() != 38) return SELFREG_E_CLASS;
        std::string progKey = e.progId;
        platform::RegSetString(progKey, "", e.description);
        platform::RegSetString(progKey + "\\Clsid", "", clsid);
        if (e.curVer) {
            platform::RegSetString(progKey + "\\CurVer", "", e.curVer);
            continue;
        }
        std::string classKey = "CLSID\\" + clsid;
        platform::RegSetString(classKey, "", e.description);
        platform::RegSetString(classKey + "\\ProgID", "", e.progId);
        platform::RegSetString(classKey + "\\InProcServer32", "", modulePath);
        platform::RegSetString(classKey + "\\InProcServer32", "ThreadingModel", "Apartment");
        if (e.independentId)
            platform::RegSetString(classKey + "\\VersionIndependentProgID", "", e.independentId);
    }
    return S_OK;
}

HRESULT UnregisterServer(const std::string& modulePath) {
    if (IsEngineModule(modulePath)) {
        platform::RegDeleteKey(std::string(kTypeLibKey) + "\\Path");
        platform::RegDeleteKey(kTypeLibKey);
    }
    for (const Entry& e : kEntries) {
        std::string clsid = StringFromGUID(*e.clsid);
        if (clsid.size() != 38) return SELFREG_E_CLASS;
        if (!e.curVer) {
            std::string classKey = "CLSID\\" + clsid;
            platform::RegDeleteKey(classKey + "\\InProcServer32");
            platform::RegDeleteKey(classKey + "\\ProgID");
            platform::RegDeleteKey(classKey + "\\VersionIndependentProgID");
            platform::RegDeleteKey(classKey);
        }
        std::string progKey = e.progId;
        platform::RegDeleteKey(progKey + "\\Clsid");
        platform::RegDeleteKey(progKey + "\\CurVer");
        platform::RegDeleteKey(progKey);
    }
    return S_OK;
}

}  // namespace pelmora
