// sarvenu-snapshot: renders the main window for review. For both modes it
// opens a copy of an installation, enters the sample work with three
// pictures, and writes a PNG of the window (927 x 664) on the menu page and on
// every tab, one of each sheet panel at its full height, and prints every form
// of the sample work to numbered PDF files in <mode>-print/.
//
//   sarvenu-snapshot <installation directory> <output directory>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/file_dialog.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/sheets.h"
#include "shell/summary_page.h"
#include "shell/tests/sample_work.h"

namespace fs = std::filesystem;
using namespace sarvenu;

namespace {

// Replaces USR_ID in the copied settings file.
void SetUserId(const fs::path& ini, int userId) {
    std::ifstream in(ini, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string settings = text.str();
    const size_t at = settings.find("USR_ID=");
    if (at != std::string::npos) {
        const size_t end = settings.find_first_of("\r\n", at);
        settings.replace(at, end - at, "USR_ID=" + std::to_string(userId));
    }
    std::ofstream(ini, std::ios::binary | std::ios::trunc) << settings;
}

std::string SamplePicture(const fs::path& dir, const char* name, QColor colour) {
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.drawRect(20, 20, 260, 160);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::fromUtf8(name));
    const fs::path path = dir / (std::string(name) + ".jpg");
    image.save(QString::fromStdString(path.string()), "JPG");
    return path.string();
}

void Save(QWidget* widget, const fs::path& path) {
    QApplication::processEvents();
    if (!widget->grab().save(QString::fromStdString(path.string())))
        std::fprintf(stderr, "could not write %s\n", path.c_str());
    else
        std::printf("%s\n", path.c_str());
}

// Enters and saves another work like the sample: its name, optionally
// another technology, its grades moved on by shift and its report date in
// another year.
void AddWork(TfrmMain& window, const char* name, const char* regNo, const char* title, int shift,
             const char* reportYear) {
    window.btnNew->click();
    sample_work::FillSampleWork(window);
    auto setText = [&window](const char* field, const char* text) {
        const QString entry = QString::fromStdString(EntryName(TTableId::Main, field));
        if (auto* edit = window.FindControl<TDBEdit>(entry))
            edit->SetTextCp932(platform::Utf8ToCp932(text));
    };
    setText("CON_NAME", name);
    if (regNo) setText("REG_NO", regNo);
    if (title) setText("TECH_TITLE", title);
    for (TDBRadioGroup* group : window.Controls<TDBRadioGroup>())
        if (group->objectName().contains("EVAL_POINT") && group->HasValue())
            group->SetItemIndex((group->ItemIndex() + shift) % group->Count());
    sample_work::ChooseDate(window, "cmbRegDateReport", reportYear, "3", "31");
    window.bbtnSubmit->click();
    window.btnReturnMenu->click();
}

// The summary page over the saved sample and two more works, with the
// sample's technology chosen, and its printed page.
void RenderSummary(TfrmMain& window, const fs::path& output, const std::string& modeName) {
    window.bbtnSubmit->click();
    window.btnReturnMenu->click();
    AddWork(window, "一般国道４号　日本橋床版補修工事", nullptr, nullptr, 1, "2008");
    AddWork(window, "国道２０号　高架橋耐震補強工事", "KT-070456A", "鋼板巻立て耐震補強工法", 2,
            "2007");
    window.btnSummary->click();
    window.pnlSummary->gdSummary->selectRow(0);
    Save(&window, output / (modeName + "-summary.png"));
    const fs::path printed = output / (modeName + "-summary-print");
    fs::remove_all(printed);
    setenv("SARVENU_PRINT_DIR", printed.c_str(), 1);
    window.pnlSummary->btnSummaryPrint->click();
    unsetenv("SARVENU_PRINT_DIR");
    std::printf("%s\n", printed.c_str());
    window.pnlSummary->btnSummaryClose->click();
}

void Render(const fs::path& installation, const fs::path& output, int userId,
            const char* modeName) {
    const fs::path copy = fs::temp_directory_path() / ("sarvenu-snapshot-" + std::string(modeName));
    fs::remove_all(copy);
    fs::copy(installation, copy, fs::copy_options::recursive);
    for (const char* program : {"sarvenu", "libpelmora.so"}) fs::remove(copy / program);
    SetUserId(copy / "ini" / "SystemInfo.ini", userId);

    std::vector<std::string> pictures;
    for (auto [name, colour] : {std::pair{"before", QColor(70, 110, 150)},
                                {"work", QColor(150, 110, 70)},
                                {"done", QColor(80, 140, 90)}})
        pictures.push_back(SamplePicture(copy / "tmp", name, colour));
    size_t next = 0;
    SetFileDialogHandler([&](const TFileDialogCall&) -> std::optional<std::string> {
        return next < pictures.size() ? std::optional(pictures[next++]) : std::nullopt;
    });
    // Questions are answered No until the summary saves the works.
    bool save = false;
    SetMessageBoxHandler([&save](const TMessageBoxCall& call) {
        if (call.buttons != mbYesNo) return static_cast<int>(idOK);
        return static_cast<int>(save ? idYes : idNo);
    });

    TfrmMain window(copy.string() + "/");
    window.CreateDataModule();
    window.show();
    Save(&window, output / (std::string(modeName) + "-0-menu.png"));
    window.btnNew->click();
    sample_work::FillSampleWork(window);
    for (int slot = 1; slot <= 3; ++slot) window.btnPictSelectClick(slot);
    for (int i = 0; i < window.pcSarvenu->count(); ++i) {
        QWidget* tab = window.pcSarvenu->widget(i);
        window.pcSarvenu->setCurrentIndex(i);
        const std::string stem = std::string(modeName) + "-" + std::to_string(i + 1) + "-" +
                                 tab->objectName().toStdString();
        Save(&window, output / (stem + ".png"));
        for (const TSheetDef& def : SheetDefs())
            if (tab->objectName() == def.tab)
                if (QWidget* panel = window.findChild<QWidget*>(def.panel))
                    Save(panel, output / (stem + "-panel.png"));
    }
    // Every form of the sample work printed to PDF files: the shown form,
    // then (ordering office) the batch of the seven others.
    window.AutoCalucation();
    const fs::path printed = output / (std::string(modeName) + "-print");
    fs::remove_all(printed);
    setenv("SARVENU_PRINT_DIR", printed.c_str(), 1);
    window.pcSarvenu->setCurrentWidget(window.tsPrintPreview);
    window.btnPrint->click();
    if (window.btnPrintAll->isVisible()) window.btnPrintAll->click();
    unsetenv("SARVENU_PRINT_DIR");
    std::printf("%s\n", printed.c_str());
    save = true;
    RenderSummary(window, output, modeName);
    save = false;
    window.close();
    SetFileDialogHandler({});
    SetMessageBoxHandler({});
    fs::remove_all(copy);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: sarvenu-snapshot <installation directory> <output directory>\n");
        return 2;
    }
    QApplication app(argc, argv);
    const fs::path installation = fs::absolute(argv[1]);
    const fs::path output = fs::absolute(argv[2]);
    fs::create_directories(output);
    Render(installation, output, 101, "office");
    Render(installation, output, 205, "contractor");
    return 0;
}
