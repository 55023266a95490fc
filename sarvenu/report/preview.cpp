// The preview driver: chooses the form, reads its template, runs the
// substitution steps the form needs in their fixed order and writes the page.
#include "report/preview.h"

#include <initializer_list>

#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "report/preview_steps.h"

namespace sarvenu {

namespace {

bool FormIn(int form, std::initializer_list<int> forms) {
    for (int f : forms)
        if (f == form) return true;
    return false;
}

}  // namespace

TPreviewForm PreviewFormOfCaption(const std::string& caption) {
    static const std::pair<const char*, int> forms[] = {
        {"全様式", 8},       {"計画書", 1},
        {"報告書", 2},       {"集計表(1/2)", 6},
        {"集計表(2/2)", 7},  {"発注課長用", 3},
        {"主任監督員用", 4}, {"請負者・技術開発者提出用", 5}};
    int number = 8;
    for (const auto& [text, form] : forms)
        if (caption == platform::Utf8ToCp932(text)) {
            number = form;
            break;
        }
    return {number, "Template" + std::to_string(number) + ".htm"};
}

std::string PrintPreview(TdmCdsModule& dm, const TPreviewRequest& request) {
    const TPreviewForm form = PreviewFormOfCaption(request.caption);
    const std::string directory = dm.Directories().templates;
    const std::string templatePath = directory + form.templateName;

    // A missing template is reported rather than showing whatever page an
    // earlier preview left behind.
    std::string bytes;
    if (!fileops::ReadFile(templatePath, &bytes))
        throw EPreviewError(platform::Utf8ToCp932("帳票のテンプレートファイルを読み込めません。") +
                            "\r\n" + platform::Utf8ToCp932(templatePath));

    TPreviewPage page(bytes);
    TPreviewContext c{
        dm, request, page, form.number, dm.cdsEV_TBL_MAIN.FieldNamed("CON_TYPE").GetText(), {}, {}};
    const int n = form.number;
    FillMainRecord(c);
    FillConstructionType(c);
    FillBureau(c);
    FillOffice(c);
    if (FormIn(n, {1, 2, 3, 4, 6, 7, 8})) FillPlan(c);
    if (FormIn(n, {2, 6, 7, 8})) FillReport(c);
    if (FormIn(n, {2, 3, 4, 6, 7, 8})) FillSection(c);
    if (FormIn(n, {2, 4, 6, 7, 8})) FillChief(c);
    if (FormIn(n, {3, 4, 5, 6, 7, 8})) {
        FillPointComments(c);
        FillContractor(c);
    }
    if (FormIn(n, {6, 7, 8})) FillTotals(c);

    const std::string previewPath = directory + kPreviewFileName;
    if (!fileops::WriteFileAtomic(previewPath, page.FileBytes()))
        throw EPreviewError(platform::Utf8ToCp932("印刷プレビューのファイルを書き込めません。") +
                            "\r\n" + platform::Utf8ToCp932(previewPath));
    return previewPath;
}

}  // namespace sarvenu
