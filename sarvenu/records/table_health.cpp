#include "records/table_health.h"

#include "dataset/file_ops.h"
#include "platform/codepage.h"

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
        return platform::Utf8ToCp932("テーブルの項目数が足りません（") +
               std::to_string(table.FieldTotal()) + " / " + std::to_string(expected) +
               platform::Utf8ToCp932("）。別のテーブルのファイルか、古い形式のファイルです。");
    for (size_t i = 0; i < expected; ++i) {
        const TField& field = table.FieldAt(static_cast<int>(i));
        const std::string& name = field.FieldName();
        // FindField ignores ASCII case, as the column names do.
        if (table.FindField(def.columns[i].name) != &field)
            return platform::Utf8ToCp932("テーブルの項目構成が違います（") + std::to_string(i + 1) +
                   platform::Utf8ToCp932("番目の項目 '") + name +
                   platform::Utf8ToCp932("'、正しくは '") + def.columns[i].name +
                   platform::Utf8ToCp932("'）。別のテーブルのファイルです。");
    }
    return {};
}

std::string OpenFailureReason(const std::string& path, const std::string& error) {
    std::string what;
    std::string bytes;
    if (!fileops::FileExists(path))
        what = platform::Utf8ToCp932("ファイルが見つかりません。");
    else if (fileops::ReadFile(path, &bytes) && bytes.empty())
        what = platform::Utf8ToCp932("ファイルが空です。");
    else
        what = platform::Utf8ToCp932("ファイルが壊れているか、途中で切れています。");
    return what + platform::Utf8ToCp932("（") + error + platform::Utf8ToCp932("）");
}

std::string LayoutMismatchReason(const std::string& error) {
    return platform::Utf8ToCp932(
               "テーブルの項目構成が違います。別のテーブルのファイルか、古い形式のファイルです。"
               "（") +
           error + platform::Utf8ToCp932("）");
}

std::string OpenFailureReport(const std::vector<TTableProblem>& problems) {
    std::string text = platform::Utf8ToCp932("次のテーブルファイルを開けませんでした。\r\n");
    for (const TTableProblem& problem : problems)
        text += "\r\n" + platform::Utf8ToCp932(problem.path) + "\r\n" +
                platform::Utf8ToCp932("　") + problem.reason + "\r\n";
    return text + "\r\n" + platform::Utf8ToCp932(kAdvice);
}

std::string ClosedTableRefusal(const std::string& path) {
    return platform::Utf8ToCp932("テーブルファイルを開けなかったため、この操作はできません。\r\n") +
           platform::Utf8ToCp932(path) + "\r\n\r\n" +
           platform::Utf8ToCp932("ヘルプの「バックアップから戻すとき」を参照して下さい。");
}

}  // namespace sarvenu
