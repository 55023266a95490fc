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
    // Every question is answered No: nothing of the sample is kept.
    SetMessageBoxHandler([](const TMessageBoxCall& call) {
        return call.buttons == mbYesNo ? static_cast<int>(idNo) : static_cast<int>(idOK);
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
