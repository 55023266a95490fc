// Module ExpImp: the file work of a submission file. Export copies the open
// work's records into one-record table files in the work directory (from the
// empty tables of the installation), adds the contractor's pictures and packs
// the directory into an LZH archive; import extracts an archive into the work
// directory, recognises it, and copies its records and pictures into the
// live tables under a target work number. The window decides what is asked
// and shown; this module only moves files and records.
#pragma once

#include <string>
#include <vector>

namespace sarvenu {

class TdmCdsModule;
class TClientTable;

// The five sheet tables of a submission file in their order.
inline constexpr const char* kMainTableFile = "EV_TBL_MAIN.cds";
inline constexpr const char* kSheetTableFiles[] = {
    "EV_TBL_PLAN_R.cds", "EV_TBL_REPORT_R.cds", "EV_TBL_INV_SECTION_R.cds",
    "EV_TBL_INV_CHIEF_R.cds", "EV_TBL_INV_CON_R.cds"};
inline constexpr const char* kConTableFile = "EV_TBL_INV_CON_R.cds";

class TExpImp {
  public:
    explicit TExpImp(TdmCdsModule& dm);

    const std::string& WorkDirectory() const { return work_; }
    // True when the work directory may be cleared: it is none of the
    // program's, the tables', the empty tables', the templates' or the
    // pictures' directories, nor a parent of one (an empty CDS_TMP_DIR
    // resolves to the program's own directory).
    bool WorkDirectoryIsSafe() const;
    // Raises, with a message naming the setting and the directory, when the
    // work directory is not safe to clear; export and import call it first.
    void CheckWorkDirectory() const;
    // Deletes every file directly in the work directory (read-only ones too);
    // errors are ignored. Does nothing when the directory is not safe.
    void ClearWorkDirectory();

    // Export: a one-record copy of the live table's current record, numbered
    // workNumber, in the work directory under fileName (written and closed).
    void CopyTableForExport(TClientTable& live, const std::string& fileName,
                            const std::string& workNumber);
    // Export: the contractor's pictures that exist in the picture directory,
    // copied into the work directory under their names.
    void CopyPicturesForExport();
    // Packs every file of the work directory into archivePath. The archive is
    // written under a temporary name beside it and put in place only when the
    // archiver succeeded, so the file holds exactly the work directory and a
    // failure leaves an earlier file as it was. False when the archiver failed;
    // a missing library raises EArchiver.
    bool Pack(const std::string& archivePath);

    // Import: extracts the archive into the (cleared) work directory; false
    // when the archiver reported a failure.
    bool Extract(const std::string& archivePath);
    // The message of the mode when the work directory does not hold survey
    // data (CP932), empty when it does.
    std::string Recognise(bool orderingMode) const;
    // The message of the mode for files that are not survey data (CP932).
    static std::string RecognitionMessage(bool orderingMode);
    // Entry names are matched with the ASCII letter case ignored, as on the
    // systems the archives come from.
    bool HasFile(const std::string& fileName) const;
    // The path of the extracted file of that name (the name as extracted
    // when only the letter case differs).
    std::string PathOf(const std::string& fileName) const;
    // Import: raises, before anything is changed, when one of the extracted
    // table files cannot be opened or holds no record, or when a picture the
    // contractor's record names is in the work directory but cannot be read.
    void CheckForImport(const std::vector<std::string>& tableFiles);
    // Import: appends the first record of the extracted file to live,
    // numbered workNumber.
    void CopyTableForImport(const std::string& fileName, TClientTable& live,
                            const std::string& workNumber);
    // Import: the pictures named by the contractor's record open in temp are
    // copied into the picture directory under the target work's names (or the
    // field emptied when the archive lacks the file). Raises when a picture
    // cannot be written.
    void ImportPictures(TClientTable& temp, const std::string& workNumber);

  private:
    // The name of the file in the work directory that matches fileName,
    // empty when there is none.
    std::string FindFile(const std::string& fileName) const;

    TdmCdsModule& dm_;
    std::string work_;
};

}  // namespace sarvenu
