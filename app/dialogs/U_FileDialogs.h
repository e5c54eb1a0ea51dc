#pragma once
#include <functional>
#include <string>

class QWidget;

// The program's file dialog: a table file, an older log, a text file.
class TOpenDialog {
public:
    // The folder the dialog opens in. Left empty, it opens where a file was
    // last chosen in a dialog left so during this run, else in the home folder.
    std::string InitialDir;
    std::string FileName;  // pre-set name; the chosen file's full path after Execute
    // "Your Address DB|YourAddress.edt"; several pairs in a row, and several
    // patterns separated by ";": "Import Files|*.txt;*.csv|All Files|*.*".
    std::string Filter;
    bool MustExist = true;  // Change picks a file; Create may name a new one
    // Asks for a file to write (a save dialog): any name, an existing file
    // without asking, as the caller appends to it.
    bool Save = false;

    // Shows the dialog; true when a file was chosen.
    bool Execute(QWidget* parent);

private:
    bool Show(QWidget* parent);
};

// Asks for the text file an export appends to ("Text Files|*.txt"); the
// chosen name with ".txt" appended when it holds none, or empty when the
// dialog was cancelled.
std::string AskExportFileName(QWidget* parent);

// Answers every TOpenDialog while it lives instead of the real dialog (tests).
class ScopedOpenDialogHandler {
public:
    using Handler = std::function<bool(TOpenDialog&)>;
    explicit ScopedOpenDialogHandler(Handler handler);
    ~ScopedOpenDialogHandler();
    ScopedOpenDialogHandler(const ScopedOpenDialogHandler&) = delete;
    ScopedOpenDialogHandler& operator=(const ScopedOpenDialogHandler&) = delete;

private:
    Handler previous_;
};
