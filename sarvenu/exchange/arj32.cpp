// The ARJ wrapper.
#include "exchange/arj32.h"

#include "exchange/archive_error.h"

namespace sarvenu {

TArj32::TArj32() : TLha32(TLibraryInfo{"UNARJ32J.DLL", "Unarj", archiver_text::kArjMissing}) {}

int TArj32::Pack(ArchiverWindow, const std::string&, TArchiverOptions&, const std::string&,
                 const TStringList*) {
    RaiseArchiverError(archiver_text::kArjNoPack);
}

int TArj32::MakeSfx(ArchiverWindow, const std::string&, TArchiverOptions&) {
    RaiseArchiverError(archiver_text::kArjNoSfx);
}

}  // namespace sarvenu
