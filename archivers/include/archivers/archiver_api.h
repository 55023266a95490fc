// The calling interface between the program and the outside archiver
// libraries, which it loads at run time and binds by entry name: one command
// entry taking a command line, and four archive-handle entries to open an
// archive, list its entries and close it again. The archiver libraries of this
// system implement exactly these types, so both sides include this header.
#pragma once

#include <cstdint>

extern "C" {

// Owner window of any dialog a library might show (never used: none is shown).
typedef void* ArchiverWindow;
// An archive opened through the archive-handle entries; null when refused.
typedef void* ArchiveHandle;

// Mode the program opens an archive with when it only asks whether the
// library accepts the file.
constexpr uint32_t kArchiveOpenQueryMode = 0x00800002;

// Results of the find entries.
constexpr int kArchiveFindFound = 0;
constexpr int kArchiveFindEnd = -1;
constexpr int kArchiveFindError = -2;

// One entry of an opened archive, as the find entries report it.
struct ArchiveEntryInfo {
    uint64_t originalSize;    // bytes after extraction
    uint64_t compressedSize;  // bytes of stored data
    int64_t modifiedTime;     // seconds since 1970-01-01 UTC; 0 when unknown
    uint32_t checksum;        // the entry's checksum as the format keeps it
    uint16_t ratio;           // compressed size in per mille of the original size
    uint16_t attribute;       // file attribute bits of the entry, 0 when unknown
    char method[12];          // storing method, NUL-terminated ("-lh5-", "deflate")
    char fileName[516];       // stored name with its folders, 8-bit, NUL-terminated
};
static_assert(sizeof(ArchiveEntryInfo) == 560, "the entry record layout is fixed");

// Command entry: (owner window, command line, output buffer or null, its size)
// -> 0 on success, anything else on failure. A message may be written into
// the output buffer, NUL-terminated and cut to its size.
typedef int (*ArchiverCommandProc)(ArchiverWindow window, const char* commandLine, char* output,
                                   uint32_t outputSize);
// Opens an archive: (owner window, absolute path, mode) -> handle or null.
typedef ArchiveHandle (*ArchiverOpenProc)(ArchiverWindow window, const char* path, uint32_t mode);
// Closes an opened archive: 0 on success.
typedef int (*ArchiverCloseProc)(ArchiveHandle handle);
// First entry whose name matches the wildcard ("*" and "?"; null or empty
// matches every entry) -> kArchiveFindFound, kArchiveFindEnd or kArchiveFindError.
typedef int (*ArchiverFindFirstProc)(ArchiveHandle handle, const char* wildcard,
                                     ArchiveEntryInfo* entry);
// The next entry matching the wildcard of the last find first.
typedef int (*ArchiverFindNextProc)(ArchiveHandle handle, ArchiveEntryInfo* entry);

}  // extern "C"
