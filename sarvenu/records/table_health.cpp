#include "records/table_health.h"

#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "records/sjis.h"

namespace sarvenu {

namespace {

const char* const kAdvice =
    "ファイルはそのまま残してあり、上書きすることはありません。\r\n"
    "このファイルを使う操作はできません。プログラムを終了し、ヘルプの"
    "「バックアップから戻すとき」の手順でファイルを戻してから、起動し直して下さい。";

}  // namespace

std::string CheckTableLayout(TClientTable& table, const TTableDef& def) {
    const size_t expected = def.columns.size();
    if (static_cast<size_t>(table.FieldTotal()) < expected)
        return Sj("テーブルの項目数が足りません（") + std::to_string(table.FieldTotal()) + " / " +
               std::to_string(expected) +
               Sj("）。別のテーブルのファイルか、古い形式のファイルです。");
    for (size_t i = 0; i < expected; ++i) {
        const TField& field = table.FieldAt(static_cast<int>(i));
        const std::string& name = field.FieldName();
        // FindField ignores ASCII case, as the column names do.
        if (table.FindField(def.columns[i].name) != &field)
            return Sj("テーブルの項目構成が違います（") + std::to_string(i + 1) +
                   Sj("番目の項目 '") + name + Sj("'、正しくは '") + def.columns[i].name +
                   Sj("'）。別のテーブルのファイルです。");
    }
    return {};
}

std::string OpenFailureReason(const std::string& path, const std::string& error) {
    std::string what;
    std::string bytes;
    if (!fileops::FileExists(path))
        what = Sj("ファイルが見つかりません。");
    else if (fileops::ReadFile(path, &bytes) && bytes.empty())
        what = Sj("ファイルが空です。");
    else
        what = Sj("ファイルが壊れているか、途中で切れています。");
    return what + Sj("（") + error + Sj("）");
}

std::string LayoutMismatchReason(const std::string& error) {
    return Sj("テーブルの項目構成が違います。別のテーブルのファイルか、古い形式のファイルです。"
              "（") +
           error + Sj("）");
}

std::string OpenFailureReport(const std::vector<TTableProblem>& problems) {
    std::string text = Sj("次のテーブルファイルを開けませんでした。\r\n");
    for (const TTableProblem& problem : problems)
        text += "\r\n" + platform::Utf8ToCp932(problem.path) + "\r\n" + Sj("　") + problem.reason +
                "\r\n";
    return text + "\r\n" + Sj(kAdvice);
}

std::string ClosedTableRefusal(const std::string& path) {
    return Sj("テーブルファイルを開けなかったため、この操作はできません。\r\n") +
           platform::Utf8ToCp932(path) + "\r\n\r\n" +
           Sj("ヘルプの「バックアップから戻すとき」を参照して下さい。");
}

}  // namespace sarvenu
