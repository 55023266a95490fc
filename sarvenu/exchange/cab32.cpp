// The CAB wrapper.
#include "exchange/cab32.h"

#include "exchange/archive_error.h"
#include "exchange/zip32.h"

namespace sarvenu {

TCab32::TCab32() : TArchiver(TLibraryInfo{"CAB32.DLL", "Cab", archiver_text::kCabMissing}) {
    LoadLibrary();
}

std::string TCab32::MakeCommandLine(const std::string& command, const std::string& archive,
                                    const TArchiverOptions& options, const std::string& directory,
                                    const TStringList* files) {
    return ZipStyleCommandLine(command, "-i", archive, options, directory, files);
}

int TCab32::Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                    const std::string& directory, const TStringList* files) {
    return SendCommand(window,
                       MakeCommandLine("-x", AbsolutePath(archive), options, directory, files));
}

int TCab32::Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                 const std::string& directory, const TStringList* files) {
    return SendCommand(window, MakeCommandLine("-a", archive, options, directory, files));
}

int TCab32::MakeSfx(ArchiverWindow window, const std::string& archive, TArchiverOptions& options) {
    return SendCommand(window, MakeCommandLine("-f", archive, options, "", nullptr));
}

}  // namespace sarvenu
