// The header of every form: the main record of the work and the names the
// code tables give its construction type, bureau and office.
#include "report/preview_steps.h"

namespace sarvenu {

namespace {

// Moves a code table to the record of a code, as the header's lists do when
// they show the work's entry; false (and the table unmoved) when the list
// would show nothing.
bool ShowsEntry(TClientTable& list, const std::string& code) {
    return !code.empty() && list.Active() && list.Locate("CD", code);
}

void FillFromCurrentRecord(TPreviewPage& page, TClientTable& table) {
    for (int i = 0; i < table.FieldTotal(); ++i) {
        const TField& field = table.FieldAt(i);
        page.ReplaceName(field.FieldName(), PageText(field));
    }
}

}  // namespace

void MarkValue(TPreviewPage& page, const std::string& stem, const std::string& value) {
    page.ReplaceName(stem + value, "*");
}

void FillMainRecord(TPreviewContext& c) {
    TClientTable& main = c.dm.cdsEV_TBL_MAIN;
    for (int i = 0; i < main.FieldTotal(); ++i) {
        const TField& field = main.FieldAt(i);
        const std::string& name = field.FieldName();
        if (name == "CON_TYPE" || name == "CON_TYPE_MODE")
            MarkValue(c.page, name, field.GetText());
        else
            c.page.ReplaceName(name, PageText(field));
    }
}

void FillConstructionType(TPreviewContext& c) {
    TClientTable& types = c.dm.cdsEV_STBL_CON_TYPE;
    if (ShowsEntry(types, c.conType)) {
        FillFromCurrentRecord(c.page, types);
    } else {
        // No type chosen: the type's markers (and with them every other "*"
        // already in the page) become line breaks.
        c.page.Replace("*", "<BR>");
    }
}

void FillBureau(TPreviewContext& c) {
    TClientTable& bureaus = c.dm.cdsMV_STBL_INFO_GATHER_MOC;
    if (ShowsEntry(bureaus, c.dm.cdsEV_TBL_MAIN.FieldNamed("MOC_CD").GetText()))
        FillFromCurrentRecord(c.page, bureaus);
}

void FillOffice(TPreviewContext& c) {
    TClientTable& offices = c.dm.cdsMV_STBL_HAC_SAI;
    const std::string office = c.dm.cdsEV_TBL_MAIN.FieldNamed("OFFICE_CD").GetText();
    // The office is found first among the codes the list offers, so the
    // filter below is only ever built from a code the table holds.
    if (!ShowsEntry(offices, office)) return;
    offices.SetFilter("CD = " + office);
    offices.SetFiltered(true);
    offices.MoveFirst();
    FillFromCurrentRecord(c.page, offices);
}

}  // namespace sarvenu
