#include "workflow_scale_session.h"

#include <QApplication>
#include <QMouseEvent>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/codepage.h"
#include "records/entry_names.h"
#include "shell/application.h"
#include "shell/db_controls.h"
#include "shell/export_dialog.h"
#include "shell/file_dialog.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/summary_page.h"
#include "shell/tests/sample_work.h"

namespace workflow_scale {

using namespace sarvenu;

const std::vector<std::string>& ActionLabels() {
    static const std::vector<std::string> labels = {
        "起動→工事一覧表示",  "新規登録",       "保存（はい）",
        "メニュー画面に戻る", "行を選んで編集", "一覧をダブルクリック",
        "提出用ファイル作成", "行を選んで削除", "データ取り込み（新規）",
        "集計画面を開く",     "閉じる"};
    return labels;
}

namespace {

const char* const kSaveQuestion = "編集データを保存しますか？";

// Answers in place of the user: message boxes from a queue (No for Yes/No
// boxes, OK otherwise, when it is empty), file dialogs from a queue (cancel
// when empty), the export dialog with the ordering office's own three sheets.
// Every box shown is kept.
class TScript {
  public:
    TScript() {
        SetMessageBoxHandler([this](const TMessageBoxCall& call) {
            shown.push_back(call);
            if (!answers.empty()) {
                const int answer = answers.front();
                answers.pop_front();
                return answer;
            }
            return call.buttons == mbYesNo ? static_cast<int>(idNo) : static_cast<int>(idOK);
        });
        SetFileDialogHandler([this](const TFileDialogCall&) -> std::optional<std::string> {
            if (files.empty()) return std::nullopt;
            std::string file = files.front();
            files.pop_front();
            return file;
        });
        SetExportDialogHandler([](TfrmExp& dialog) {
            // Plan, report and section chief's sheet; not the two surveys.
            for (int i = 0; i < kExportSheetCount; ++i) dialog.cbSheets[i]->setChecked(i < 3);
            return static_cast<int>(QDialog::Accepted);
        });
    }
    ~TScript() {
        SetMessageBoxHandler({});
        SetFileDialogHandler({});
        SetExportDialogHandler({});
    }
    TScript(const TScript&) = delete;
    TScript& operator=(const TScript&) = delete;

    std::deque<int> answers;
    std::deque<std::string> files;
    std::vector<TMessageBoxCall> shown;

    // The texts of the boxes shown, UTF-8, joined for a report.
    std::string ShownTexts() const {
        std::string texts;
        for (const TMessageBoxCall& call : shown)
            texts += (texts.empty() ? "" : " | ") + platform::Cp932ToUtf8(call.text);
        return texts;
    }
    // Empty when exactly the given texts (UTF-8) were shown, else a report.
    std::string Expect(const std::vector<std::string>& texts) const {
        bool same = shown.size() == texts.size();
        for (size_t i = 0; same && i < texts.size(); ++i)
            same = platform::Cp932ToUtf8(shown[i].text) == texts[i];
        return same ? std::string() : "表示: " + (shown.empty() ? "（なし）" : ShownTexts());
    }
};

// One line of the protocol; line breaks of texts become " / ".
void Protocol(const std::string& line) {
    std::string flat;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r') continue;
        if (line[i] == '\n')
            flat += " / ";
        else
            flat += line[i];
    }
    std::printf("%s%s\n", kProtocolPrefix, flat.c_str());
    std::fflush(stdout);
}

// A user's click (or double click) on a row of the list: scrolled into view,
// pressed and released with the left button on the viewport.
void ClickRow(TDBGrid& grid, int row, bool twice) {
    const QModelIndex index = grid.model()->index(row, 0);
    grid.scrollTo(index);
    const QPointF local = grid.visualRect(index).center();
    const QPointF global = grid.viewport()->mapToGlobal(local);
    QWidget* viewport = grid.viewport();
    auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
        QMouseEvent event(type, local, global, Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    if (twice) {
        send(QEvent::MouseButtonDblClick, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
    }
}

// The number of records in a table file, read without writing the file
// back; -1 when it cannot be read.
long StoredRecords(const std::string& path) {
    TClientTable table;
    try {
        table.SetFileName(path);
        table.OpenTable();
        const long total = static_cast<long>(table.RecordTotal());
        CloseWithoutSaving(table);
        return total;
    } catch (const std::exception&) {
        CloseWithoutSaving(table);
        return -1;
    }
}

class TSession {
  public:
    TSession(TApplication& app, const std::string& root, long works, const std::string& archive)
        : app_(app), exeDir_(root + "/"), works_(static_cast<int>(works)), archive_(archive) {}
    ~TSession() {
        app_.SetMainForm(nullptr);
        window_.reset();
    }

    int Run();

  private:
    // Times one action, pending events included; check (after the clock)
    // says what went wrong, empty when nothing did. False when it failed.
    bool Measure(int number, const std::function<void()>& action,
                 const std::function<std::string()>& check);
    // An untimed step between actions; unexpected boxes are reported.
    void Prepare(const std::string& what, const std::function<void()>& step);
    std::string CurrentWorkName() {
        return platform::Cp932ToUtf8(window_->dm().cdsEV_TBL_MAIN.FieldNamed("CON_NAME").GetText());
    }
    std::string ListName(int row) const {
        return platform::Cp932ToUtf8(window_->dgConstList->CellText(row, 0));
    }
    // Empty when the sheets show the work of that list row, unchanged.
    std::string OpenedRow(int row, const std::string& name);

    TApplication& app_;
    std::string exeDir_;
    int works_;
    std::string archive_;
    TScript script_;
    std::unique_ptr<TfrmMain> window_;
};

bool TSession::Measure(int number, const std::function<void()>& action,
                       const std::function<std::string()>& check) {
    Protocol("BEGIN " + std::to_string(number));
    script_.shown.clear();
    std::string failure;
    const auto start = std::chrono::steady_clock::now();
    try {
        action();
        QApplication::processEvents();
    } catch (const std::exception& error) {
        failure = "例外: " + platform::Cp932ToUtf8(error.what());
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (failure.empty()) {
        try {
            failure = check();
        } catch (const std::exception& error) {
            failure = "例外: " + platform::Cp932ToUtf8(error.what());
        }
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.6f", seconds);
    Protocol("END " + std::to_string(number) + " " + time +
             (failure.empty() ? " OK" : " FAIL " + failure));
    return failure.empty();
}

void TSession::Prepare(const std::string& what, const std::function<void()>& step) {
    script_.shown.clear();
    step();
    QApplication::processEvents();
    if (!script_.shown.empty()) Protocol("NOTE " + what + ": " + script_.ShownTexts());
}

std::string TSession::OpenedRow(int row, const std::string& name) {
    if (!window_->SheetPagesShown()) return "シートが表示されていない; " + script_.Expect({});
    if (CurrentWorkName() != name) return "開いた工事が違う: " + CurrentWorkName();
    if (window_->HasUnsavedChanges()) return "開いただけで未保存の変更あり";
    if (window_->dm().cdsEV_TBL_MAIN.Position() != static_cast<uint32_t>(row) + 1)
        return "テーブルの位置が選んだ行でない";
    return script_.Expect({});
}

int TSession::Run() {
    TDBGrid* list = nullptr;
    const bool started = Measure(
        1,
        [&] {
            window_ = std::make_unique<TfrmMain>(exeDir_);
            app_.SetMainForm(window_.get());
            window_->CreateDataModule();
            window_->show();
            window_->activateWindow();
            QApplication::processEvents();
            list = window_->dgConstList;
            // The list is read when it is shown: wait until it has its rows.
            for (int i = 0; i < 100 && list->RowTotal() < works_; ++i)
                QApplication::processEvents(QEventLoop::AllEvents, 10);
        },
        [&]() -> std::string {
            if (!window_->OrderingOfficeMode()) return "発注者モードで起動していない";
            for (const auto& failure : window_->dm().OpenFailures())
                return "テーブルを開けない: " + failure.table + ": " +
                       platform::Cp932ToUtf8(failure.message);
            if (!list->isVisible()) return "工事一覧が表示されていない";
            if (list->RowTotal() != works_)
                return "工事一覧 " + std::to_string(list->RowTotal()) + " 行（" +
                       std::to_string(works_) + " 件のはず）";
            return script_.Expect({});
        });
    if (!started) return 3;

    Measure(
        2, [&] { window_->btnNew->click(); },
        [&]() -> std::string {
            if (!window_->SheetPagesShown()) return "シートが表示されていない";
            if (!window_->HasUnsavedChanges()) return "新しい工事が編集中でない";
            return script_.Expect({});
        });

    // The user fills in the new work: every entry of the header and the sheets.
    Prepare("新しい工事の入力", [&] { sample_work::FillSampleWork(*window_); });
    auto* nameEntry = window_->FindControl<TDBEdit>(EntryName(TTableId::Main, "CON_NAME"));

    Measure(
        3,
        [&] {
            script_.answers = {idYes};
            window_->bbtnSubmit->click();
        },
        [&]() -> std::string {
            if (!nameEntry || nameEntry->TextCp932().empty()) return "工事名が入力されていない";
            const std::string boxes = script_.Expect({kSaveQuestion});
            if (!boxes.empty()) return boxes;
            if (window_->HasUnsavedChanges()) return "保存されていない";
            return {};
        });

    Measure(
        4, [&] { window_->btnReturnMenu->click(); },
        [&]() -> std::string {
            if (!window_->pnlMenu->isVisible()) return "メニュー画面が表示されていない";
            if (list->RowTotal() != works_ + 1)
                return "工事一覧 " + std::to_string(list->RowTotal()) + " 行（" +
                       std::to_string(works_ + 1) + " 件のはず）";
            return script_.Expect({});
        });

    // A work in the middle of the list, clicked, then 編集.
    int row = list->RowTotal() / 2;
    std::string name = ListName(row);
    Measure(
        5,
        [&] {
            ClickRow(*list, row, false);
            window_->btnEdit->click();
        },
        [&] { return OpenedRow(row, name); });
    Prepare("メニュー画面に戻る", [&] { window_->btnReturnMenu->click(); });

    // Double click on another work; it stays open for the export.
    row = list->RowTotal() / 3;
    name = ListName(row);
    Measure(
        6, [&] { ClickRow(*list, row, true); }, [&] { return OpenedRow(row, name); });

    std::filesystem::remove(archive_);
    Measure(
        7,
        [&] {
            script_.files = {archive_};
            QPushButton* button = window_->FindControl<QPushButton>("btnExp");
            if (!button) throw std::runtime_error("no btnExp");
            button->click();
        },
        [&]() -> std::string {
            if (script_.shown.size() != 1 || script_.shown[0].icon != miInformation ||
                platform::Cp932ToUtf8(script_.shown[0].text).find("をエクスポートしました。") ==
                    std::string::npos)
                return "表示: " + (script_.shown.empty() ? "（なし）" : script_.ShownTexts());
            if (!std::filesystem::exists(archive_)) return "ファイルができていない";
            return {};
        });
    Prepare("メニュー画面に戻る", [&] { window_->btnReturnMenu->click(); });

    row = list->RowTotal() * 2 / 3;
    name = ListName(row);
    int before = list->RowTotal();
    Measure(
        8,
        [&] {
            ClickRow(*list, row, false);
            script_.answers = {idYes};
            window_->btnDel->click();
        },
        [&]() -> std::string {
            const std::string boxes = script_.Expect({"\"" + name + "\"を削除します。"});
            if (!boxes.empty()) return boxes;
            if (list->RowTotal() != before - 1)
                return "工事一覧 " + std::to_string(list->RowTotal()) + " 行（" +
                       std::to_string(before - 1) + " 件のはず）";
            return {};
        });

    before = list->RowTotal();
    Measure(
        9,
        [&] {
            script_.files = {archive_};
            window_->btnImp->click();
        },
        [&]() -> std::string {
            const std::string boxes = script_.Expect({});
            if (!boxes.empty()) return boxes;
            if (list->RowTotal() != before + 1)
                return "工事一覧 " + std::to_string(list->RowTotal()) + " 行（" +
                       std::to_string(before + 1) + " 件のはず）";
            return {};
        });

    // The summary of every work, as the menu's 集計 shows it.
    Measure(
        10, [&] { window_->btnSummary->click(); },
        [&]() -> std::string {
            if (!window_->pnlSummary || !window_->pnlSummary->isVisible())
                return "集計画面が表示されていない";
            int counted = 0;
            for (const TSummaryRow& row : window_->pnlSummary->Rows()) counted += row.works;
            if (counted != list->RowTotal())
                return "集計した工事 " + std::to_string(counted) + " 件（" +
                       std::to_string(list->RowTotal()) + " 件のはず）";
            return script_.Expect({});
        });
    Prepare("メニュー画面に戻る", [&] { window_->pnlSummary->btnSummaryClose->click(); });

    bool closed = false;
    Measure(
        11, [&] { closed = window_->close(); },
        [&]() -> std::string {
            if (!closed) return "閉じられない; " + script_.Expect({});
            const std::string boxes = script_.Expect({});
            if (!boxes.empty()) return boxes;
            // One work was added, one deleted and one imported.
            const long stored = StoredRecords(window_->dm().Directories().table +
                                              TableDef(TTableId::Main).FileName());
            if (stored != works_ + 1)
                return "書き込まれた工事 " + std::to_string(stored) + " 件（" +
                       std::to_string(works_ + 1) + " 件のはず）";
            return {};
        });
    Protocol("DONE");
    return 0;
}

}  // namespace

int RunSession(int argc, char** argv, const std::string& root, long works,
               const std::string& archive) {
    TApplication app(argc, argv);
    TSession session(app, root, works, archive);
    return session.Run();
}

}  // namespace workflow_scale
