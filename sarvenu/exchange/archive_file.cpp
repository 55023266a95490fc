// Archive kinds by name and the archive object.
#include "exchange/archive_file.h"

#include "exchange/archive_cmd_opt.h"
#include "exchange/archive_error.h"
#include "exchange/arj32.h"
#include "exchange/cab32.h"
#include "exchange/lha32.h"
#include "exchange/tar32.h"
#include "exchange/zip32.h"

namespace sarvenu {
namespace {

std::string LowerExtension(const std::string& fileName) {
    const size_t slash = fileName.find_last_of(kPathDelimiter);
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = fileName.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

// Whether the kind's library opens the file as its archive.
bool LibraryAccepts(TArchiverType type, const std::string& fileName) {
    try {
        std::unique_ptr<TArchiver> archiver = CreateArchiver(type);
        ArchiveHandle handle = archiver->OpenArchive(nullptr, fileName, kArchiveOpenQueryMode);
        if (!handle) return false;
        archiver->CloseArchive(handle);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

TArchiverType ArchiverTypeOfFileName(const std::string& fileName) {
    const std::string extension = LowerExtension(fileName);
    if (extension == ".lzh") return atLha;
    if (extension == ".zip") return atZip;
    if (extension == ".cab") return atCab;
    if (extension == ".arj") return atArj;
    if (extension == ".tar") return atTar;
    if (extension == ".z" || extension == ".gz" || extension == ".tgz" || extension == ".taz")
        return atTgz;
    if (extension == ".exe") {
        TArchiverType found = atNone;
        for (TArchiverType type : {atArj, atCab, atZip, atLha})
            if (LibraryAccepts(type, fileName)) found = type;
        return found;
    }
    return atNone;
}

std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type) {
    switch (type) {
        case atLha:
            return std::make_unique<TLha32>();
        case atZip:
            return std::make_unique<TZip32>();
        case atCab:
            return std::make_unique<TCab32>();
        case atArj:
            return std::make_unique<TArj32>();
        case atTar:
            return std::make_unique<TTar32>();
        case atTgz:
            return std::make_unique<TTgz32>();
        case atNone:
        case atAutoDetect:
            break;
    }
    return nullptr;
}

void TArchiveFile::SetFileName(const std::string& fileName) {
    SetArchiverType(ArchiverTypeOfFileName(fileName));
    fileName_ = fileName;
}

void TArchiveFile::SetArchiverType(TArchiverType type) {
    if (type == atNone) return;
    if (type == atAutoDetect) RaiseArchiverError(archiver_text::kAutoDetect);
    std::unique_ptr<TArchiver> archiver = CreateArchiver(type);
    archiver_ = std::move(archiver);
    type_ = type;
}

TArchiver& TArchiveFile::RequireArchiver() {
    if (!archiver_) RaiseArchiverError(archiver_text::kNoArchiver);
    return *archiver_;
}

int TArchiveFile::Extract(ArchiverWindow window, const std::string& directory,
                          const TStringList* files) {
    TArchiver& archiver = RequireArchiver();
    const int result = archiver.Extract(window, fileName_, options_, directory, files);
    commandLine_ = archiver.LastCommandLine();
    return result;
}

int TArchiveFile::Pack(ArchiverWindow window, const std::string& directory,
                       const TStringList* files) {
    if (type_ == atAutoDetect) SetArchiverType(ArchiverTypeOfFileName(fileName_));
    TArchiver& archiver = RequireArchiver();
    const int result = archiver.Pack(window, fileName_, options_, directory, files);
    commandLine_ = archiver.LastCommandLine();
    return result;
}

}  // namespace sarvenu
