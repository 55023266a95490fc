// The CAB wrapper.
#include "exchange/cab32.h"

#include "exchange/archive_error.h"
#include "exchange/zip32.h"

namespace sarvenu {

TCab32::TCab32() {
    LoadLibrary();
}

void TCab32::LoadLibrary() {
    TArchiverLibrary& library = TArchiverLibrary::Of("CAB32.DLL");
    if (!library.Load()) RaiseArchiverError(archiver_text::kCabMissing);
    library_ = &library;
}

void TCab32::UnloadLibrary() {
    library_ = nullptr;
}

ArchiveHandle TCab32::OpenArchive(ArchiverWindow window, const std::string& archive,
                                  uint32_t mode) {
    auto open = reinterpret_cast<ArchiverOpenProc>(library_->Entry("CabOpenArchive"));
    return open(window, AbsolutePath(archive).c_str(), mode);
}

void TCab32::CloseArchive(ArchiveHandle handle) {
    reinterpret_cast<ArchiverCloseProc>(library_->Entry("CabCloseArchive"))(handle);
}

int TCab32::FindFirst(ArchiveHandle handle, const std::string& wildcard, ArchiveEntryInfo* entry) {
    return reinterpret_cast<ArchiverFindFirstProc>(library_->Entry("CabFindFirst"))(
        handle, wildcard.c_str(), entry);
}

int TCab32::FindNext(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    return reinterpret_cast<ArchiverFindNextProc>(library_->Entry("CabFindNext"))(handle, entry);
}

std::string TCab32::MakeCommandLine(const std::string& command, const std::string& archive,
                                    const TArchiverOptions& options, const std::string& directory,
                                    const TStringList* files) {
    return ZipStyleCommandLine(command, "-i", archive, options, directory, files);
}

int TCab32::SendLine(ArchiverWindow window, const std::string& line) {
    return Send(reinterpret_cast<ArchiverCommandProc>(library_->Entry("Cab")), window, line);
}

int TCab32::Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                    const std::string& directory, const TStringList* files) {
    return SendLine(window,
                    MakeCommandLine("-x", AbsolutePath(archive), options, directory, files));
}

int TCab32::Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                 const std::string& directory, const TStringList* files) {
    return SendLine(window, MakeCommandLine("-a", archive, options, directory, files));
}

int TCab32::MakeSfx(ArchiverWindow window, const std::string& archive, TArchiverOptions& options) {
    return SendLine(window, MakeCommandLine("-f", archive, options, "", nullptr));
}

}  // namespace sarvenu
