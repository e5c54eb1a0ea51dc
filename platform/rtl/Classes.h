#pragma once
// TStringList: an ordered list of texts with line, delimited and name=value views.

#include "platform/rtl/SysUtils.h"

#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class EStringListError : public Exception {
public:
    using Exception::Exception;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
public:
    TStringList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    // Raises EStringListError for an index out of range.
    const std::string& operator[](int index) const;
    const std::string& Strings(int index) const { return (*this)[index]; }
    // Replaces one item; refused on a sorted list (it would break the order).
    void Put(int index, const std::string& value);

    // Appends (or, when sorted, inserts in order) and returns the item's index.
    // A sorted list with dupIgnore returns the index of an equal item instead;
    // dupError raises EStringListError.
    int Add(const std::string& value);
    void AddStrings(const TStringList& other);
    // Refused on a sorted list.
    void Insert(int index, const std::string& value);
    void Delete(int index);
    void Clear() { items_.clear(); }
    void Exchange(int a, int b);
    // Index of the first equal item, -1 when none; binary search when sorted.
    int IndexOf(std::string_view value) const;
    // On a sorted list: true and the index when found, else false and the
    // index where the value would go.
    bool Find(std::string_view value, int& index) const;

    // Comparison of IndexOf, Find and sorting: ASCII case ignored unless set.
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool value);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);
    void Sort();
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates value) { duplicates_ = value; }

    // Every item followed by LineBreak (default CR LF). Setting splits at CR LF,
    // LF or CR; a last line without a line break counts too.
    std::string Text() const;
    void SetText(std::string_view text);
    const std::string& LineBreak() const { return lineBreak_; }
    void SetLineBreak(std::string value) { lineBreak_ = std::move(value); }

    // Items joined by Delimiter; an item holding the delimiter, the quote
    // character or (unless StrictDelimiter) a character up to blank is quoted
    // with QuoteChar, inner quotes doubled. Setting reads the same form back;
    // without StrictDelimiter blanks outside quotes also separate items.
    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char value) { delimiter_ = value; }
    char QuoteChar() const { return quoteChar_; }
    void SetQuoteChar(char value) { quoteChar_ = value; }
    bool StrictDelimiter() const { return strictDelimiter_; }
    void SetStrictDelimiter(bool value) { strictDelimiter_ = value; }
    std::string DelimitedText() const;
    void SetDelimitedText(std::string_view text);
    // DelimitedText with "," and '"' whatever Delimiter and QuoteChar are.
    std::string CommaText() const;
    void SetCommaText(std::string_view text);

    // name=value items. Values(name) is empty when the name is absent;
    // SetValues with an empty value deletes the item.
    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;
    std::string Values(std::string_view name) const;
    void SetValues(std::string_view name, std::string_view value);
    int IndexOfName(std::string_view name) const;

    // Bytes as they are; raise Exception when the file cannot be read or written.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    std::vector<std::string>::const_iterator begin() const { return items_.begin(); }
    std::vector<std::string>::const_iterator end() const { return items_.end(); }
    const std::vector<std::string>& Items() const { return items_; }

private:
    int Compare(std::string_view a, std::string_view b) const;
    void CheckIndex(int index) const;
    std::string JoinDelimited(char delimiter, char quote) const;
    void SplitDelimited(std::string_view text, char delimiter, char quote);

    std::vector<std::string> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = TDuplicates::dupIgnore;
    std::string lineBreak_ = "\r\n";
    char delimiter_ = ',';
    char quoteChar_ = '"';
    bool strictDelimiter_ = false;
};

}  // namespace rtl
