// Results of the libraries' command entries: 0 is success, anything else a
// failure. When several entries fail, the first failure is reported.
#pragma once

namespace archivers {

enum ArchiverResult : int {
    kResultOk = 0,
    kResultBadCommand = 1,          // unknown command, missing archive name
    kResultCannotReadArchive = 2,   // archive missing or unreadable
    kResultBrokenArchive = 3,       // damaged header, data cut short, bad stream
    kResultChecksumMismatch = 4,    // member data does not match its checksum
    kResultUnsupportedMethod = 5,   // member stored by a method not handled here
    kResultCannotWrite = 6,         // output file or archive could not be written
    kResultNoFiles = 7,             // nothing to pack, or a named file is missing
    kResultUnsupportedCommand = 8,  // command known but not offered by this library
    kResultBadEntryName = 9,        // entry without a usable file name
};

}  // namespace archivers
