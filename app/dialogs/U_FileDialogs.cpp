#include "app/dialogs/U_FileDialogs.h"

#include <QFileDialog>

#include <utility>

namespace {

ScopedOpenDialogHandler::Handler& OpenDialogHandler()
{
    static ScopedOpenDialogHandler::Handler handler;
    return handler;
}

}  // namespace

bool TOpenDialog::Execute(QWidget* parent)
{
    if (const auto& handler = OpenDialogHandler()) return handler(*this);
    // "Description|pattern" becomes Qt's "Description (pattern)".
    const std::size_t bar = Filter.find('|');
    const std::string filter =
        bar == std::string::npos ? Filter : Filter.substr(0, bar) + " (" + Filter.substr(bar + 1) + ")";
    QFileDialog dialog(parent, QString(), QString::fromStdString(InitialDir), QString::fromStdString(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!FileName.empty()) dialog.selectFile(QString::fromStdString(FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    FileName = dialog.selectedFiles().first().toStdString();
    return true;
}

ScopedOpenDialogHandler::ScopedOpenDialogHandler(Handler handler) : previous_(std::move(OpenDialogHandler()))
{
    OpenDialogHandler() = std::move(handler);
}

ScopedOpenDialogHandler::~ScopedOpenDialogHandler() { OpenDialogHandler() = std::move(previous_); }
