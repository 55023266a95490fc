// Extraction, packing and deletion over whole archive files.
#include "lzh/lzh_commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "common/command_line.h"
#include "common/entry_names.h"
#include "common/file_list.h"
#include "common/pending_file.h"
#include "common/result_codes.h"
#include "lzh/lzh_archive.h"
#include "lzh/lzh_writer.h"
#include "platform/codepage.h"

namespace lzh {
namespace {

using archivers::NameCoding;

struct Outcome {
    int result = archivers::kResultOk;
    std::string message;

    void Fail(int code, const std::string& text) {
        if (result == archivers::kResultOk) {
            result = code;
            message = text;
        }
    }
};

bool SameName(std::string a, std::string b) {
    auto fold = [](std::string& s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    };
    fold(a);
    fold(b);
    return a == b;
}

bool MatchesAny(const std::vector<std::string>& patterns, const std::string& name) {
    if (patterns.empty()) return true;
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::string& p) { return archivers::WildcardMatch(p, name); });
}

// Opens and lists an archive; false (with the outcome set) when it cannot be
// read or its list is damaged.
bool OpenArchive(const std::string& path, FileSource* source, ArchiveIndex* index,
                 Outcome* outcome) {
    if (!source->Open(path)) {
        outcome->Fail(archivers::kResultCannotReadArchive, "cannot read the archive " + path);
        return false;
    }
    const uint64_t start = FindArchiveStart(*source);
    if (start == kNoArchive) {
        outcome->Fail(archivers::kResultBrokenArchive, "not an LZH archive: " + path);
        return false;
    }
    *index = ReadIndex(*source, start);
    return true;
}

std::vector<uint8_t> RawMember(const FileSource& source, const MemberHeader& m) {
    std::vector<uint8_t> bytes(static_cast<size_t>(m.dataOffset + m.compressedSize - m.offset));
    if (!source.Read(m.offset, bytes.data(), bytes.size())) bytes.clear();
    return bytes;
}

bool WriteArchive(const std::string& path, const std::vector<std::vector<uint8_t>>& members,
                  Outcome* outcome) {
    archivers::PendingFile out;
    std::string error;
    const std::vector<uint8_t> bytes = FinishArchive(members);
    if (!out.Open(path, &error) || !out.Write(bytes.data(), bytes.size()) ||
        !out.Commit(0, &error)) {
        outcome->Fail(archivers::kResultCannotWrite,
                      error.empty() ? "cannot write " + path : error);
        return false;
    }
    return true;
}

Outcome Extract(const archivers::CommandLine& line) {
    Outcome outcome;
    if (line.arguments.empty()) {
        outcome.Fail(archivers::kResultBadCommand, "no archive named");
        return outcome;
    }
    const std::string& archive = line.arguments[0];
    std::string directory = "./";
    std::vector<std::string> patterns;
    bool haveDirectory = false;
    for (size_t i = 1; i < line.arguments.size(); ++i) {
        if (!haveDirectory && archivers::EndsWithSeparator(line.arguments[i])) {
            directory = line.arguments[i];
            haveDirectory = true;
        } else {
            patterns.push_back(line.arguments[i]);
        }
    }
    FileSource source;
    ArchiveIndex index;
    if (!OpenArchive(archive, &source, &index, &outcome)) return outcome;
    if (!archivers::EnsureDirectory(directory)) {
        outcome.Fail(archivers::kResultCannotWrite, "cannot create the directory " + directory);
        return outcome;
    }
    for (const MemberHeader& member : index.members) {
        if (IsDirectory(member)) continue;
        const std::string name = archivers::BareEntryName(member.name, NameCoding::kCp932);
        if (name.empty()) {
            outcome.Fail(archivers::kResultBadEntryName, "a member has no usable file name");
            continue;
        }
        if (!MatchesAny(patterns, name)) continue;
        archivers::PendingFile out;
        std::string error;
        if (!out.Open(directory + name, &error)) {
            outcome.Fail(archivers::kResultCannotWrite, error);
            continue;
        }
        const MemberStatus status =
            ExtractMember(source, member,
                          [&](const uint8_t* data, size_t size) { return out.Write(data, size); });
        switch (status) {
            case MemberStatus::kOk:
                if (!out.Commit(member.modifiedTime, &error))
                    outcome.Fail(archivers::kResultCannotWrite, error);
                break;
            case MemberStatus::kChecksumMismatch:
                outcome.Fail(archivers::kResultChecksumMismatch, "CRC error: " + name);
                break;
            case MemberStatus::kBroken:
                outcome.Fail(archivers::kResultBrokenArchive, "damaged member: " + name);
                break;
            case MemberStatus::kUnsupported:
                outcome.Fail(archivers::kResultUnsupportedMethod,
                             "unsupported method " + member.method + ": " + name);
                break;
            case MemberStatus::kSinkFailed:
                outcome.Fail(archivers::kResultCannotWrite, "cannot write " + directory + name);
                break;
        }
    }
    if (!index.complete) outcome.Fail(archivers::kResultBrokenArchive, "the archive is damaged");
    return outcome;
}

// Packing. "u" replaces a member only by a newer file, "a" always.
Outcome Pack(const archivers::CommandLine& line, bool onlyNewer) {
    Outcome outcome;
    if (line.arguments.empty()) {
        outcome.Fail(archivers::kResultBadCommand, "no archive named");
        return outcome;
    }
    const std::string& archive = line.arguments[0];
    std::vector<std::string> items;
    for (size_t i = 1; i < line.arguments.size(); ++i)
        if (!archivers::EndsWithSeparator(line.arguments[i])) items.push_back(line.arguments[i]);
    std::vector<archivers::SourceFile> files;
    std::string error;
    if (!archivers::ExpandFileList(items, archive, &files, &error)) {
        outcome.Fail(archivers::kResultNoFiles, error);
        return outcome;
    }

    FileSource source;
    ArchiveIndex index;
    struct stat st;
    // An empty file (a temporary name made ready by the caller) holds no
    // members yet; any other existing file must be a readable archive.
    const bool exists = ::stat(archive.c_str(), &st) == 0 && st.st_size > 0;
    if (exists) {
        if (!OpenArchive(archive, &source, &index, &outcome)) return outcome;
        if (!index.complete) {
            outcome.Fail(archivers::kResultBrokenArchive, "the archive is damaged: " + archive);
            return outcome;
        }
    }
    if (files.empty() && index.members.empty()) {
        outcome.Fail(archivers::kResultNoFiles, "no files to pack");
        return outcome;
    }

    std::vector<bool> handled(files.size(), false);
    auto pack = [&](const archivers::SourceFile& file, std::vector<uint8_t>* member) {
        std::string contents;
        if (!archivers::ReadWholeFile(file.path, &contents)) {
            outcome.Fail(archivers::kResultNoFiles, "cannot read " + file.path);
            return false;
        }
        *member = BuildMember(platform::Utf8ToCp932(file.name), contents, file.modifiedTime);
        if (member->empty()) {
            outcome.Fail(archivers::kResultCannotWrite,
                         "too large for an LZH member: " + file.path);
            return false;
        }
        return true;
    };
    std::vector<std::vector<uint8_t>> members;
    for (const MemberHeader& existing : index.members) {
        const std::string name = archivers::BareEntryName(existing.name, NameCoding::kCp932);
        size_t match = files.size();
        for (size_t i = 0; i < files.size(); ++i)
            if (!handled[i] && SameName(files[i].name, name)) match = i;
        if (match < files.size()) {
            handled[match] = true;
            if (!onlyNewer || files[match].modifiedTime > existing.modifiedTime) {
                members.emplace_back();
                if (!pack(files[match], &members.back())) return outcome;
                continue;
            }
        }
        members.push_back(RawMember(source, existing));
        if (members.back().empty()) {
            outcome.Fail(archivers::kResultBrokenArchive, "the archive is damaged: " + archive);
            return outcome;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (handled[i]) continue;
        members.emplace_back();
        if (!pack(files[i], &members.back())) return outcome;
    }
    WriteArchive(archive, members, &outcome);
    return outcome;
}

Outcome Delete(const archivers::CommandLine& line) {
    Outcome outcome;
    if (line.arguments.size() < 2) {
        outcome.Fail(archivers::kResultBadCommand, "no archive or no member named");
        return outcome;
    }
    const std::string& archive = line.arguments[0];
    const std::vector<std::string> patterns(line.arguments.begin() + 1, line.arguments.end());
    FileSource source;
    ArchiveIndex index;
    if (!OpenArchive(archive, &source, &index, &outcome)) return outcome;
    if (!index.complete) {
        outcome.Fail(archivers::kResultBrokenArchive, "the archive is damaged: " + archive);
        return outcome;
    }
    std::vector<std::vector<uint8_t>> members;
    for (const MemberHeader& m : index.members) {
        if (MatchesAny(patterns, archivers::BareEntryName(m.name, NameCoding::kCp932))) continue;
        members.push_back(RawMember(source, m));
    }
    WriteArchive(archive, members, &outcome);
    return outcome;
}

}  // namespace

int RunCommand(std::string_view commandLine, std::string* message) {
    const archivers::CommandLine line = archivers::ParseCommandLine(commandLine);
    std::string command = line.command;
    for (char& c : command)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    Outcome outcome;
    if (command == "x" || command == "e")
        outcome = Extract(line);
    else if (command == "u")
        outcome = Pack(line, true);
    else if (command == "a")
        outcome = Pack(line, false);
    else if (command == "d")
        outcome = Delete(line);
    else if (command == "s")
        outcome.Fail(archivers::kResultUnsupportedCommand,
                     "self-extracting archives are not made by this library");
    else
        outcome.Fail(archivers::kResultBadCommand, "unknown command: " + line.command);
    *message = outcome.result == archivers::kResultOk ? "ok" : outcome.message;
    return outcome.result;
}

}  // namespace lzh
