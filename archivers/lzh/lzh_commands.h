// The commands of the LZH library, given as command lines:
//   x (or e) ARCHIVE [DIR/] [PATTERN...]  extract every member (or those whose
//        bare name matches a pattern) into DIR, each under its bare name;
//   u ARCHIVE FILE...  pack: add the files, replacing members of the same name
//        that are older than the file; a into the same form replaces always;
//   d ARCHIVE PATTERN...  delete the members whose bare name matches.
// Paths are file-system paths (UTF-8); FILE items may end in a wildcard
// ("/data/tmp/*.*"). Members are stored without folder names. Switches ("-+",
// "-n1", "-x0", ...) are accepted and change nothing: no dialog is ever shown
// and folders are never kept. An archive is rewritten under a temporary name
// and takes its final name only when complete.
#pragma once

#include <string>
#include <string_view>

namespace lzh {

// Runs one command line; returns a result of common/result_codes.h and a
// short message about the outcome.
int RunCommand(std::string_view commandLine, std::string* message);

}  // namespace lzh
