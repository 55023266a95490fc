// The TAR wrappers.
#include "exchange/tar32.h"

#include "exchange/archive_cmd_opt.h"
#include "exchange/archive_error.h"

namespace sarvenu {

TTar32::TTar32() {
    LoadLibrary();
}

void TTar32::LoadLibrary() {
    TArchiverLibrary& library = TArchiverLibrary::Of("tar32.dll");
    if (!library.Load()) RaiseArchiverError(archiver_text::kTarMissing);
    library_ = &library;
}

void TTar32::UnloadLibrary() {
    library_ = nullptr;
}

ArchiveHandle TTar32::OpenArchive(ArchiverWindow window, const std::string& archive,
                                  uint32_t mode) {
    auto open = reinterpret_cast<ArchiverOpenProc>(library_->Entry("TarOpenArchive"));
    return open(window, AbsolutePath(archive).c_str(), mode);
}

void TTar32::CloseArchive(ArchiveHandle handle) {
    reinterpret_cast<ArchiverCloseProc>(library_->Entry("TarCloseArchive"))(handle);
}

int TTar32::FindFirst(ArchiveHandle handle, const std::string& wildcard, ArchiveEntryInfo* entry) {
    return reinterpret_cast<ArchiverFindFirstProc>(library_->Entry("TarFindFirst"))(
        handle, wildcard.c_str(), entry);
}

int TTar32::FindNext(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    return reinterpret_cast<ArchiverFindNextProc>(library_->Entry("TarFindNext"))(handle, entry);
}

std::string TTar32::CompressionSwitch(const TArchiverOptions&) const {
    return {};
}

std::string TTgz32::CompressionSwitch(const TArchiverOptions& options) const {
    return options.z < 1 ? "-z6" : "";
}

std::string TTar32::MakeCommandLine(const std::string& command, const std::string& archive,
                                    const TArchiverOptions& o, const std::string& directory,
                                    const TStringList* files) {
    TCmdOpt line;
    if (o.a > 0) line.Add("-AH");
    if (o.a == 0) line.Add("-I");
    if (o.n > 0) line.Add("--display-dialog=0");
    if (o.o < 1) line.Add("-g");
    line.AddInt("-check-all-path=", o.p);
    line.AddInt("-use-directory=", o.x);
    const std::string compression = CompressionSwitch(o);
    if (!compression.empty()) line.Add(compression);
    line.Add(o.UserOptions);
    line.Add("-f");
    line.AddQuoted("", archive);
    if (!directory.empty() && directory != TArchiverOptions::kNoText) {
        line.Add("-o");
        line.AddDirectory("", directory);
    }
    if (files) line.AddList("", *files);
    line.Add(o.UserFileList);
    return command + line.Text();
}

int TTar32::Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                    const std::string& directory, const TStringList* files) {
    return Send(reinterpret_cast<ArchiverCommandProc>(library_->Entry("Tar")), window,
                MakeCommandLine("x", archive, options, directory, files));
}

int TTar32::Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                 const std::string& directory, const TStringList* files) {
    return Send(reinterpret_cast<ArchiverCommandProc>(library_->Entry("Tar")), window,
                MakeCommandLine("c", archive, options, directory, files));
}

int TTar32::MakeSfx(ArchiverWindow, const std::string&, TArchiverOptions&) {
    return 0;
}

}  // namespace sarvenu
