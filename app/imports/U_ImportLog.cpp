#include "app/imports/U_ImportLog.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_MainData.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "app/dialogs/U_FileDialogs.h"
#include "dbaccess/edstable.h"
#include "dbaccess/edstransaction.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string TrimmedText(std::string_view text) { return rtl::Trim(text); }

// The text after the last blank (the whole text when it has none).
std::string_view LastWord(std::string_view text) {
    const std::size_t blank = text.rfind(' ');
    return blank == std::string_view::npos ? text : text.substr(blank + 1);
}

// The text without its last word, trimmed.
std::string WithoutLastWord(std::string_view text) {
    const std::size_t blank = text.rfind(' ');
    return blank == std::string_view::npos ? std::string() : rtl::Trim(text.substr(0, blank));
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const bool same = std::filesystem::equivalent(a, b, error);
    return !error && same;
}

// The edsqLog/edstLog components stay closed after a run, whatever happened.
struct TCloseOnExit {
    TLogRowSource& source;
    ~TCloseOnExit() {
        try {
            source.Close();
        } catch (...) {
        }
    }
};

}  // namespace

bool IsZipText(std::string_view Text) {
    if (Text.size() == 5) return AllDigits(Text);
    return Text.size() == 10 && Text[5] == '-' && AllDigits(Text.substr(0, 5)) && AllDigits(Text.substr(6));
}

TRegroupedMailerNum RegroupMailerNum(std::string_view Number) {
    TRegroupedMailerNum result;
    if (Number.size() == 20) {
        for (std::size_t group = 0; group < 5; ++group) {
            if (group > 0) result.MailerNum += ' ';
            result.MailerNum += Number.substr(group * 4, 4);
        }
    } else {
        result.MailerNum = std::string(Number);
    }
    if (Number.size() >= 22 && Number.substr(0, 5) == "92071") {
        const std::string_view customer = Number.substr(5, 9);
        if (AllDigits(customer)) {
            result.CustID = std::string(customer.substr(0, 2)) + "-" + std::string(customer.substr(2, 3)) + "-" +
                            std::string(customer.substr(5, 4));
        }
        const std::string_view serial = Number.substr(14, 7);
        if (AllDigits(serial)) result.SerialNum = std::stoi(std::string(serial));
    }
    return result;
}

TSenderSplit SplitSender(const std::array<std::string, 5>& Lines) {
    TSenderSplit split;
    std::array<std::string, 5> lines = Lines;
    std::string place;
    int last = -1;
    for (int k = 0; k < 5 && !lines[static_cast<std::size_t>(k)].empty(); ++k) last = k;
    if (last >= 0) {
        place = lines[static_cast<std::size_t>(last)];
        lines[static_cast<std::size_t>(last)].clear();
    }
    for (std::size_t i = 0; i < 4; ++i) split.Lines[i] = lines[i];
    if (place.empty()) return split;

    std::replace(place.begin(), place.end(), ',', ' ');
    std::string rest = rtl::Trim(place);
    // Only trailing words are taken off: a state's letters inside the city
    // ("VACAVILLE CA") must stay where they are.
    const std::string zip = TrimmedText(LastWord(rest));
    if (IsZipText(zip)) {
        split.Zip = zip;
        rest = WithoutLastWord(rest);
    }
    if (rest.find(' ') != std::string::npos) {
        const std::string state = TrimmedText(LastWord(rest));
        if (state.size() >= 2 && state.size() <= 4) {
            split.State = state;
            rest = WithoutLastWord(rest);
        }
    }
    split.City = rest;
    return split;
}

std::string ImportedMessage(const TLogImportResult& Result) {
    std::string text = std::to_string(Result.Imported) + " records have been imported to your Log file.";
    if (Result.Undated > 0)
        text += "\n" + std::to_string(Result.Undated) +
                (Result.Undated == 1 ? " of them had no readable date and was imported without one."
                                     : " of them had no readable date and were imported without one.");
    return text;
}

TLogImportResult ImportLogRows(TLogRowSource& Source, TEdsTable& Log, const std::string& Folder) {
    Log.Close();
    Log.SetDatabaseName(Folder);
    Log.SetTableName(kLogTable);
    Log.Open();
    struct TCloseLog {
        TEdsTable& log;
        ~TCloseLog() {
            try {
                log.Cancel();
                log.Close();
            } catch (...) {
            }
        }
    } closeLog{Log};

    TLogImportResult result;
    TEdsTransaction transaction(Log);
    std::int32_t row = 0;
    for (; !Source.Eof(); Source.Next()) {
        ++row;
        try {
            Log.Insert();
            if (!Source.Fill(Log)) ++result.Undated;
            Log.Post();
        } catch (const std::exception& e) {
            Log.Cancel();
            throw ELogImportRow(row, e.what());
        }
        ++result.Imported;
    }
    transaction.Commit();
    return result;
}

void RunLogImport(QWidget* Parent, const TLogImportKind& Kind, TLogRowSource& Source) {
    if (!ui::AskYesNo(Kind.OpeningText + "\n\r" + gLogDB + "\n\r\n\r" + "Would you like to continue?")) return;

    TOpenDialog dialog;
    dialog.Filter = Kind.Filter;
    dialog.FileName = Kind.FileName;
    dialog.InitialDir = Kind.InitialDir;
    if (!dialog.Execute(Parent)) return;
    const std::string chosen = dialog.FileName;
    if (!std::filesystem::exists(chosen)) {
        ui::ShowError(Kind.NotFoundText);
        return;
    }
    if (std::filesystem::path(chosen).filename().string() != Kind.ExpectedName) {
        ui::ShowError(Kind.InvalidText);
        return;
    }
    // Its own rows would come round again as it grows.
    if (SameFile(chosen, TdmSendoPro::TableFileName(gLogDB, kLogTable))) {
        ui::ShowError("This is your current Log file. Choose the Log file of the earlier edition to import it.");
        return;
    }

    ui::WaitCursor hourglass;
    TCloseOnExit closeSource{Source};
    try {
        Source.Open(chosen);
    } catch (const std::exception& e) {
        hourglass.Restore();
        if (Kind.OpenFailedText.empty()) ShowFailure("The chosen log file could not be read.", e);
        else ui::ShowErrorDetails(Kind.OpenFailedText, e.what());
        return;
    }
    TLogImportResult result;
    try {
        StartLogIfMissing(gLogDB);
        result = ImportLogRows(Source, *DataModule().edstLog, gLogDB);
    } catch (const ELogImportRow& e) {
        hourglass.Restore();
        ui::ShowErrorDetails("Row " + std::to_string(e.Row) +
                                 " of the chosen log could not be written to your Log file, so nothing has been "
                                 "imported. Correct that row in the earlier edition's log and import it again.",
                             e.what());
        return;
    } catch (const std::exception& e) {
        hourglass.Restore();
        ShowFailure("The log file could not be imported, so nothing has been imported.", e);
        return;
    }
    hourglass.Restore();
    ui::ShowInformation(ImportedMessage(result));
}
