#include "platform/rtl/Classes.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace rtl {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsSpaceNotEnd(char c) { return c != '\0' && IsBlank(c); }

}  // namespace

int TStringList::Compare(std::string_view a, std::string_view b) const
{
    if (caseSensitive_) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    return CompareText(a, b);
}

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EStringListError("List index out of bounds (" + IntToStr(index) + ")");
}

const std::string& TStringList::operator[](int index) const
{
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)];
}

void TStringList::Put(int index, const std::string& value)
{
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    CheckIndex(index);
    items_[static_cast<std::size_t>(index)] = value;
}

int TStringList::Add(const std::string& value)
{
    if (!sorted_) {
        items_.push_back(value);
        return Count() - 1;
    }
    int index = 0;
    if (Find(value, index)) {
        if (duplicates_ == TDuplicates::dupIgnore) return index;
        if (duplicates_ == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
        // Equal items keep the order they were added in.
        while (index < Count() && Compare(items_[static_cast<std::size_t>(index)], value) == 0) ++index;
    }
    items_.insert(items_.begin() + index, value);
    return index;
}

void TStringList::AddStrings(const TStringList& other)
{
    for (const std::string& item : other.items_) Add(item);
}

void TStringList::Insert(int index, const std::string& value)
{
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    if (index < 0 || index > Count()) throw EStringListError("List index out of bounds (" + IntToStr(index) + ")");
    items_.insert(items_.begin() + index, value);
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    items_.erase(items_.begin() + index);
}

void TStringList::Exchange(int a, int b)
{
    CheckIndex(a);
    CheckIndex(b);
    std::swap(items_[static_cast<std::size_t>(a)], items_[static_cast<std::size_t>(b)]);
}

bool TStringList::Find(std::string_view value, int& index) const
{
    // Lower bound: the first item not less than the value.
    int low = 0, high = Count();
    while (low < high) {
        int mid = low + (high - low) / 2;
        if (Compare(items_[static_cast<std::size_t>(mid)], value) < 0) low = mid + 1;
        else high = mid;
    }
    index = low;
    return low < Count() && Compare(items_[static_cast<std::size_t>(low)], value) == 0;
}

int TStringList::IndexOf(std::string_view value) const
{
    if (sorted_) {
        int index = 0;
        return Find(value, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (Compare(items_[static_cast<std::size_t>(i)], value) == 0) return i;
    return -1;
}

void TStringList::SetCaseSensitive(bool value)
{
    if (value == caseSensitive_) return;
    caseSensitive_ = value;
    if (sorted_) Sort();
}

void TStringList::SetSorted(bool value)
{
    if (value && !sorted_) {
        sorted_ = true;
        Sort();
    }
    sorted_ = value;
}

void TStringList::Sort()
{
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
}

// ---- line view ------------------------------------------------------------------

std::string TStringList::Text() const
{
    std::string text;
    for (const std::string& item : items_) {
        text += item;
        text += lineBreak_;
    }
    return text;
}

void TStringList::SetText(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\r' && c != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    items_.clear();
    if (sorted_) {
        for (const std::string& line : lines) Add(line);
    } else {
        items_ = std::move(lines);
    }
}

// ---- delimited view ---------------------------------------------------------------

std::string TStringList::JoinDelimited(char delimiter, char quote) const
{
    if (items_.size() == 1 && items_[0].empty()) return std::string(2, quote);
    std::string result;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const std::string& item = items_[i];
        bool needsQuotes = std::any_of(item.begin(), item.end(), [&](char c) {
            return c == delimiter || c == quote || (!strictDelimiter_ && IsBlank(c));
        });
        if (i > 0) result += delimiter;
        result += needsQuotes ? QuotedStr(item, quote) : item;
    }
    return result;
}

void TStringList::SplitDelimited(std::string_view text, char delimiter, char quote)
{
    std::vector<std::string> parsed;
    std::size_t p = 0;
    const std::size_t n = text.size();
    auto at = [&](std::size_t i) { return i < n ? text[i] : '\0'; };
    auto skipBlanks = [&] {
        if (!strictDelimiter_)
            while (IsSpaceNotEnd(at(p))) ++p;
    };

    skipBlanks();
    while (p < n) {
        std::string item;
        if (at(p) == quote) {
            // Quoted item: doubled quotes stand for one; it ends at a lone quote.
            ++p;
            while (p < n) {
                if (text[p] == quote) {
                    if (at(p + 1) == quote) {
                        item += quote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            std::size_t begin = p;
            while (p < n && text[p] != delimiter && (strictDelimiter_ || !IsBlank(text[p]))) ++p;
            item.assign(text.substr(begin, p - begin));
        }
        parsed.push_back(std::move(item));
        skipBlanks();
        if (at(p) == delimiter) {
            if (p + 1 == n) parsed.emplace_back();
            ++p;
            skipBlanks();
        }
    }
    items_.clear();
    for (std::string& item : parsed) {
        if (sorted_) Add(item);
        else items_.push_back(std::move(item));
    }
}

std::string TStringList::DelimitedText() const { return JoinDelimited(delimiter_, quoteChar_); }

void TStringList::SetDelimitedText(std::string_view text) { SplitDelimited(text, delimiter_, quoteChar_); }

std::string TStringList::CommaText() const { return JoinDelimited(',', '"'); }

void TStringList::SetCommaText(std::string_view text) { SplitDelimited(text, ',', '"'); }

// ---- name=value view ------------------------------------------------------------

std::string TStringList::Names(int index) const
{
    const std::string& item = (*this)[index];
    std::size_t eq = item.find('=');
    return eq == std::string::npos ? std::string() : item.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const
{
    const std::string& item = (*this)[index];
    std::size_t eq = item.find('=');
    return eq == std::string::npos ? std::string() : item.substr(eq + 1);
}

int TStringList::IndexOfName(std::string_view name) const
{
    for (int i = 0; i < Count(); ++i) {
        const std::string& item = items_[static_cast<std::size_t>(i)];
        std::size_t eq = item.find('=');
        if (eq != std::string::npos && Compare(std::string_view(item).substr(0, eq), name) == 0) return i;
    }
    return -1;
}

std::string TStringList::Values(std::string_view name) const
{
    int index = IndexOfName(name);
    return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStringList::SetValues(std::string_view name, std::string_view value)
{
    int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0) Delete(index);
        return;
    }
    std::string item = std::string(name) + "=" + std::string(value);
    if (index < 0) {
        Add(item);
    } else if (sorted_) {
        Delete(index);
        Add(item);
    } else {
        Put(index, item);
    }
}

// ---- files --------------------------------------------------------------------------

void TStringList::LoadFromFile(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw Exception("Cannot open file \"" + fileName + "\".");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) throw Exception("Cannot read file \"" + fileName + "\".");
    SetText(bytes.str());
}

void TStringList::SaveToFile(const std::string& fileName) const
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out) throw Exception("Cannot create file \"" + fileName + "\".");
    std::string text = Text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw Exception("Cannot write file \"" + fileName + "\".");
}

}  // namespace rtl
