// Command lines of the libarchive-based libraries.
//  ZIP and CAB form: COMMAND [switches] ARCHIVE [DIR/] [FILE...], where the
//    command is "-x" (extract into DIR), "-ru" or "-a" (pack FILE items).
//    Switches ("-o", "--i", "-i", "-j") change nothing: files are always
//    overwritten, no dialog is shown, folder names are never kept.
//  TAR form: COMMAND [switches] -f ARCHIVE [-o DIR/] [FILE...], with the
//    command "x" (extract) or "c" (pack); a "-z" switch, or an archive name
//    ending in .gz, .tgz, .taz or .z, packs gzip-compressed.
#pragma once

#include <string>
#include <string_view>

namespace bridge {

// The ZIP libraries: extraction in both, packing only where allowed.
int RunZipCommand(std::string_view line, bool packingAllowed, bool extractionAllowed,
                  std::string* message);
// The CAB library: extraction only (libarchive does not write CAB).
int RunCabCommand(std::string_view line, std::string* message);
int RunTarCommand(std::string_view line, std::string* message);

}  // namespace bridge
