#pragma once
// The log window's statements and the rules behind its edits, apart from the
// window so tests reach them directly.

#include "app/data/U_MailerNumbers.h"

#include <optional>
#include <string>
#include <string_view>

// The window's query over the log, restricted by `where` (an SQL condition,
// empty for the whole log), oldest first.
std::string LogSelectSql(const std::string& where);

// Deletes exactly the rows LogSelectSql(where) shows.
std::string LogDeleteAllSql(const std::string& where);

// What the mailer editor changes on a log row, in the texts the row holds.
struct TMailerEdit {
    std::string Postage, Certified, Return, Restricted;
    bool WishRest = false;
    std::string Comment, Result;

    bool operator==(const TMailerEdit&) const = default;
};

// The row's new Total: the old one moved by what the four fees moved, so the
// part of the total that no fee column holds (priority) stays in it. Amounts
// count in cents; a blank or unreadable fee counts 0. Trimmed money text.
std::string AdjustedTotal(std::string_view oldTotal, const TMailerEdit& before, const TMailerEdit& after);

// The statement that writes an edit of row `lid`, or nothing when the edit
// changes nothing. It writes only the values that differ from `before` (the
// row as read) and changes the row only while those columns still hold what
// was read (all four fees when a fee changed, and the total when it moves as
// above): no row changed means another station changed or deleted it.
std::optional<std::string> LogUpdateSql(const TMailerEdit& before, const TMailerEdit& after,
                                        std::string_view oldTotal, std::string_view lid);

// Filter expressions of the finding walk, in the engine's expression
// language: rows whose MailerNum is one of the key's forms, and rows whose
// recipient fields contain `name` (letter case counts).
std::string MailerNumberExpression(const TMailerNumberKey& key);
std::string AddresseeNameExpression(std::string_view name);
