// TArchiveFile, the one object through which the program extracts an archive
// into a directory or packs files into one. Setting FileName chooses the
// archive kind by the name's extension (".lzh" -> atLha, ".zip" -> atZip,
// ".cab" -> atCab, ".arj" -> atArj, ".tar" -> atTar, ".z", ".gz", ".tgz",
// ".taz" -> atTgz, letters compared without regard to case; ".exe" by asking
// the libraries; anything else atNone), and choosing a kind creates the
// wrapper of that kind, which loads its library.
#pragma once

#include <memory>
#include <string>

#include "exchange/archiver.h"
#include "exchange/archiver_options.h"

namespace sarvenu {

// The kind an archive name's extension stands for. For ".exe" (a
// self-extracting archive) the ARJ, CAB, ZIP and LZH libraries are asked in
// this order whether they open the file; the last one that does decides, and
// a library that is missing or fails counts as no.
TArchiverType ArchiverTypeOfFileName(const std::string& fileName);

// A new wrapper for atLha .. atTgz (raising EArchiver when its library is
// missing); null for atNone and atAutoDetect.
std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type);

class TArchiveFile {
  public:
    TArchiveFile() = default;
    TArchiveFile(const TArchiveFile&) = delete;
    TArchiveFile& operator=(const TArchiveFile&) = delete;

    const std::string& FileName() const { return fileName_; }
    // Sets the kind by the extension through SetArchiverType, then the name;
    // when that raises, nothing changes.
    void SetFileName(const std::string& fileName);

    TArchiverOptions& Options() { return options_; }
    const TArchiverOptions& Options() const { return options_; }

    TArchiverType ArchiverType() const { return type_; }
    // atLha .. atTgz: creates that kind's wrapper and replaces the previous
    // one; atNone: nothing changes; atAutoDetect raises
    // "現在のバージョンではこの形式の書庫をサポートしていません。".
    void SetArchiverType(TArchiverType type);

    TArchiver* Archiver() const { return archiver_.get(); }
    // The last command line sent to a library.
    const std::string& CommandLine() const { return commandLine_; }

    // Extracts FileName into directory (the given files only, when a list is
    // given); the library's result. Raises "書庫の形式を判別できません。"
    // when no kind was chosen.
    int Extract(ArchiverWindow window, const std::string& directory, const TStringList* files);
    // Packs the files into FileName; with the kind still atAutoDetect it is
    // first chosen from FileName.
    int Pack(ArchiverWindow window, const std::string& directory, const TStringList* files);

  private:
    TArchiver& RequireArchiver();

    std::string fileName_;
    TArchiverOptions options_;
    TArchiverType type_ = atAutoDetect;
    std::unique_ptr<TArchiver> archiver_;
    std::string commandLine_;
};

}  // namespace sarvenu
