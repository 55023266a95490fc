// Module PrintPreview: builds the printed form of the open construction work
// as an HTML page. The template of the chosen form is read from the HTML
// directory, its <%=NAME%> placeholders are replaced by the work's field
// values, code-table names, date texts, picture tags and evaluation points,
// the radar chart is drawn for the total forms, and the page is written as
// "Preview.htm" beside the templates for the browser control to show.
// Everything here works on the data store and plain values, without widgets:
// the window gathers its date lists and displayed points into a request.
// Texts are code page 932; paths are file-system paths.
#pragma once

#include <array>
#include <functional>
#include <stdexcept>
#include <string>

#include "records/cds_module.h"
#include "records/schema.h"

namespace sarvenu {

// Raised when a preview cannot be built (missing template, a displayed value
// that is not a number, a file that cannot be written); what() is CP932.
class EPreviewError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The working page written by every preview, in the HTML directory.
inline constexpr const char* kPreviewFileName = "Preview.htm";

// The template and form number of a preview tab. The form number decides
// which substitution steps run.
struct TPreviewForm {
    int number;
    std::string templateName;
};
// Maps the caption of a preview tab (CP932) to its form; an unknown caption
// gives the all-forms template "Template8.htm".
TPreviewForm PreviewFormOfCaption(const std::string& caption);

// Score and point of one graded aspect for one side, as displayed.
struct TPreviewAspect {
    std::string score;
    std::string point;
};

// The evaluation values as the sheets and the totals tab show them; an empty
// text means no value. Aspects in the order quality, safety, construct,
// environment.
struct TPreviewPoints {
    std::string costDifference;
    std::string costPoint;
    std::string processDifference;
    std::string processPoint;
    std::array<TPreviewAspect, 4> chief;
    std::array<TPreviewAspect, 4> contractor;
    // The cost cells of the totals tab: the ordering column holds the cost
    // point; the contractor column the cost point for contractor proposals and
    // "表記無し" otherwise.
    std::string orderingCostText;
    std::string contractorCostText;
};

// The same values computed from the work's records, for a caller that has no
// displays (and for checking them). A pair that does not convert gives blanks.
TPreviewPoints ComputePreviewPoints(TdmCdsModule& dm, bool orderingMode);
// A text of the work's record on a table (the main table or a sheet); empty
// when the work has no record there.
using TSheetText = std::function<std::string(TTableId table, const std::string& field)>;
// The same from any source of the work's records (the summary reads stored
// tables and submission files through it).
TPreviewPoints ComputePreviewPoints(const TSheetText& text, bool orderingMode);

// The date texts of the window's date lists as printed ("2006年4月1日",
// "2006年10月中旬"), indexed by the data store's date entries, and the fiscal
// year of the report date.
inline constexpr int kPreviewDateCount = TCdsModuleHost::deTechConDateChiefE + 1;
struct TPreviewDates {
    std::array<std::string, kPreviewDateCount> texts;
    std::string nendo;

    std::string& operator[](TCdsModuleHost::TDateEntry entry) { return texts.at(entry); }
    const std::string& operator[](TCdsModuleHost::TDateEntry entry) const {
        return texts.at(entry);
    }
};

struct TPreviewRequest {
    std::string caption;  // caption of the selected preview tab (CP932)
    bool orderingMode = true;
    TPreviewPoints points;
    TPreviewDates dates;
};

// Builds the page of the requested form for the work that is current in the
// data store and writes it over HTML_DIR + "Preview.htm" (and, for the total
// forms, the chart HTML_DIR + "Graph.gif"). Returns the page's path for the
// browser control. The code tables may be moved to the work's entries and the
// office table is left filtered on the work's office. Raises EPreviewError or
// the data layer's errors; the previous page stays when the new one cannot be
// written.
std::string PrintPreview(TdmCdsModule& dm, const TPreviewRequest& request);

}  // namespace sarvenu
