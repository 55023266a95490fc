// Base behaviour of the archiver wrappers.
#include "exchange/archiver.h"

#include <filesystem>

#include "exchange/archive_error.h"

namespace sarvenu {

ArchiveHandle TArchiver::OpenArchive(ArchiverWindow, const std::string&, uint32_t) {
    return nullptr;
}

void TArchiver::CloseArchive(ArchiveHandle) {}

int TArchiver::FindFirst(ArchiveHandle, const std::string&, ArchiveEntryInfo*) {
    return -1;
}

int TArchiver::FindNext(ArchiveHandle, ArchiveEntryInfo*) {
    return -1;
}

int TArchiver::Delete(ArchiverWindow, const std::string&, TArchiverOptions&, const std::string&,
                      const TStringList*) {
    RaiseArchiverError(archiver_text::kNoDelete);
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
