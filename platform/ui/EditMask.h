#pragma once
// Edit masks as the program's masked edits write them: "<mask>;<save>;<blank>".
//
//   mask   one character per position, except the controls:
//            0 digit, required        9 digit, optional     # digit or sign, optional
//            L letter, required       l letter, optional
//            A letter or digit, req.  a letter or digit, optional
//            C any character, req.    c any character, optional
//            \x  the next character x is a literal     _  a literal blank
//            >  upper case from here  <  lower case from here  <>  no conversion
//            !  accepted and ignored
//          every other character is a literal shown at its place.
//   save   "0": the text leaves the literals out; anything else (or no field)
//          keeps them.
//   blank  the character shown in an empty position (default "_").
//
// The edit text is what the box shows: one character per position, blanks
// shown as the blank character. The text is what the program reads: empty
// positions as spaces, literals only when the mask saves them. So the ZIP
// mask "99999\-9999;1;_" reads "     -    " when nothing is entered.
//
// Masks take ASCII characters only; the program's masks take digits.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class EditMask {
public:
    EditMask() = default;  // no mask: the text is taken as it is
    explicit EditMask(std::string_view mask);

    const std::string& Source() const { return source_; }
    bool IsEmpty() const { return slots_.empty(); }
    bool SavesLiterals() const { return saveLiterals_; }
    char BlankChar() const { return blank_; }
    std::size_t Length() const { return slots_.size(); }
    bool IsLiteral(std::size_t pos) const;

    // The edit text of an empty box: literals in place, blank characters elsewhere.
    std::string EmptyEditText() const;

    // The character stored when c is typed at an editable position (case
    // converted), or nothing when the position refuses it.
    std::optional<char> Accept(std::size_t pos, char c) const;

    // The program's text of an edit text.
    std::string TextOf(std::string_view editText) const;
    // The edit text for a text the program assigns. When the mask saves its
    // literals the text is read with literals in place; a literal missing from
    // the text is simply inserted, so "123456789" and "12345-6789" both fill
    // "99999\-9999". Characters an editable position refuses are skipped; a
    // blank leaves its position empty; characters beyond the mask are dropped.
    std::string EditTextFor(std::string_view text) const;

    // Every required position filled.
    bool IsComplete(std::string_view editText) const;
    // No position filled.
    bool IsBlank(std::string_view editText) const;

    // Keyboard editing on an edit text; positions are cursor positions
    // 0..Length(). Each returns the new cursor position.
    // Typing c at pos: a literal typed at its own place steps over it;
    // otherwise c goes into the first editable position at or after pos, or
    // is refused (nothing changes, std::nullopt).
    std::optional<std::size_t> Type(std::string& editText, std::size_t pos, char c) const;
    // Backspace: empties the editable position before pos.
    std::size_t Backspace(std::string& editText, std::size_t pos) const;
    // Delete or cut: empties the editable positions in [from, to).
    void Clear(std::string& editText, std::size_t from, std::size_t to) const;

    // First editable position at or after pos, or Length().
    std::size_t NextEditable(std::size_t pos) const;

private:
    enum class Kind { Literal, Digit, DigitOrSign, Letter, Alnum, Any };
    enum class Case { None, Upper, Lower };
    struct Slot {
        Kind kind = Kind::Literal;
        bool required = false;
        char literal = 0;
        Case casing = Case::None;
    };

    std::string source_;
    std::vector<Slot> slots_;
    bool saveLiterals_ = true;
    char blank_ = '_';
};

}  // namespace ui
