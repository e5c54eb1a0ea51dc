#pragma once
// The program's printer and paper tray. The chosen CUPS queue becomes this
// program's printer only (other programs keep their default); the tray goes
// with each job as the "media-source" of its "media-col". Without any printer, or
// when SENDORA_PRINT_TO_PDF names a folder, prints become PDF files.

#include "platform/print/PrintDevice.h"

#include <QDialog>

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Ui {
class TF_PrinterSetup;
}

// Paper trays (media sources) the printer offers, in its own order; empty
// when it offers no choice or cannot be asked.
std::vector<std::string> PrinterTrays(const std::string& printerName);

// Makes `printerName` this program's printer. Raises rtl::Exception when no
// such printer is installed.
void SetDefaultPrinter(const std::string& printerName);

// The printer jobs go to: the one chosen with SetDefaultPrinter, else the
// system's default; empty when there is none.
std::string ProgramPrinterName();

// The 1-based tray of the program's printer, 0 to leave the tray alone.
int ProgramPrinterTray();
void SetProgramPrinterTray(int tray);

// The CUPS options that send a job to the chosen tray:
// {"media-col", "{media-source=<tray>}"}, or none when the tray is 0 or beyond
// the printer's list. IPP knows "media-source" only inside "media-col": on
// its own the spooler keeps it but the printer's driver never sees it.
std::vector<std::pair<std::string, std::string>> TrayJobOptions(const std::string& printerName, int tray);

// Start-up: with a tray saved, its printer (when named) becomes the program's
// printer and the tray is applied. A saved tray of 0 leaves both alone.
void ApplySavedPrinter(const std::string& printerName, int tray);

// The folder prints go to as PDF files: SENDORA_PRINT_TO_PDF when it names
// one; else, when no printer is installed, `fallbackFolder`; else empty
// (print on paper).
std::string PrintToPdfFolder(const std::string& fallbackFolder);

// "<folder>/<yyyymmdd>-<hhmmss>-<article number without blanks>.pdf".
std::string PdfFileName(const std::string& folder, const std::tm& when, const std::string& articleNumber);

// Where prints go as PDF files when no printer is installed: the user's
// documents folder, "Sendora Pro" in it.
std::string DefaultPdfFolder();

// The device the next print goes to: the program's printer with the chosen
// tray, or (see PrintToPdfFolder) a PDF file named by the time and the article number;
// `pdfPath` receives that file's path, empty for paper. Raises
// print::EPrintError when the printer cannot be opened.
std::unique_ptr<print::PrintDevice> MakeProgramPrintDevice(const std::string& articleNumber, std::string& pdfPath);

// Makes the device for the next print (see MakeProgramPrintDevice) the
// process printer; returns the PDF file's path,
// empty for paper.
std::string UseProgramPrinter(const std::string& articleNumber);

// Tests: while set, MakeProgramPrintDevice hands out what `factory` makes
// (called with the article number) instead of a printer or a PDF file.
using TPrintDeviceFactory = std::function<std::unique_ptr<print::PrintDevice>(const std::string& articleNumber)>;
void SetPrintDeviceFactory(TPrintDeviceFactory factory);

// Tells the user where a print went as a PDF file.
void ShowPdfWritten(const std::string& pdfPath);
// The same for the files of one run: the file, or the folder of several.
void ShowPdfsWritten(const std::vector<std::string>& pdfPaths);

// The setup dialog: the installed printers and the chosen printer's trays.
class TF_PrinterSetup : public QDialog {
    Q_OBJECT

public:
    explicit TF_PrinterSetup(QWidget* parent = nullptr);
    ~TF_PrinterSetup() override;

    std::string ChosenPrinter() const;
    int ChosenTray() const;  // 0: the printer's own choice

private:
    void FillTrays();

    const std::unique_ptr<Ui::TF_PrinterSetup> ui;
};
