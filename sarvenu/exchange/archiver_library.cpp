// Process-wide archiver library bindings.
#include "exchange/archiver_library.h"

#include <memory>

#include "exchange/archive_error.h"

namespace sarvenu {
namespace {

std::map<std::string, std::unique_ptr<TArchiverLibrary>>& Bindings() {
    static std::map<std::string, std::unique_ptr<TArchiverLibrary>> bindings;
    return bindings;
}

std::map<std::string, std::string>& PathOverrides() {
    static std::map<std::string, std::string> overrides;
    return overrides;
}

}  // namespace

TArchiverLibrary& TArchiverLibrary::Of(const std::string& name) {
    auto& slot = Bindings()[name];
    if (!slot) slot.reset(new TArchiverLibrary(name));
    return *slot;
}

bool TArchiverLibrary::Load() {
    if (module_) return true;
    auto redirected = PathOverrides().find(name_);
    module_ =
        platform::LoadLibraryA(redirected == PathOverrides().end() ? name_ : redirected->second);
    if (module_) ++loadCount_;
    return module_ != nullptr;
}

void* TArchiverLibrary::FindEntry(const std::string& entryName) {
    if (!module_) return nullptr;
    auto known = entries_.find(entryName);
    if (known != entries_.end()) return known->second;
    void* address = platform::GetProcAddress(module_, entryName.c_str());
    if (address) entries_[entryName] = address;
    return address;
}

void* TArchiverLibrary::Entry(const std::string& entryName) {
    void* address = FindEntry(entryName);
    if (!address) RaiseMissingEntry(name_, entryName);
    return address;
}

void SetArchiverLibraryPath(const std::string& name, const std::string& path) {
    if (path.empty())
        PathOverrides().erase(name);
    else
        PathOverrides()[name] = path;
}

void ResetArchiverLibraries() {
    // Loaded modules stay mapped: entry addresses handed out earlier remain valid.
    Bindings().clear();
}

}  // namespace sarvenu
