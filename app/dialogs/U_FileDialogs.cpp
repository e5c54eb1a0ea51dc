#include "app/dialogs/U_FileDialogs.h"

#include "app/data/U_TextFile.h"
#include "platform/rtl/Paths.h"

#include <QDir>
#include <QFileDialog>

#include <utility>

namespace {

ScopedOpenDialogHandler::Handler& OpenDialogHandler()
{
    static ScopedOpenDialogHandler::Handler handler;
    return handler;
}

// Where a file was last chosen in a dialog opened without a folder, for the
// rest of the run.
std::string& LastChosenFolder()
{
    static std::string folder;
    return folder;
}

std::string SharedStartFolder()
{
    const std::string& last = LastChosenFolder();
    if (!last.empty() && rtl::DirectoryExists(last)) return last;
    return QDir::homePath().toStdString();
}

// "Description|pattern;pattern|..." as Qt's "Description (pattern pattern);;...".
QString QtFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        if (i + 1 >= parts.size()) {
            filters << parts[i];
            break;
        }
        QString patterns = parts[i + 1];
        filters << parts[i] + " (" + patterns.replace(';', ' ') + ")";
    }
    return filters.join(";;");
}

}  // namespace

bool TOpenDialog::Execute(QWidget* parent)
{
    // Without a folder of its own a dialog would open in the working directory,
    // which is wherever the program was started from.
    const bool shared = InitialDir.empty();
    if (shared) InitialDir = SharedStartFolder();
    const bool chosen = Show(parent);
    if (shared) {
        if (chosen) LastChosenFolder() = rtl::ExtractFileDir(FileName);
        InitialDir.clear();
    }
    return chosen;
}

bool TOpenDialog::Show(QWidget* parent)
{
    if (const auto& handler = OpenDialogHandler()) return handler(*this);
    QFileDialog dialog(parent, QString(), QString::fromStdString(InitialDir), QtFilter(Filter));
    dialog.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(MustExist && !Save ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (Save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // A pattern such as "*.txt" is no name to pre-select.
    if (!FileName.empty() && FileName.find('*') == std::string::npos)
        dialog.selectFile(QString::fromStdString(FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    FileName = dialog.selectedFiles().first().toStdString();
    return true;
}

std::string AskExportFileName(QWidget* parent)
{
    TOpenDialog dialog;
    dialog.Filter = "Text Files|*.txt";
    dialog.Save = true;
    return dialog.Execute(parent) ? TextFileName(dialog.FileName) : std::string();
}

ScopedOpenDialogHandler::ScopedOpenDialogHandler(Handler handler) : previous_(std::move(OpenDialogHandler()))
{
    OpenDialogHandler() = std::move(handler);
}

ScopedOpenDialogHandler::~ScopedOpenDialogHandler() { OpenDialogHandler() = std::move(previous_); }
