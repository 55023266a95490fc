// Extraction, packing and listing through libarchive.
#include "bridge/libarchive_bridge.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/entry_names.h"
#include "common/file_list.h"
#include "common/pending_file.h"
#include "common/result_codes.h"

namespace bridge {
namespace {

using archivers::NameCoding;

struct ReadHandle {
    archive* a = archive_read_new();
    ~ReadHandle() { archive_read_free(a); }
};

void SupportFamily(archive* a, Family family) {
    switch (family) {
        case Family::kZip:
            archive_read_support_format_zip(a);
            break;
        case Family::kCab:
            archive_read_support_format_cab(a);
            break;
        case Family::kTar:
            archive_read_support_filter_all(a);
            archive_read_support_format_tar(a);
            archive_read_support_format_gnutar(a);
            break;
    }
}

const char* EntryName(archive_entry* entry) {
    const char* name = archive_entry_pathname(entry);
    return name ? name : archive_entry_pathname_utf8(entry);
}

bool IsPlainFile(archive_entry* entry) {
    return archive_entry_filetype(entry) == AE_IFREG && archive_entry_hardlink(entry) == nullptr;
}

struct Failure {
    int result = archivers::kResultOk;
    std::string message;
    void Set(int code, const std::string& text) {
        if (result != archivers::kResultOk) return;
        result = code;
        message = text;
    }
};

std::string ErrorText(archive* a) {
    const char* text = archive_error_string(a);
    return text ? text : "";
}

la_ssize_t WriteToPending(archive*, void* client, const void* buffer, size_t length) {
    return static_cast<archivers::PendingFile*>(client)->Write(buffer, length)
               ? static_cast<la_ssize_t>(length)
               : -1;
}

}  // namespace

int Extract(Family family, const std::string& path, const std::string& directory,
            const std::vector<std::string>& patterns, std::string* message) {
    Failure failure;
    ReadHandle in;
    SupportFamily(in.a, family);
    if (archive_read_open_filename(in.a, path.c_str(), 65536) != ARCHIVE_OK) {
        *message = "cannot read the archive " + path;
        return archivers::kResultCannotReadArchive;
    }
    if (!archivers::EnsureDirectory(directory)) {
        *message = "cannot create the directory " + directory;
        return archivers::kResultCannotWrite;
    }
    archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(in.a, &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        if (!IsPlainFile(entry)) continue;
        const char* stored = EntryName(entry);
        const std::string name =
            stored ? archivers::BareEntryName(stored, NameCoding::kUtf8OrCp932) : std::string();
        if (name.empty()) {
            failure.Set(archivers::kResultBadEntryName, "an entry has no usable file name");
            continue;
        }
        if (!patterns.empty() &&
            std::none_of(patterns.begin(), patterns.end(),
                         [&](const std::string& p) { return archivers::WildcardMatch(p, name); }))
            continue;
        archivers::PendingFile out;
        std::string error;
        if (!out.Open(directory + name, &error)) {
            failure.Set(archivers::kResultCannotWrite, error);
            continue;
        }
        bool ok = true;
        const void* block;
        size_t size;
        la_int64_t offset;
        int d;
        while ((d = archive_read_data_block(in.a, &block, &size, &offset)) == ARCHIVE_OK) {
            // Sparse files come with holes; no archive the program reads has them.
            if (!out.Write(block, size)) {
                ok = false;
                failure.Set(archivers::kResultCannotWrite, "cannot write " + directory + name);
                break;
            }
        }
        if (ok && d != ARCHIVE_EOF) {
            ok = false;
            failure.Set(archivers::kResultBrokenArchive,
                        "damaged entry " + name + ": " + ErrorText(in.a));
        }
        if (ok &&
            !out.Commit(archive_entry_mtime_is_set(entry) ? archive_entry_mtime(entry) : 0, &error))
            failure.Set(archivers::kResultCannotWrite, error);
        if (r == ARCHIVE_FATAL || d == ARCHIVE_FATAL) break;
    }
    if (r == ARCHIVE_FATAL)
        failure.Set(archivers::kResultBrokenArchive,
                    std::string("damaged archive: ") + ErrorText(in.a));
    *message = failure.result == archivers::kResultOk ? "ok" : failure.message;
    return failure.result;
}

int Pack(PackFormat format, const std::string& path, const std::vector<std::string>& items,
         std::string* message) {
    std::vector<archivers::SourceFile> files;
    std::string error;
    if (!archivers::ExpandFileList(items, path, &files, &error)) {
        *message = error;
        return archivers::kResultNoFiles;
    }
    if (files.empty()) {
        *message = "no files to pack";
        return archivers::kResultNoFiles;
    }
    archivers::PendingFile pending;
    if (!pending.Open(path, &error)) {
        *message = error;
        return archivers::kResultCannotWrite;
    }
    archive* out = archive_write_new();
    if (format == PackFormat::kZip) {
        archive_write_set_format_zip(out);
        archive_write_set_bytes_in_last_block(out, 1);
    } else {
        archive_write_set_format_pax_restricted(out);
        if (format == PackFormat::kTarGzip) archive_write_add_filter_gzip(out);
    }
    bool ok = archive_write_open(out, &pending, nullptr, WriteToPending, nullptr) == ARCHIVE_OK;
    for (const archivers::SourceFile& file : files) {
        if (!ok) break;
        std::string contents;
        if (!archivers::ReadWholeFile(file.path, &contents)) {
            error = "cannot read " + file.path;
            ok = false;
            break;
        }
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, file.name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(contents.size()));
        archive_entry_set_mtime(entry, static_cast<time_t>(file.modifiedTime), 0);
        ok = archive_write_header(out, entry) == ARCHIVE_OK &&
             (contents.empty() || archive_write_data(out, contents.data(), contents.size()) ==
                                      static_cast<la_ssize_t>(contents.size()));
        archive_entry_free(entry);
    }
    if (ok) ok = archive_write_close(out) == ARCHIVE_OK;
    if (!ok && error.empty()) error = std::string("cannot write ") + path + ": " + ErrorText(out);
    archive_write_free(out);
    if (!ok || !pending.Commit(0, &error)) {
        pending.Discard();
        *message = error;
        return archivers::kResultCannotWrite;
    }
    *message = "ok";
    return archivers::kResultOk;
}

std::unique_ptr<archivers::Listing> List(Family family, const std::string& path) {
    ReadHandle in;
    SupportFamily(in.a, family);
    if (archive_read_open_filename(in.a, path.c_str(), 65536) != ARCHIVE_OK) return nullptr;
    auto listing = std::make_unique<archivers::Listing>();
    archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(in.a, &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        const char* name = EntryName(entry);
        const la_int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
        listing->entries.push_back(archivers::MakeEntryInfo(
            name ? name : "", archive_format_name(in.a) ? archive_format_name(in.a) : "",
            static_cast<uint64_t>(size < 0 ? 0 : size), 0,
            archive_entry_mtime_is_set(entry) ? archive_entry_mtime(entry) : 0, 0,
            static_cast<uint16_t>(archive_entry_filetype(entry) == AE_IFDIR ? 0x10 : 0x20)));
    }
    // A file that yields no entry at all was not an archive of this family.
    if (r == ARCHIVE_FATAL && listing->entries.empty()) return nullptr;
    return listing;
}

}  // namespace bridge
