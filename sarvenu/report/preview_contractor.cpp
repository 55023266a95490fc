// The contractor's survey sheet on the forms, with the explanation texts of
// the cost and process points and the contractor's pictures.
#include <set>

#include "platform/codepage.h"
#include "report/calculation.h"
#include "report/points.h"
#include "report/preview_steps.h"

namespace sarvenu {

namespace {

// Fields the contractor's sheet shares with other sheets; the forms reach the
// contractor's value by the suffix "_CON".
bool IsContractorCopy(const std::string& name) {
    static const std::set<std::string> copies = {
        "INV_QUALITY_RESULT",   "INV_SAFETY_RESULT",  "INV_CONSTRUCT_RESULT",
        "INV_ENV_RESULT",       "INV_BELONG",         "INV_NAME",
        "INV_ADDRESS",          "INV_NATURAL_ENV",    "INV_SURROUND_ENV",
        "INV_PLACE_CONDITION",  "INV_OTHER_CONTENT1", "INV_OTHER_CONTENT2",
        "INV_OTHER_CONTENT3",   "INV_OTHER_NOTE1",    "INV_OTHER_NOTE2",
        "INV_OTHER_NOTE3",      "INV_QUALITY_OTHER1", "INV_QUALITY_OTHER2",
        "INV_SAFETY_OTHER1",    "INV_SAFETY_OTHER2",  "INV_CONSTRUCT_OTHER1",
        "INV_CONSTRUCT_OTHER2", "INV_ENV_OTHER1",     "INV_ENV_OTHER2",
        "INV_OTHER_RESULT"};
    return copies.count(name) != 0;
}

bool IsPictureFile(const std::string& name) {
    return name == "FILE_NAME_A" || name == "FILE_NAME_B" || name == "FILE_NAME_C";
}

}  // namespace

std::string PictureTag(const std::string& pictureDirectory, const std::string& storedName) {
    // The stored value may be a full path from another machine: only its
    // file name counts, taken after decoding (a second byte of a double-byte
    // character can look like "\").
    const std::string name = platform::Cp932ToUtf8(storedName);
    const size_t slash = name.find_last_of("/\\");
    const std::string path =
        pictureDirectory + (slash == std::string::npos ? name : name.substr(slash + 1));
    const std::string height = NumberText(PictureHeight(path, 200));
    return "<img src=\"" + EscapedText(platform::Utf8ToCp932(path)) + "\" width=\"200\" height=\"" +
           height + "\">";
}

void FillPointComments(TPreviewContext& c) {
    if (c.Ordering()) {
        c.page.ReplaceName("COST_POINT_COMENT1", platform::Utf8ToCp932("評価点<br>"));
        c.page.ReplaceName("PROCESS_POINT_COMENT1", platform::Utf8ToCp932("評価点<br>"));
        c.page.ReplaceName(
            "COST_POINT_COMENT2",
            platform::Utf8ToCp932("＝１００＋１００×コスト差／従来技術コスト(０～２００点)<br>"));
        c.page.ReplaceName("PROCESS_POINT_COMENT2",
                           platform::Utf8ToCp932(
                               "＝１００＋１００×短縮日数／従来技術の施工日数(０～２００点)<br>"));
        c.page.ReplaceName("COST_POINT_COMENT3", platform::Utf8ToCp932("＝"));
        c.page.ReplaceName("PROCESS_POINT_COMENT3", platform::Utf8ToCp932("＝"));
    } else {
        c.page.ReplaceName("COST_POINT_COMENT1", platform::Utf8ToCp932("　"));
        c.page.ReplaceName("PROCESS_POINT_COMENT1", platform::Utf8ToCp932("　"));
    }
}

void FillContractor(TPreviewContext& c) {
    TClientTable& con = c.dm.cdsEV_TBL_INV_CON;
    const bool ownCosts = IsContractorProposal(c.conType);
    for (int i = 0; i < con.FieldTotal(); ++i) {
        const TField& field = con.FieldAt(i);
        const std::string& name = field.FieldName();
        if (IsAnswerOrTick(name)) {
            MarkValue(c.page, name + "_CON", field.GetText());
        } else if (IsContractorCopy(name)) {
            c.page.ReplaceName(name + "_CON", PageText(field));
        } else if (IsCostField(name)) {
            if (ownCosts) FillCostField(c, field, true);
        } else if (IsPictureFile(name)) {
            const std::string stored = field.GetText();
            if (!stored.empty())
                c.page.ReplaceName(name, PictureTag(c.dm.Directories().picture, stored));
        } else {
            c.page.ReplaceName(name, PageText(field));
        }
    }

    const TPreviewPoints& points = c.Points();
    c.page.ReplaceName("PROCESS_SUBTRACTION", points.processDifference);
    if (c.Ordering()) c.page.ReplaceName("PROCESS_POINT", points.processPoint);
    c.ordering.Add(points.processPoint);
    for (size_t a = 0; a < std::size(kPreviewAspects); ++a) {
        const std::string stem = kPreviewAspects[a].stem;
        const TPreviewAspect& side = points.contractor[a];
        c.page.ReplaceName(stem + "_CON_SCORE", side.score);
        c.page.ReplaceName(stem + "_CON_POINT", side.point);
        c.contractor.Add(side.point);
    }
}

}  // namespace sarvenu
