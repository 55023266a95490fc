// The ZIP wrapper.
#include "exchange/zip32.h"

#include "dataset/file_ops.h"
#include "exchange/archive_cmd_opt.h"
#include "exchange/archive_error.h"

namespace sarvenu {
namespace {

constexpr const char* kUnzipName = "UNZIP32.DLL";
constexpr const char* kLmzipName = "LMZIP32.DLL";

}  // namespace

std::string ZipStyleCommandLine(const std::string& command, const char* quietSwitch,
                                const std::string& archive, const TArchiverOptions& o,
                                const std::string& directory, const TStringList* files) {
    TCmdOpt line;
    if (o.c == 1) line.Add("-o");
    if (o.n == 1) line.Add(quietSwitch);
    if (o.x == 0) line.Add("-j");
    line.Add(o.UserOptions);
    line.AddQuoted("", archive);
    line.AddDirectory("", directory);
    if (files) line.AddList("", *files);
    line.Add(o.UserFileList);
    return command + line.Text();
}

TZip32::TZip32() : TArchiver(TLibraryInfo{kUnzipName, "UnZip", archiver_text::kZipMissing}) {
    LoadLibrary();
}

void TZip32::LoadLibrary() {
    TArchiverLibrary& unzip = TArchiverLibrary::Of(kUnzipName);
    TArchiverLibrary& lmzip = TArchiverLibrary::Of(kLmzipName);
    unzip_ = unzip.Load() ? &unzip : nullptr;
    lmzip_ = lmzip.Load() ? &lmzip : nullptr;
    if (!unzip_ && !lmzip_) RaiseArchiverError(archiver_text::kZipMissing);
}

void TZip32::UnloadLibrary() {
    unzip_ = nullptr;
    lmzip_ = nullptr;
}

void* TZip32::HandleEntry(const std::string& suffix) {
    if (lmzip_) {
        if (void* entry = lmzip_->FindEntry("Unzip" + suffix)) return entry;
        if (!unzip_) return lmzip_->Entry("Unzip" + suffix);
    }
    return unzip_->Entry("UnZip" + suffix);
}

std::string TZip32::MakeCommandLine(const std::string& command, const std::string& archive,
                                    const TArchiverOptions& options, const std::string& directory,
                                    const TStringList* files) {
    return ZipStyleCommandLine(command, "--i", archive, options, directory, files);
}

int TZip32::Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                    const std::string& directory, const TStringList* files) {
    void* entry = unzip_ ? unzip_->FindEntry("UnZip") : nullptr;
    if (!entry && lmzip_) entry = lmzip_->FindEntry("Unzip");
    if (!entry) RaiseMissingEntry(unzip_ ? kUnzipName : kLmzipName, "UnZip");
    return Send(reinterpret_cast<ArchiverCommandProc>(entry), window,
                MakeCommandLine("-x", archive, options, directory, files));
}

int TZip32::Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                 const std::string& directory, const TStringList* files) {
    if (!lmzip_) RaiseArchiverError(archiver_text::kZipPackNeedsLmzip);
    auto entry = reinterpret_cast<ArchiverCommandProc>(lmzip_->Entry("Zip"));
    if (fileops::FileExists(archive)) fileops::DeleteFile(archive);
    // The line is sent with n = 0; the caller's options keep their value.
    TArchiverOptions packing = options;
    packing.n = 0;
    const std::string line = MakeCommandLine("-ru", archive, packing, directory, files);
    return Send(entry, window, line);
}

int TZip32::MakeSfx(ArchiverWindow, const std::string&, TArchiverOptions&) {
    RaiseArchiverError(archiver_text::kZipNoSfx);
}

}  // namespace sarvenu
