// Module WorkSnapshot: a work's records and picture files kept before an
// import changes them, and put back when the import fails part-way.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sarvenu {

class TdmCdsModule;
class TClientTable;

// A work's records in the six survey tables and its picture files, kept
// before an import changes them, so that a failed import leaves the work
// and the list of works as they were.
class TWorkSnapshot {
  public:
    // Notes the work the main table stands on.
    explicit TWorkSnapshot(TdmCdsModule& dm);
    // Keeps the records and picture files of the work (a CP932 work number;
    // a new number has none). Raises when a picture file cannot be read.
    void Keep(const std::string& workNumber);
    // Drops unposted edits and the scratch table, puts back the kept records
    // and picture files of the work wherever they differ, and returns the
    // main table to the work it stood on. Every step is tried; the first
    // failure is raised afterwards.
    void Restore();

  private:
    using TRecord = std::vector<std::string>;
    std::vector<TRecord> RecordsOf(TClientTable& table) const;
    std::vector<std::string> PictureNames() const;

    struct TPictureFile {
        std::string name;
        std::string bytes;
        bool readOnly;
    };
    TdmCdsModule& dm_;
    std::string openWork_;
    std::string number_;
    std::vector<std::pair<TClientTable*, std::vector<TRecord>>> tables_;
    std::vector<TPictureFile> pictures_;
};

}  // namespace sarvenu
