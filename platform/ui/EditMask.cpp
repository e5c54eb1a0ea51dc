#include "platform/ui/EditMask.h"

#include <algorithm>

namespace ui {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Splits at the separators that are not escaped by a backslash.
std::vector<std::string_view> Fields(std::string_view mask) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == '\\') {
            ++i;
        } else if (mask[i] == ';') {
            fields.push_back(mask.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(mask.substr(start));
    return fields;
}

}  // namespace

EditMask::EditMask(std::string_view mask) : source_(mask) {
    const auto fields = Fields(mask);
    if (fields.size() > 1 && fields[1] == "0") saveLiterals_ = false;
    if (fields.size() > 2 && !fields[2].empty()) blank_ = fields[2][0];

    const std::string_view chars = fields[0];
    Case casing = Case::None;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char c = chars[i];
        Slot slot;
        slot.casing = casing;
        switch (c) {
            case '\\':
                if (i + 1 >= chars.size()) continue;  // a trailing backslash escapes nothing
                slot.literal = chars[++i];
                break;
            case '>':
                casing = Case::Upper;
                continue;
            case '<':
                if (i + 1 < chars.size() && chars[i + 1] == '>') {
                    ++i;
                    casing = Case::None;
                } else {
                    casing = Case::Lower;
                }
                continue;
            case '!': continue;
            case '_': slot.literal = ' '; break;
            case '0': slot.kind = Kind::Digit; slot.required = true; break;
            case '9': slot.kind = Kind::Digit; break;
            case '#': slot.kind = Kind::DigitOrSign; break;
            case 'L': slot.kind = Kind::Letter; slot.required = true; break;
            case 'l': slot.kind = Kind::Letter; break;
            case 'A': slot.kind = Kind::Alnum; slot.required = true; break;
            case 'a': slot.kind = Kind::Alnum; break;
            case 'C': slot.kind = Kind::Any; slot.required = true; break;
            case 'c': slot.kind = Kind::Any; break;
            default: slot.literal = c; break;
        }
        slots_.push_back(slot);
    }
}

bool EditMask::IsLiteral(std::size_t pos) const {
    return pos < slots_.size() && slots_[pos].kind == Kind::Literal;
}

std::string EditMask::EmptyEditText() const {
    std::string text;
    text.reserve(slots_.size());
    for (const Slot& slot : slots_) text += slot.kind == Kind::Literal ? slot.literal : blank_;
    return text;
}

std::optional<char> EditMask::Accept(std::size_t pos, char c) const {
    if (pos >= slots_.size()) return std::nullopt;
    const Slot& slot = slots_[pos];
    const auto uc = static_cast<unsigned char>(c);
    if (uc < 32 || uc > 126) return std::nullopt;
    bool ok = false;
    switch (slot.kind) {
        case Kind::Literal: ok = false; break;
        case Kind::Digit: ok = IsDigit(c); break;
        case Kind::DigitOrSign: ok = IsDigit(c) || c == '+' || c == '-'; break;
        case Kind::Letter: ok = IsLetter(c); break;
        case Kind::Alnum: ok = IsLetter(c) || IsDigit(c); break;
        case Kind::Any: ok = c != ' '; break;
    }
    if (!ok) return std::nullopt;
    if (slot.casing == Case::Upper) return Upper(c);
    if (slot.casing == Case::Lower) return Lower(c);
    return c;
}

std::string EditMask::TextOf(std::string_view editText) const {
    if (IsEmpty()) return std::string(editText);
    std::string text;
    text.reserve(slots_.size());
    for (std::size_t pos = 0; pos < slots_.size(); ++pos) {
        if (slots_[pos].kind == Kind::Literal) {
            if (saveLiterals_) text += slots_[pos].literal;
            continue;
        }
        const char c = pos < editText.size() ? editText[pos] : blank_;
        text += c == blank_ ? ' ' : c;
    }
    return text;
}

std::string EditMask::EditTextFor(std::string_view text) const {
    if (IsEmpty()) return std::string(text);
    std::string edit = EmptyEditText();
    std::size_t next = 0;  // next unread character of text
    for (std::size_t pos = 0; pos < slots_.size() && next < text.size(); ++pos) {
        const Slot& slot = slots_[pos];
        if (slot.kind == Kind::Literal) {
            if (!saveLiterals_) continue;
            // The text should hold the literal here. When it holds something the
            // next position could not take either, it stands in for the literal
            // (a blank, say); a character the next position takes is kept for it.
            const char c = text[next];
            const std::size_t following = NextEditable(pos);
            if (c == slot.literal || !Accept(following, c)) ++next;
            continue;
        }
        while (next < text.size()) {
            const char c = text[next++];
            if (c == ' ' || c == blank_) break;
            if (const auto stored = Accept(pos, c)) {
                edit[pos] = *stored;
                break;
            }
        }
    }
    return edit;
}

bool EditMask::IsComplete(std::string_view editText) const {
    for (std::size_t pos = 0; pos < slots_.size(); ++pos) {
        if (!slots_[pos].required) continue;
        if (pos >= editText.size() || editText[pos] == blank_) return false;
    }
    return true;
}

bool EditMask::IsBlank(std::string_view editText) const {
    for (std::size_t pos = 0; pos < slots_.size() && pos < editText.size(); ++pos)
        if (slots_[pos].kind != Kind::Literal && editText[pos] != blank_) return false;
    return true;
}

std::size_t EditMask::NextEditable(std::size_t pos) const {
    while (pos < slots_.size() && slots_[pos].kind == Kind::Literal) ++pos;
    return std::min(pos, slots_.size());
}

std::optional<std::size_t> EditMask::Type(std::string& editText, std::size_t pos, char c) const {
    if (editText.size() != slots_.size()) editText = EditTextFor(editText);
    if (pos < slots_.size() && slots_[pos].kind == Kind::Literal && slots_[pos].literal == c)
        return NextEditable(pos + 1);
    const std::size_t target = NextEditable(pos);
    const auto stored = Accept(target, c);
    if (!stored) return std::nullopt;
    editText[target] = *stored;
    return NextEditable(target + 1);
}

std::size_t EditMask::Backspace(std::string& editText, std::size_t pos) const {
    if (editText.size() != slots_.size()) editText = EditTextFor(editText);
    pos = std::min(pos, slots_.size());
    while (pos > 0) {
        --pos;
        if (slots_[pos].kind != Kind::Literal) {
            editText[pos] = blank_;
            return pos;
        }
    }
    return 0;
}

void EditMask::Clear(std::string& editText, std::size_t from, std::size_t to) const {
    if (editText.size() != slots_.size()) editText = EditTextFor(editText);
    to = std::min(to, slots_.size());
    for (std::size_t pos = from; pos < to; ++pos)
        if (slots_[pos].kind != Kind::Literal) editText[pos] = blank_;
}

}  // namespace ui
