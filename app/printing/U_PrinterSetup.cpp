#include "app/printing/U_PrinterSetup.h"

#include "platform/print/Cups.h"
#include "platform/print/QtPrintDevice.h"
#include "platform/ui/MessageService.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

#include "ui_U_PrinterSetup.h"

#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ctime>

namespace {

std::string gChosenPrinter;
int gChosenTray = 0;
TPrintDeviceFactory gDeviceFactory;

// Printers and PDF files alike get this resolution: the form printer's
// positions are hundredths of an inch, so 600 dpi keeps them exact.
constexpr int kPrintDpi = 600;

bool Installed(const std::string& name)
{
    const std::vector<std::string> names = print::PrinterNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::vector<std::string> PrinterTrays(const std::string& printerName) { return print::PaperTrays(printerName); }

void SetDefaultPrinter(const std::string& printerName)
{
    if (!Installed(printerName)) throw rtl::Exception("Printer \"" + printerName + "\" is not installed.");
    gChosenPrinter = printerName;
}

std::string ProgramPrinterName()
{
    if (!gChosenPrinter.empty()) return gChosenPrinter;
    return print::DefaultPrinterName();
}

int ProgramPrinterTray() { return gChosenTray; }
void SetProgramPrinterTray(int tray) { gChosenTray = tray; }

std::vector<std::pair<std::string, std::string>> TrayJobOptions(const std::string& printerName, int tray)
{
    if (tray <= 0) return {};
    const std::vector<std::string> trays = PrinterTrays(printerName);
    if (static_cast<std::size_t>(tray) > trays.size()) return {};
    return {{"media-col", "{media-source=" + trays[static_cast<std::size_t>(tray) - 1] + "}"}};
}

void ApplySavedPrinter(const std::string& printerName, int tray)
{
    if (tray == 0) return;
    if (!printerName.empty()) SetDefaultPrinter(printerName);
    SetProgramPrinterTray(tray);
}

std::string PrintToPdfFolder(const std::string& fallbackFolder)
{
    if (const char* folder = std::getenv("SENDORA_PRINT_TO_PDF"); folder != nullptr && *folder != '\0')
        return folder;
    if (print::PrinterNames().empty()) return fallbackFolder;
    return {};
}

std::string PdfFileName(const std::string& folder, const std::tm& when, const std::string& articleNumber)
{
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &when);
    std::string number;
    for (char c : articleNumber)
        if (c != ' ') number += c;
    std::string name = stamp;
    if (!number.empty()) name += "-" + number;
    return rtl::JoinPath(folder, name + ".pdf");
}

std::string DefaultPdfFolder()
{
    std::string documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    if (documents.empty()) documents = QStandardPaths::writableLocation(QStandardPaths::HomeLocation).toStdString();
    return rtl::JoinPath(documents, "Sendora Pro");
}

std::unique_ptr<print::PrintDevice> MakeProgramPrintDevice(const std::string& articleNumber, std::string& pdfPath)
{
    pdfPath.clear();
    if (gDeviceFactory) return gDeviceFactory(articleNumber);
    const std::string folder = PrintToPdfFolder(DefaultPdfFolder());
    if (folder.empty()) {
        const std::string printer = ProgramPrinterName();
        auto device = print::QtPrintDevice::ForPrinter(printer, kPrintDpi);
        device->SetJobOptions(TrayJobOptions(printer, ProgramPrinterTray()));
        return device;
    }
    if (!rtl::ForceDirectories(folder)) throw print::EPrintError("Cannot create folder " + folder + ".");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    pdfPath = PdfFileName(folder, local, articleNumber);
    return print::QtPrintDevice::ForPdf(pdfPath, kPrintDpi);
}

std::string UseProgramPrinter(const std::string& articleNumber)
{
    std::string pdfPath;
    print::SetPrinter(MakeProgramPrintDevice(articleNumber, pdfPath));
    return pdfPath;
}

void SetPrintDeviceFactory(TPrintDeviceFactory factory) { gDeviceFactory = std::move(factory); }

void ShowPdfWritten(const std::string& pdfPath)
{
    ui::ShowInformation("No printer is in use: the print was saved as the PDF file " + pdfPath + ".");
}

void ShowPdfsWritten(const std::vector<std::string>& pdfPaths)
{
    if (pdfPaths.empty()) return;
    if (pdfPaths.size() == 1) {
        ShowPdfWritten(pdfPaths.front());
        return;
    }
    ui::ShowInformation("No printer is in use: the prints were saved as PDF files in the folder " +
                        std::filesystem::path(pdfPaths.front()).parent_path().string() + ".");
}

TF_PrinterSetup::TF_PrinterSetup(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_PrinterSetup>())
{
    ui->setupUi(this);
    const std::string current = ProgramPrinterName();
    for (const std::string& name : print::PrinterNames()) {
        ui->cbPrinter->addItem(QString::fromStdString(name));
        if (name == current) ui->cbPrinter->setCurrentIndex(ui->cbPrinter->count() - 1);
    }
    ui->btnOK->setEnabled(ui->cbPrinter->count() > 0);
    FillTrays();
    if (gChosenTray > 0 && gChosenTray < ui->cbTray->count()) ui->cbTray->setCurrentIndex(gChosenTray);
    connect(ui->cbPrinter, &QComboBox::currentIndexChanged, this, &TF_PrinterSetup::FillTrays);
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_PrinterSetup::~TF_PrinterSetup() = default;

void TF_PrinterSetup::FillTrays()
{
    ui->cbTray->clear();
    ui->cbTray->addItem(QStringLiteral("(the printer's own choice)"));
    for (const std::string& tray : PrinterTrays(ChosenPrinter())) ui->cbTray->addItem(QString::fromStdString(tray));
}

std::string TF_PrinterSetup::ChosenPrinter() const { return ui->cbPrinter->currentText().toStdString(); }

int TF_PrinterSetup::ChosenTray() const { return std::max(0, ui->cbTray->currentIndex()); }
