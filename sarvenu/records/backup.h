// Dated snapshots of the table and picture directories, so that a damaged
// table file or a lost record can be recovered by copying a snapshot back.
// Snapshots live in "backup/" beside the table directory, one folder per
// snapshot named by its local time ("20240501-093000", "-2", "-3" ... when
// several fall in one second), each holding "cds/" (the table files) and
// "img/" (the pictures). A snapshot is built in a hidden work folder and
// renamed into place only when every file is on disk, so a folder with a
// snapshot name is always complete. Failures are returned, never raised: a
// backup must not break the save that triggered it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sarvenu {

// The time source of the snapshots (replaced in tests).
using TBackupClock = std::function<std::chrono::system_clock::time_point()>;

// The outcome of a snapshot request.
struct TBackupResult {
    // False when a snapshot was due but could not be completed; nothing
    // looking like a snapshot was left behind and older snapshots are intact.
    bool ok = true;
    // A new snapshot was completed (false also when none was due).
    bool made = false;
    // The folder name of the new snapshot.
    std::string name;
    // Why it failed, or a warning when the snapshot was made but old ones could
    // not be removed; file-system encoding, as the file layer reports.
    std::string message;
};

class TBackup {
  public:
    // Snapshots at most this often on save; closing always makes one.
    static constexpr std::chrono::seconds kSaveInterval{60};

    // tableDirectory and pictureDirectory as resolved from the settings
    // (trailing "/" allowed). keep is the number of complete snapshots kept
    // (at least 1). The newest snapshot already on disk counts as the last
    // one for the interval on save.
    TBackup(const std::string& tableDirectory, const std::string& pictureDirectory, int keep = 10,
            TBackupClock clock = std::chrono::system_clock::now);

    // Makes a snapshot.
    TBackupResult SnapshotOnClose();
    // Makes a snapshot when the last completed one is kSaveInterval old or more.
    TBackupResult SnapshotOnSave();

    // The backup folder, ending in "/".
    const std::string& BackupDirectory() const { return backupDir_; }
    // Names of the complete snapshots, newest first.
    std::vector<std::string> Snapshots() const;

  private:
    TBackupResult Snapshot(std::chrono::system_clock::time_point now);
    std::string RemoveLeftovers();
    std::string RemoveOldSnapshots(const std::string& keepName);

    std::string tableDir_;
    std::string pictureDir_;
    std::string backupDir_;
    int keep_;
    TBackupClock clock_;
    std::optional<std::chrono::system_clock::time_point> last_;
};

// The backup folder of a table directory: "<its parent>/backup/".
std::string BackupDirectoryFor(const std::string& tableDirectory);
// True for "YYYYMMDD-HHMMSS" with an optional "-<n>" suffix (n from 2).
bool IsSnapshotName(const std::string& name);
// Names of the complete snapshots in a backup folder, newest first; work
// folders and anything else are ignored.
std::vector<std::string> ListSnapshots(const std::string& backupDirectory);

}  // namespace sarvenu
