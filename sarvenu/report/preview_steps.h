// The substitution steps of a preview, in the order the driver runs them, and
// the state they share: the page, the work's data, the request and the two
// running sums the averages of the total forms are made of. Internal to the
// preview module.
#pragma once

#include <string>

#include "report/preview.h"
#include "report/preview_page.h"

namespace sarvenu {

// The graded aspects in the order of the sheets: the placeholder stem and the
// number of answer slots (fixed questions plus the two optional ones).
struct TPreviewAspectDef {
    const char* stem;
    int slots;
};
inline constexpr TPreviewAspectDef kPreviewAspects[] = {
    {"QUALITY", 7}, {"SAFETY", 7}, {"CONSTRUCT", 8}, {"ENV", 7}};

// A running sum of displayed points and how many went into it.
struct TPointSum {
    double sum = 0;
    int count = 0;
    // Adds a non-empty point; a text that is not a number ends the preview.
    void Add(const std::string& point);
};

struct TPreviewContext {
    TdmCdsModule& dm;
    const TPreviewRequest& request;
    TPreviewPage& page;
    int form;
    std::string conType;   // the work's construction type code
    TPointSum ordering;    // cost, process and the chief supervisor's points
    TPointSum contractor;  // the contractor's four aspect points

    bool Ordering() const { return request.orderingMode; }
    const TPreviewPoints& Points() const { return request.points; }
};

// The main record, then the names of its type, bureau and office.
void FillMainRecord(TPreviewContext& c);
void FillConstructionType(TPreviewContext& c);
void FillBureau(TPreviewContext& c);
void FillOffice(TPreviewContext& c);
// The sheets of the ordering office.
void FillPlan(TPreviewContext& c);
void FillReport(TPreviewContext& c);
void FillSection(TPreviewContext& c);
void FillChief(TPreviewContext& c);
// The explanation texts of the points, then the contractor's sheet.
void FillPointComments(TPreviewContext& c);
void FillContractor(TPreviewContext& c);
// The averages and the chart of the total forms.
void FillTotals(TPreviewContext& c);

// The graded answers and their "その他" ticks of the four aspects, and the
// ticks of the three further survey items.
bool IsAnswerOrTick(const std::string& name);
// The three cost fields the section chief's and the contractor's sheets share.
inline bool IsCostField(const std::string& name) {
    return name == "INV_COST_UNIT" || name == "INV_OLD_COST" || name == "INV_NEW_COST";
}
// The image tag of a stored picture: the picture directory followed by the
// file-name part of the stored value (CP932), 200 pixels wide.
std::string PictureTag(const std::string& pictureDirectory, const std::string& storedName);
// "<%=" + field + value + "%>" -> "*": the marker of the value a field holds.
void MarkValue(TPreviewPage& page, const std::string& stem, const std::string& value);
// One of the three cost fields of the section chief's or the contractor's
// sheet with its copies, then the displayed cost difference and point.
void FillCostField(TPreviewContext& c, const TField& field, bool contractorSheet);

}  // namespace sarvenu
