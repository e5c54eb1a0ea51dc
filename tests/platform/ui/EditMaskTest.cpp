#include "platform/ui/EditMask.h"

#include <gtest/gtest.h>

namespace {

using ui::EditMask;

const char* const kZip = "99999\\-9999;1;_";

TEST(EditMaskTest, ZipMaskBlankAndFilledTexts) {
    const EditMask zip(kZip);
    EXPECT_EQ(zip.Length(), 10u);
    EXPECT_EQ(zip.EmptyEditText(), "_____-____");
    EXPECT_EQ(zip.TextOf(zip.EmptyEditText()), "     -    ");
    EXPECT_EQ(zip.TextOf(zip.EditTextFor("")), "     -    ");
    EXPECT_EQ(zip.TextOf(zip.EditTextFor("12345")), "12345-    ");
    EXPECT_EQ(zip.TextOf(zip.EditTextFor("12345-6789")), "12345-6789");
    // Optional digits: an empty ZIP is a complete one.
    EXPECT_TRUE(zip.IsComplete(zip.EmptyEditText()));
    EXPECT_TRUE(zip.IsBlank(zip.EditTextFor("     -    ")));
    EXPECT_FALSE(zip.IsBlank(zip.EditTextFor("1")));
}

TEST(EditMaskTest, AssignedTextFindsItsPlaceAroundLiterals) {
    const EditMask zip(kZip);
    // Nine digits without the separator, or a blank where it belongs.
    EXPECT_EQ(zip.TextOf(zip.EditTextFor("123456789")), "12345-6789");
    EXPECT_EQ(zip.TextOf(zip.EditTextFor("12345 6789")), "12345-6789");
    // The text read back assigns to the same edit text.
    const std::string once = zip.TextOf(zip.EditTextFor("02134-"));
    EXPECT_EQ(once, "02134-    ");
    EXPECT_EQ(zip.TextOf(zip.EditTextFor(once)), once);
    // Too long: the rest is dropped.
    EXPECT_EQ(zip.TextOf(zip.EditTextFor("12345-67890000")), "12345-6789");

    // A nine-digit field that is handed a formatted ID keeps the digits.
    const EditMask custId("000000000;1;_");
    EXPECT_EQ(custId.TextOf(custId.EditTextFor("12-345-6789")), "123456789");
    EXPECT_TRUE(custId.IsComplete(custId.EditTextFor("12-345-6789")));
}

TEST(EditMaskTest, SaveFlagDecidesWhetherLiteralsReachTheText) {
    const EditMask saved("00-000-0000;1;_");
    EXPECT_EQ(saved.TextOf(saved.EditTextFor("123456789")), "12-345-6789");
    EXPECT_EQ(saved.TextOf(saved.EditTextFor("12-345-6789")), "12-345-6789");

    const EditMask unsaved("000000000;0");
    EXPECT_FALSE(unsaved.SavesLiterals());
    EXPECT_EQ(unsaved.BlankChar(), '_');
    EXPECT_EQ(unsaved.TextOf(unsaved.EditTextFor("123456789")), "123456789");

    const EditMask groups("9999 9999 9999 9999 9999;1;_");
    EXPECT_EQ(groups.Length(), 24u);
    const std::string twenty = groups.TextOf(groups.EditTextFor("12345678901234567890"));
    EXPECT_EQ(twenty, "1234 5678 9012 3456 7890");
    EXPECT_EQ(groups.TextOf(groups.EditTextFor(twenty)), twenty);
    // Partial entry reads with blanks, so trimming shows it is short.
    EXPECT_EQ(groups.TextOf(groups.EditTextFor("1234")), "1234                    ");
}

TEST(EditMaskTest, RequiredPositionsAndCharacterClasses) {
    const EditMask serial("0000000;1;_");
    EXPECT_FALSE(serial.IsComplete(serial.EditTextFor("123456")));
    EXPECT_TRUE(serial.IsComplete(serial.EditTextFor("1234567")));
    EXPECT_FALSE(serial.Accept(0, 'a').has_value());
    EXPECT_FALSE(serial.Accept(0, ' ').has_value());
    EXPECT_FALSE(serial.Accept(7, '1').has_value());

    const EditMask mixed(">LL<ll#A;1;*");
    EXPECT_EQ(mixed.BlankChar(), '*');
    EXPECT_EQ(mixed.Accept(0, 'a'), 'A');
    EXPECT_EQ(mixed.Accept(2, 'Q'), 'q');
    EXPECT_EQ(mixed.Accept(4, '-'), '-');
    EXPECT_FALSE(mixed.Accept(5, '-').has_value());
    EXPECT_EQ(mixed.TextOf(mixed.EditTextFor("abCD+z")), "ABcd+z");
    // Escaped separators and controls are literals.
    const EditMask escaped("0\\;0\\>;1;_");
    EXPECT_EQ(escaped.Length(), 4u);
    EXPECT_EQ(escaped.TextOf(escaped.EditTextFor("12")), "1;2>");
}

TEST(EditMaskTest, TypingSkipsLiteralsAndRefusesWrongCharacters) {
    const EditMask zip(kZip);
    std::string edit = zip.EmptyEditText();
    std::size_t cursor = 0;
    for (char c : std::string("12345")) cursor = *zip.Type(edit, cursor, c);
    EXPECT_EQ(cursor, 6u);  // over the "-", at the first plus-four digit
    EXPECT_EQ(edit, "12345-____");
    EXPECT_FALSE(zip.Type(edit, cursor, 'x').has_value());
    EXPECT_EQ(edit, "12345-____");
    // The literal typed at its own place steps over it.
    EXPECT_EQ(zip.Type(edit, 5, '-'), 6u);
    for (char c : std::string("6789")) cursor = *zip.Type(edit, cursor, c);
    EXPECT_EQ(zip.TextOf(edit), "12345-6789");
    EXPECT_FALSE(zip.Type(edit, cursor, '0').has_value());  // full at the end

    // Overwrite, not insert.
    EXPECT_EQ(zip.Type(edit, 0, '9'), 1u);
    EXPECT_EQ(zip.TextOf(edit), "92345-6789");

    // Backspace over the literal empties the digit before it.
    EXPECT_EQ(zip.Backspace(edit, 6), 4u);
    EXPECT_EQ(edit, "9234_-6789");
    zip.Clear(edit, 3, 8);
    EXPECT_EQ(edit, "923__-__89");
    EXPECT_EQ(zip.Backspace(edit, 0), 0u);
}

}  // namespace
