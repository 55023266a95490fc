// Base behaviour of the archiver wrappers.
#include "exchange/archiver.h"

#include <filesystem>

#include "exchange/archive_error.h"

namespace sarvenu {

void TArchiver::LoadLibrary() {
    TArchiverLibrary& library = TArchiverLibrary::Of(info_.libraryName);
    if (!library.Load()) RaiseArchiverError(info_.missingMessage);
    library_ = &library;
}

void TArchiver::UnloadLibrary() {
    library_ = nullptr;
}

void* TArchiver::HandleEntry(const std::string& suffix) {
    return library_->Entry(info_.entryPrefix + suffix);
}

ArchiveHandle TArchiver::OpenArchive(ArchiverWindow window, const std::string& archive,
                                     uint32_t mode) {
    auto open = reinterpret_cast<ArchiverOpenProc>(HandleEntry("OpenArchive"));
    return open(window, AbsolutePath(archive).c_str(), mode);
}

void TArchiver::CloseArchive(ArchiveHandle handle) {
    reinterpret_cast<ArchiverCloseProc>(HandleEntry("CloseArchive"))(handle);
}

int TArchiver::FindFirst(ArchiveHandle handle, const std::string& wildcard,
                         ArchiveEntryInfo* entry) {
    return reinterpret_cast<ArchiverFindFirstProc>(HandleEntry("FindFirst"))(
        handle, wildcard.c_str(), entry);
}

int TArchiver::FindNext(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    return reinterpret_cast<ArchiverFindNextProc>(HandleEntry("FindNext"))(handle, entry);
}

int TArchiver::Delete(ArchiverWindow, const std::string&, TArchiverOptions&, const std::string&,
                      const TStringList*) {
    RaiseArchiverError(archiver_text::kNoDelete);
}

int TArchiver::SendCommand(ArchiverWindow window, const std::string& line) {
    return Send(reinterpret_cast<ArchiverCommandProc>(library_->Entry(info_.entryPrefix)), window,
                line);
}

int TArchiver::Send(ArchiverCommandProc entry, ArchiverWindow window, const std::string& line) {
    lastCommandLine_ = line;
    return entry(window, line.c_str(), nullptr, 0);
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

}  // namespace sarvenu
