#include "records/backup.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <utility>

#include "dataset/file_ops.h"

namespace sarvenu {
namespace {

using Clock = std::chrono::system_clock;

// Hidden folder names: a snapshot being built, and an old one being removed.
// Neither is a snapshot name, so a crash in either state leaves nothing that
// looks like a complete snapshot.
constexpr std::string_view kWorkPrefix = ".partial-";
constexpr std::string_view kDiscardPrefix = ".discard-";
constexpr size_t kStampLength = 15;  // "YYYYMMDD-HHMMSS"

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string WithoutSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string StampOf(Clock::time_point when) {
    std::time_t t = Clock::to_time_t(when);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// The local time a snapshot name stands for (to the second).
Clock::time_point TimeOf(const std::string& name) {
    auto number = [&](size_t at, size_t length) { return std::stoi(name.substr(at, length)); };
    std::tm local{};
    local.tm_year = number(0, 4) - 1900;
    local.tm_mon = number(4, 2) - 1;
    local.tm_mday = number(6, 2);
    local.tm_hour = number(9, 2);
    local.tm_min = number(11, 2);
    local.tm_sec = number(13, 2);
    local.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&local));
}

// Ordering key of a snapshot name: its time stamp, then its suffix number
// (1 for none), so that "-10" comes after "-9".
std::pair<std::string, int> OrderOf(const std::string& name) {
    int suffix = name.size() > kStampLength ? std::stoi(name.substr(kStampLength + 1)) : 1;
    return {name.substr(0, kStampLength), suffix};
}

bool AnythingAt(const std::string& path) {
    return fileops::FileExists(path) || fileops::DirectoryExists(path);
}

// Removes a folder with everything in it; stops at the first failure.
bool RemoveTree(const std::string& dir, std::string* error) {
    for (const std::string& name : fileops::ListFiles(dir, "*")) {
        const std::string path = dir + "/" + name;
        if (fileops::IsReadOnly(path) && !fileops::SetReadOnly(path, false, error)) return false;
        if (!fileops::DeleteFile(path, error)) return false;
    }
    for (const std::string& name : fileops::ListDirectories(dir))
        if (!RemoveTree(dir + "/" + name, error)) return false;
    return fileops::RemoveDirectory(dir, error);
}

void AddMessage(std::string* messages, const std::string& message) {
    if (!messages->empty()) *messages += "; ";
    *messages += message;
}

}  // namespace

std::string BackupDirectoryFor(const std::string& tableDirectory) {
    const std::string dir = WithoutSlash(tableDirectory);
    if (dir.find('/') == std::string::npos) return "backup/";
    return WithSlash(ParentOf(dir)) + "backup/";
}

bool IsSnapshotName(const std::string& name) {
    if (name.size() < kStampLength || name[8] != '-' || !AllDigits(name.substr(0, 8)) ||
        !AllDigits(name.substr(9, 6)))
        return false;
    if (name.size() == kStampLength) return true;
    // Suffixes start at "-2"; more than nine digits cannot be one of ours.
    const std::string suffix = name.substr(kStampLength + 1);
    return name[kStampLength] == '-' && AllDigits(suffix) && suffix.size() <= 9 &&
           suffix[0] != '0' && suffix != "1";
}

std::vector<std::string> ListSnapshots(const std::string& backupDirectory) {
    std::vector<std::string> names;
    for (std::string& name : fileops::ListDirectories(backupDirectory))
        if (IsSnapshotName(name)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return OrderOf(a) > OrderOf(b); });
    return names;
}

TBackup::TBackup(const std::string& tableDirectory, const std::string& pictureDirectory, int keep,
                 TBackupClock clock)
    : tableDir_(WithSlash(tableDirectory)),
      pictureDir_(WithSlash(pictureDirectory)),
      backupDir_(BackupDirectoryFor(tableDirectory)),
      keep_(std::max(keep, 1)),
      clock_(std::move(clock)) {
    const std::vector<std::string> existing = Snapshots();
    if (!existing.empty()) last_ = TimeOf(existing.front());
}

std::vector<std::string> TBackup::Snapshots() const {
    return ListSnapshots(backupDir_);
}

TBackupResult TBackup::SnapshotOnClose() {
    return Snapshot(clock_());
}

TBackupResult TBackup::SnapshotOnSave() {
    const Clock::time_point now = clock_();
    // A clock set back behind the last snapshot does not hold snapshots off.
    if (last_ && now >= *last_ && now - *last_ < kSaveInterval) return {};
    return Snapshot(now);
}

TBackupResult TBackup::Snapshot(Clock::time_point now) {
    TBackupResult result;
    auto fail = [&](const std::string& why) {
        result.ok = false;
        result.message = "backup not made: " + why;
        return result;
    };
    std::string error;
    if (!fileops::DirectoryExists(tableDir_)) return fail(tableDir_ + " is not a directory");
    const std::string backup = WithoutSlash(backupDir_);
    if (!fileops::DirectoryExists(backup) && (!fileops::CreateDirectory(backup, &error) ||
                                              !fileops::SyncDirectory(ParentOf(backup), &error)))
        return fail(error);

    std::string warnings = RemoveLeftovers();

    const std::string stamp = StampOf(now);
    std::string name = stamp;
    for (int n = 2; AnythingAt(backup + "/" + name) ||
                    AnythingAt(backup + "/" + std::string(kWorkPrefix) + name);
         ++n)
        name = stamp + "-" + std::to_string(n);

    // Built in the work folder; whatever stays of it after a failure is
    // removed now if possible, else with the leftovers of the next snapshot.
    const std::string work = backup + "/" + std::string(kWorkPrefix) + name;
    if (!fileops::CreateDirectory(work, &error)) return fail(error);
    auto abandon = [&](const std::string& why) {
        std::string ignored;
        RemoveTree(work, &ignored);
        return fail(why);
    };
    const std::pair<const char*, const std::string*> parts[] = {{"cds", &tableDir_},
                                                                {"img", &pictureDir_}};
    for (const auto& [folder, source] : parts) {
        const std::string target = work + "/" + folder;
        if (!fileops::CreateDirectory(target, &error)) return abandon(error);
        // Each table copy is written to a temporary file, synced and renamed.
        // Pictures are only ever replaced whole, never changed in place, so a
        // second name keeps their bytes without copying them again each time.
        const bool pictures = source == &pictureDir_;
        for (const std::string& file : fileops::ListFiles(*source, "*")) {
            const std::string from = *source + file;
            const std::string to = target + "/" + file;
            if (!(pictures ? fileops::LinkOrCopyFile(from, to, &error)
                           : fileops::CopyFile(from, to, true, &error)))
                return abandon(error);
        }
        if (pictures && !fileops::SyncDirectory(target, &error)) return abandon(error);
    }
    if (!fileops::SyncDirectory(work, &error)) return abandon(error);

    const std::string done = backup + "/" + name;
    if (!fileops::MoveDirectory(work, done, &error)) {
        if (!fileops::DirectoryExists(done)) return abandon(error);
        // Every file is on disk; only the new name may be lost in a crash.
        AddMessage(&warnings, "backup " + name + " may not survive a power loss: " + error);
    }
    last_ = now;
    result.made = true;
    result.name = name;
    const std::string pruned = RemoveOldSnapshots(name);
    if (!pruned.empty()) AddMessage(&warnings, pruned);
    result.message = warnings;
    return result;
}

std::string TBackup::RemoveLeftovers() {
    const std::string backup = WithoutSlash(backupDir_);
    std::string messages;
    for (const std::string& name : fileops::ListDirectories(backup)) {
        if (!StartsWith(name, kWorkPrefix) && !StartsWith(name, kDiscardPrefix)) continue;
        std::string error;
        if (!RemoveTree(backup + "/" + name, &error))
            AddMessage(&messages, "leftover folder not removed: " + error);
    }
    return messages;
}

std::string TBackup::RemoveOldSnapshots(const std::string& keepName) {
    const std::string backup = WithoutSlash(backupDir_);
    std::vector<std::string> names = ListSnapshots(backup);
    // The new snapshot stays even when a clock set back makes it sort older.
    std::erase(names, keepName);
    while (names.size() + 1 > static_cast<size_t>(keep_)) {
        const std::string oldest = names.back();
        names.pop_back();
        // Hidden first, so that a snapshot half removed never looks complete.
        const std::string discard = backup + "/" + std::string(kDiscardPrefix) + oldest;
        std::string error;
        if (!fileops::MoveDirectory(backup + "/" + oldest, discard, &error) ||
            !RemoveTree(discard, &error))
            return "old backup not removed: " + error;
    }
    return {};
}

}  // namespace sarvenu
