// The works a summary across works covers, read without a window: from the
// stored survey tables of an installation, or from a folder of submission
// files (*.lzh as the program exports them). Each submission file is
// extracted into a fresh scratch directory and checked exactly as an import
// checks it (extraction, recognition in the ordering office's mode, the data
// version, every table file opened and holding a record); a file that fails
// is listed with the import's message and the others are still read. Nothing
// is ever written to the installation or to the submission files.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "report/summary.h"

namespace sarvenu {

// Raised when the source as a whole cannot be read (a folder that cannot be
// listed, an installation without its main table); what() is CP932.
class ESummarySource : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A file and what the user is told about it (CP932, lines separated by
// CR LF). The file is a path in the file-system encoding.
struct TSummaryFileNote {
    std::string file;
    std::string reason;
};

struct TSummaryFiles {
    std::vector<TSummaryWork> works;
    // Files left out of the summary, in the order they were read.
    std::vector<TSummaryFileNote> failures;
    // Files summarised with a remark (data of an older version).
    std::vector<TSummaryFileNote> notices;
};

// Told before each file (or table) is read: its position from 1, the count
// and its path.
using TSummaryProgress =
    std::function<void(size_t position, size_t total, const std::string& file)>;

// The directory is an installation: it holds the settings file
// ini/SystemInfo.ini.
bool IsInstallation(const std::string& directory);

// The submission files directly in folder (names ending in ".lzh", letter
// case ignored), sorted by name. Raises ESummarySource when the folder cannot
// be listed.
std::vector<std::string> SubmissionFilesIn(const std::string& folder);

// Every submission file of the folder, one work each, taken as an ordering
// office of program version appVersionNumber (APP_VERSION without its dots)
// would import it.
TSummaryFiles SummariseFolder(const std::string& folder, const std::string& appVersionNumber,
                              const TSummaryProgress& progress = {});

// The works of the installation's survey tables as stored (table files an
// update left behind are taken only when the program next starts), in the
// mode its settings select. A sheet table that cannot be opened is listed
// and its figures count as absent; a main table that cannot be opened raises
// ESummarySource.
TSummaryFiles SummariseInstallation(const std::string& directory,
                                    const TSummaryProgress& progress = {});

}  // namespace sarvenu
