// The TAR wrappers.
#include "exchange/tar32.h"

#include "exchange/archive_cmd_opt.h"
#include "exchange/archive_error.h"

namespace sarvenu {

TTar32::TTar32() : TArchiver(TLibraryInfo{"tar32.dll", "Tar", archiver_text::kTarMissing}) {
    LoadLibrary();
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
    return SendCommand(window, MakeCommandLine("x", archive, options, directory, files));
}

int TTar32::Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                 const std::string& directory, const TStringList* files) {
    return SendCommand(window, MakeCommandLine("c", archive, options, directory, files));
}

int TTar32::MakeSfx(ArchiverWindow, const std::string&, TArchiverOptions&) {
    return 0;
}

}  // namespace sarvenu
