#pragma once
// How the program tells a person that something failed underneath: the table
// engine, the file system, the settings file.
//
// The box says, in the program's own words, what could not be done and what
// the person can do about it. The error's own text (engine codes, NATIVEERROR,
// SQL, native messages) goes under the box's "Show Details" only, for whoever
// supports the user. Use it wherever a caught exception would otherwise be
// shown with ui::ShowError(e.what()):
//
//   try { table.Post(); }
//   catch (const std::exception& e) { ShowFailure("The address could not be saved.", e); }
//
// An rtl::Exception that the program raised in its own words (a refused
// entry, a printer's refusal) is shown as it stands, below `whatFailed`;
// errors of the table engine and the dataset layer, and anything that is not
// an rtl::Exception, go under details.

#include "platform/ui/MessageService.h"

#include <exception>
#include <string>

// What helps when a table of the address book is missing.
inline constexpr const char* kAddressBookAdvice =
    "Choose Address Book, Open Address Book to pick a folder that holds an address book, or Add one there.";

// What the person can do about `error`, in the program's words, naming the
// folder of the table that failed (gAppPath when it names none) where that
// helps; empty when the cause suggests nothing beyond trying again. For a
// missing table the remedy depends on the table: `unknownTableAdvice` is the
// caller's, for an error that does not say which table it was.
std::string FailureAdvice(const std::exception& error, const std::string& unknownTableAdvice = {});

// The error box for an operation that failed: `whatFailed` is one sentence
// ("The address could not be saved."), followed by the advice and, for the
// program's own exceptions, their text; `details` holds the error's text when
// it is not in the program's words.
ui::MessageRequest FailureMessage(const std::string& whatFailed, const std::exception& error,
                                  const std::string& unknownTableAdvice = {});

// Whether the engine refused a second row for a unique key (a group or filter
// name, a membership): only that means "exists already"; a busy or broken
// table must not pass for it.
bool IsUniqueViolation(const std::exception& error);

// Shows FailureMessage(whatFailed, error, unknownTableAdvice).
void ShowFailure(const std::string& whatFailed, const std::exception& error,
                 const std::string& unknownTableAdvice = {});
