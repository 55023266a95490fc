// Dated snapshots of the table and picture directories: what a snapshot holds,
// how snapshots are named, ordered and kept, when a save makes one, and that
// a snapshot cut short by a failing file operation never looks complete.
#include "records/backup.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "dataset/file_ops.h"
#include "records/settings.h"
#include "store_fixture.h"

namespace store_test {
namespace {

using Clock = std::chrono::system_clock;
using std::chrono::minutes;
using std::chrono::seconds;

// File name -> bytes of every file directly in a directory.
using Files = std::map<std::string, std::string>;

Files FilesIn(const fs::path& dir) {
    Files files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = ReadBytes(entry.path());
    return files;
}

struct Contents {
    Files tables;
    Files pictures;
    bool operator==(const Contents&) const = default;
};

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

class BackupTest : public ::testing::Test {
  protected:
    Installation install;
    TDirectories dirs = ResolveDirectories(install.ExeDir());
    fs::path backupDir = install.Root() / "backup";
    Clock::time_point now = Clock::from_time_t(1714550400);
    TBackupClock clock = [this] { return now; };

    TBackup Keeper(int keep = 10) { return TBackup(dirs.table, dirs.picture, keep, clock); }

    static std::string WorkNumber(int i) { return "CYY-XX" + std::to_string(1000 + i); }

    // A new state of the installation: the main table holds work i only and
    // a picture of it is added (or, with a name, that picture replaced whole,
    // as the program replaces pictures).
    void Change(int i, const std::string& picture = {}) {
        install.WriteRows(TTableId::Main, {{{"CONST_NO", WorkNumber(i)}, {"CON_NAME", "W"}}});
        const fs::path path =
            install.PicturePath(picture.empty() ? WorkNumber(i) + "A.jpg" : picture);
        WriteBytes(path.string() + ".new", "picture " + std::to_string(i));
        fs::rename(path.string() + ".new", path);
    }

    Contents Current() const {
        return {FilesIn(install.Root() / "cds"), FilesIn(install.Root() / "img")};
    }
    Contents Held(const std::string& name) const {
        return {FilesIn(backupDir / name / "cds"), FilesIn(backupDir / name / "img")};
    }
    // Every name in the backup folder, hidden work folders included.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(backupDir))
            names.insert(entry.path().filename().string());
        return names;
    }
};

TEST_F(BackupTest, EachCloseKeepsTheFilesOfThatTime) {
    TBackup keeper = Keeper();
    EXPECT_EQ(keeper.BackupDirectory(), backupDir.string() + "/");
    std::vector<std::string> made;  // newest first
    std::map<std::string, Contents> expected;
    for (int i = 1; i <= 5; ++i) {
        Change(i);
        TBackupResult result = keeper.SnapshotOnClose();
        ASSERT_TRUE(result.ok && result.made) << result.message;
        EXPECT_EQ(result.message, "");
        expected[result.name] = Current();
        made.insert(made.begin(), result.name);
        now += minutes(5);
    }
    EXPECT_EQ(keeper.Snapshots(), made);
    EXPECT_EQ(Entries(), std::set<std::string>(made.begin(), made.end()));

    for (size_t k = 0; k < made.size(); ++k) {
        const Contents held = Held(made[k]);
        EXPECT_EQ(held, expected[made[k]]);
        EXPECT_EQ(held.pictures.size(), made.size() - k);
        // Each table file of the snapshot opens as the program opens it.
        ASSERT_EQ(held.tables.size(), SurveySchema().size());
        for (const auto& [file, bytes] : held.tables)
            EXPECT_NO_THROW(ReadTable(backupDir / made[k] / "cds" / file)) << file;
        const std::vector<Row> rows =
            ReadTable(backupDir / made[k] / "cds" / TableDef(TTableId::Main).FileName());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].at("CONST_NO"), WorkNumber(static_cast<int>(made.size() - k)));
    }
}

TEST_F(BackupTest, SnapshotsInOneSecondGetNumberedAndOrderNewestFirst) {
    TBackup keeper = Keeper(20);
    std::vector<std::string> made;
    for (int i = 0; i < 11; ++i) {
        TBackupResult result = keeper.SnapshotOnClose();
        ASSERT_TRUE(result.made) << result.message;
        made.insert(made.begin(), result.name);
    }
    const std::string first = made.back();
    EXPECT_EQ(made[made.size() - 2], first + "-2");
    EXPECT_EQ(made.front(), first + "-11");
    EXPECT_EQ(keeper.Snapshots(), made);
    EXPECT_EQ(ListSnapshots(backupDir.string()), made);
}

TEST_F(BackupTest, KeepsOnlyTheNewestSnapshots) {
    TBackup keeper = Keeper();
    std::vector<std::string> made;
    for (int i = 0; i < 12; ++i) {
        TBackupResult result = keeper.SnapshotOnClose();
        ASSERT_TRUE(result.made) << result.message;
        EXPECT_EQ(result.message, "");
        made.insert(made.begin(), result.name);
        now += minutes(1);
    }
    made.resize(10);
    EXPECT_EQ(keeper.Snapshots(), made);
    EXPECT_EQ(Entries(), std::set<std::string>(made.begin(), made.end()));

    // A smaller count removes every snapshot beyond it at the next one.
    TBackup fewer = Keeper(3);
    TBackupResult result = fewer.SnapshotOnClose();
    ASSERT_TRUE(result.made);
    EXPECT_EQ(fewer.Snapshots(), (std::vector<std::string>{result.name, made[0], made[1]}));

    // A clock set back makes the new snapshot sort oldest; it still stays.
    now -= std::chrono::hours(24);
    result = fewer.SnapshotOnClose();
    ASSERT_TRUE(result.made);
    EXPECT_TRUE(Contains(fewer.Snapshots(), result.name));
    EXPECT_EQ(fewer.Snapshots().size(), 3u);
}

TEST_F(BackupTest, SavesMakeASnapshotAtMostOncePerMinute) {
    TBackup keeper = Keeper();
    EXPECT_TRUE(keeper.SnapshotOnSave().made);
    now += seconds(59);
    TBackupResult skipped = keeper.SnapshotOnSave();
    EXPECT_TRUE(skipped.ok);
    EXPECT_FALSE(skipped.made);
    now += seconds(1);
    EXPECT_TRUE(keeper.SnapshotOnSave().made);
    // Closing always makes one, and it counts as the last for saves.
    EXPECT_TRUE(keeper.SnapshotOnClose().made);
    now += seconds(30);
    EXPECT_FALSE(keeper.SnapshotOnSave().made);

    // A new object takes the newest snapshot on disk as the last one.
    TBackup restarted = Keeper();
    EXPECT_FALSE(restarted.SnapshotOnSave().made);
    now += seconds(30);
    EXPECT_TRUE(restarted.SnapshotOnSave().made);

    // A failed snapshot does not count: the next save tries again.
    now += minutes(1);
    {
        fileops::ScopedFaultPlan plan(fileops::FaultPlan{.failPath = backupDir.string()});
        TBackupResult failed = restarted.SnapshotOnSave();
        EXPECT_FALSE(failed.ok);
        EXPECT_FALSE(failed.made);
        EXPECT_NE(failed.message, "");
    }
    EXPECT_TRUE(restarted.SnapshotOnSave().made);
    EXPECT_EQ(restarted.Snapshots().size(), 5u);
}

TEST_F(BackupTest, SnapshotCutShortNeverLooksCompleteAndOlderOnesStay) {
    constexpr int kKeep = 2;
    TBackup keeper = Keeper(kKeep);
    std::map<std::string, Contents> expected;
    int state = 0;
    // The installation changes before each snapshot, so that each one
    // differs, and keeps the same files, so that each takes as many steps.
    auto nextState = [&] {
        Change(++state, "picture.jpg");
        now += minutes(1);
    };
    auto close = [&] {
        nextState();
        return keeper.SnapshotOnClose();
    };
    for (int i = 0; i < kKeep; ++i) {
        const std::string name = close().name;
        expected[name] = Current();
    }

    // The operations of a complete snapshot, removal of the oldest included.
    int64_t total = 0;
    {
        nextState();
        fileops::ScopedFaultPlan counting(fileops::FaultPlan{});
        TBackupResult result = keeper.SnapshotOnClose();
        total = fileops::OperationCount();
        ASSERT_TRUE(result.made);
        expected[result.name] = Current();
    }
    ASSERT_GT(total, 20);

    // Each copy takes five operations, so a stride of four meets every step
    // of a copy across the files; the steps after the copies (sync, rename,
    // removal of the oldest) are all tried. Every attempt starts without the
    // leftovers of the one before, so that n always stops at the same step.
    int completed = 0;
    int failed = 0;
    for (int64_t n = 0; n < total; n += n < total - 24 ? 4 : 1) {
        SCOPED_TRACE("failing after " + std::to_string(n) + " operations");
        for (const std::string& entry : Entries())
            if (entry[0] == '.') fs::remove_all(backupDir / entry);
        const std::vector<std::string> before = keeper.Snapshots();
        TBackupResult result;
        nextState();
        {
            fileops::ScopedFaultPlan plan(fileops::FaultPlan{.failAfter = n, .failPath = {}});
            result = keeper.SnapshotOnClose();
        }
        const std::vector<std::string> after = keeper.Snapshots();
        if (result.ok) {
            // The failure came after the snapshot was complete.
            ++completed;
            ASSERT_TRUE(result.made);
            EXPECT_EQ(after.front(), result.name);
            for (int k = 0; k + 1 < kKeep; ++k) EXPECT_TRUE(Contains(after, before[k]));
            expected[result.name] = Current();
        } else {
            ++failed;
            EXPECT_FALSE(result.made);
            EXPECT_NE(result.message, "");
            EXPECT_EQ(after, before);
        }
        for (const std::string& name : after) {
            ASSERT_EQ(expected.count(name), 1u) << name;
            EXPECT_EQ(Held(name), expected[name]) << name;
        }
        // Anything else left behind is hidden.
        for (const std::string& entry : Entries())
            EXPECT_TRUE(entry[0] == '.' || Contains(after, entry)) << entry;
    }
    EXPECT_GT(completed, 0);
    EXPECT_GT(failed, 0);

    // The next snapshot clears what the failures left behind.
    TBackupResult result = close();
    ASSERT_TRUE(result.made);
    EXPECT_EQ(result.message, "");
    const std::vector<std::string> names = keeper.Snapshots();
    EXPECT_EQ(names.size(), static_cast<size_t>(kKeep));
    EXPECT_EQ(Entries(), std::set<std::string>(names.begin(), names.end()));
    EXPECT_EQ(Held(result.name), Current());
}

TEST_F(BackupTest, LeftoverWorkFoldersAreRemovedAndOtherNamesIgnored) {
    TBackup keeper = Keeper();
    const TBackupResult first = keeper.SnapshotOnClose();
    ASSERT_TRUE(first.made);

    // What a crash while building or removing a snapshot leaves behind.
    const fs::path partial = backupDir / ".partial-20200101-000000";
    const fs::path discard = backupDir / ".discard-20190101-000000";
    for (const fs::path& dir : {partial / "cds", partial / "img", discard / "img"})
        fs::create_directories(dir);
    WriteBytes(partial / "cds" / "table.cds", "half");
    WriteBytes(partial / "cds" / "table.cds.tmp-abcdef", "half");
    ASSERT_TRUE(fileops::SetReadOnly((partial / "cds" / "table.cds").string(), true));
    WriteBytes(discard / "img" / "a.jpg", "old");
    // Names that are no snapshots of ours.
    fs::create_directories(backupDir / "notes");
    WriteBytes(backupDir / "20200102-000000", "a file");

    EXPECT_EQ(keeper.Snapshots(), std::vector<std::string>{first.name});
    now += minutes(1);
    const TBackupResult second = keeper.SnapshotOnClose();
    ASSERT_TRUE(second.made);
    EXPECT_EQ(second.message, "");
    EXPECT_EQ(Entries(),
              (std::set<std::string>{first.name, second.name, "notes", "20200102-000000"}));
    EXPECT_EQ(keeper.Snapshots(), (std::vector<std::string>{second.name, first.name}));
}

TEST(BackupNames, SnapshotNamesAndTheBackupFolder) {
    for (const char* name : {"20240501-093000", "20240501-093000-2", "20240501-093000-12"})
        EXPECT_TRUE(IsSnapshotName(name)) << name;
    for (const char* name : {".partial-20240501-093000", "20240501-093000-1", "20240501-093000-02",
                             "20240501_093000", "2024050-1093000", "20240501-093000x2"})
        EXPECT_FALSE(IsSnapshotName(name)) << name;
    EXPECT_EQ(BackupDirectoryFor("/srv/survey/cds/"), "/srv/survey/backup/");
    EXPECT_EQ(BackupDirectoryFor("/srv/data/cds"), "/srv/data/backup/");
}

}  // namespace
}  // namespace store_test
