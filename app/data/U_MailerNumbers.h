#pragma once
// What a typed or scanned mailer number means, for the windows that look one
// up in the log (finding a mailer, marking returned receipts).
//
// Three entries are taken, blanks anywhere ignored: the 20 digits of older
// logs, the 22 digits this program prints, and the 30 characters a scanner
// reads from the barcode ("420", the ZIP, then the 22 digits). The log holds
// a number grouped by blanks as printed ("9214 7123 4567 8900 0000 15"; older
// numbers in five groups of four), or as 22 plain digits when it was imported.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TMailerNumberKey {
    // The number as the log shows it: 22 digits as 4-4-4-4-4-2, 20 as five groups of 4.
    std::string Display;
    // Every form of the number a log row may hold in MailerNum; Display first.
    std::vector<std::string> Stored;
};

enum class TMailerNumberProblem { None, Length, NotDigits };

// The key of an entry, or the reason it is none. The entry's blanks are
// dropped first; a 30-character entry must begin with "420".
std::optional<TMailerNumberKey> MailerNumberKey(std::string_view entry, TMailerNumberProblem* problem = nullptr);

// Whether the entry, blanks dropped, has a length a mailer number can have
// (20, 22 or 30): a scanner's input is complete only then.
bool MailerNumberComplete(std::string_view entry);

// Whether a MailerNum value (trailing blanks ignored) is one of the key's forms.
bool MatchesMailerNumber(const TMailerNumberKey& key, std::string_view mailerNum);

// "MailerNum in ('...', '...')": the condition that finds the key's rows.
std::string MailerNumberCondition(const TMailerNumberKey& key);
