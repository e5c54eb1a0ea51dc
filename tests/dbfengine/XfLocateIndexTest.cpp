// Locate with an index order in control against the same Locate in record order
// and against a model of the records: random texts (shorter than their field,
// exactly its length, longer, ending in blanks, empty, with characters the table
// cannot hold) on one-field and several-field keys, ascending and descending tags,
// with and without a partial key or case-insensitivity; and on date, number and
// logical fields values of every kind. The index may only make a search faster,
// never change its answer. And a table of values converted as the field would hold
// them (more decimals, a time of day, an empty text) or that no field holds (not
// finite, too wide, outside the years 1 to 9999), answered alike in record order
// with the index file open, through the field's tag, and on a table without one.

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/uxffds.h"
#include "dbfengine/xfndx.h"
#include "platform/db/Convert.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

struct KeyField {
    std::size_t column;  // in a row of the model
    const char* name;
    std::size_t length;
};

// The fields of a key and the tags whose key expression is those fields joined.
struct Key {
    std::vector<KeyField> fields;
    std::vector<std::string> tags;
};

const std::vector<Key> kKeys {
    {{{0, "NAME", 8}}, {"NAME", "NAMEDESC"}},
    {{{1, "CITY", 5}, {2, "STATE", 3}}, {"CITYST"}},
    {{{1, "CITY", 5}, {2, "STATE", 3}, {0, "NAME", 8}}, {"PLACE", "PLACEDESC"}},
};

// UTF-8 characters: "ü" is in both of the table's pages, "€" only in the ANSI one
// (the OEM table stores "?"), "ł" in neither.
const std::vector<std::string> kLetters {"a", "b", "A", "B", "ü", "€", "ł", "?"};

std::string Word(std::mt19937& random, std::size_t most)
{
    std::string word;
    const std::size_t length = 1 + random() % most;
    for (std::size_t i = 0; i < length; ++i) word += i > 0 && random() % 5 == 0 ? " " : kLetters[random() % kLetters.size()];
    return rtl::TrimRight(word);
}

// A text to search a field of `length` for, made from a stored value: a beginning
// of it, the value filled up to the field's length with a letter or with blanks,
// longer than the field, with blanks after it, nothing at all, with a letter the
// table cannot hold in place of its "?", or the value itself.
std::string Probe(std::mt19937& random, const std::string& stored, std::size_t length)
{
    std::string probe = stored;
    switch (random() % 9) {
    case 0: return stored.substr(0, random() % (stored.size() + 1));
    case 1: return (stored + std::string(length, 'a')).substr(0, length);
    case 2: return (stored + std::string(length, ' ')).substr(0, length);
    case 3: return stored + std::string(length, 'T') + "AIL";
    case 4: return stored + std::string(1 + random() % 3, ' ');
    case 5: return "";
    case 6:
        if (const std::size_t at = probe.find('?'); at != std::string::npos) probe.replace(at, 1, random() % 2 ? "ł" : "€");
        return probe;
    default: return probe;
    }
}

}  // namespace

TEST(XfLocateIndex, LocateThroughAnIndexOrderAnswersWhatItAnswersInRecordOrder)
{
    EngineScope scope;
    XfSetOemCodePage(rtl::CodePage::Oem850);
    testsupport::TempDir dir;
    std::mt19937 random(51);
    TXfDbf ds;
    ds.SetName("Places");
    ds.SetDbfFields({"name,C,8,0", "city,C,5,0", "state,C,3,0"});
    ds.SetIndexList({"NAME,F,F,NAME", "", "NAMEDESC,T,F,NAME", "", "CITYST,F,F,CITY+STATE", "",
                     "PLACE,F,F,CITY + STATE + NAME", "", "PLACEDESC,T,F,CITY+STATE+NAME", ""});
    ds.SetDbfFileName(dir.str() + "/places.dbf");
    ds.Open();
    // The model: each record's values as the dataset reads them back.
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 80; ++i) {
        ds.Append();
        ds.FieldByName("NAME")->SetAsString(Word(random, 8));
        ds.FieldByName("CITY")->SetAsString(i % 10 == 0 ? "" : Word(random, 5));
        ds.FieldByName("STATE")->SetAsString(Word(random, 3));
        ds.Post();
        rows.push_back({ds.FieldByName("NAME")->AsString(), ds.FieldByName("CITY")->AsString(), ds.FieldByName("STATE")->AsString()});
    }

    int found = 0, notFound = 0;
    for (int i = 0; i < 3000; ++i) {
        const Key& key = kKeys[random() % kKeys.size()];
        const std::string& tag = key.tags[random() % key.tags.size()];
        const std::vector<std::string>& row = rows[random() % rows.size()];
        std::string names, shown;
        std::vector<std::string> probes;
        for (const KeyField& field : key.fields) {
            probes.push_back(Probe(random, row[field.column], field.length));
            names += (names.empty() ? "" : ";") + std::string(field.name);
            shown += "[" + probes.back() + "]";
        }
        std::vector<db::Variant> values(probes.begin(), probes.end());
        const db::Variant keyValues = values.size() == 1 ? values[0] : db::VarArrayOf(values);
        db::TLocateOptions options;
        if (random() % 2) options.Include(db::loPartialKey);
        if (random() % 4 == 0) options.Include(db::loCaseInsensitive);
        SCOPED_TRACE("Locate(" + names + ", " + shown + ") under " + tag + (options.Contains(db::loPartialKey) ? ", partial" : "") +
                     (options.Contains(db::loCaseInsensitive) ? ", any case" : ""));

        // A blank field is an empty text to LOCATE. The framework's scan, which
        // answers texts ending in blanks and texts the table cannot hold, takes it
        // for a field without a value, which matches nothing.
        bool scanned = false;
        for (const std::string& probe : probes)
            scanned = scanned || probe.ends_with(' ') || probe.find("€") != std::string::npos || probe.find("ł") != std::string::npos;
        const auto matches = [&](const std::vector<std::string>& values) {
            for (const KeyField& field : key.fields) {
                std::string have = values[field.column], want = probes[&field - key.fields.data()];
                if (options.Contains(db::loCaseInsensitive)) have = db::UpperText(have), want = db::UpperText(want);
                if ((scanned && have.empty()) || (options.Contains(db::loPartialKey) ? !have.starts_with(want) : have != want)) return false;
            }
            return true;
        };
        const auto current = [&] {
            return std::vector<std::string> {ds.FieldByName("NAME")->AsString(), ds.FieldByName("CITY")->AsString(),
                                             ds.FieldByName("STATE")->AsString()};
        };
        bool expected = false;
        for (const std::vector<std::string>& r : rows) expected = expected || matches(r);

        Select(ds.WorkAreaNo());
        Set_Order_To(0);
        ds.First();
        ASSERT_EQ(ds.Locate(names, keyValues, options), expected) << "in record order";
        if (expected) {
            EXPECT_TRUE(matches(current())) << "in record order";
        }
        Select(ds.WorkAreaNo());
        ASSERT_TRUE(SetOrderToTag(tag));
        ds.First();
        ASSERT_EQ(ds.Locate(names, keyValues, options), expected) << "in index order";
        if (expected) {
            EXPECT_TRUE(matches(current())) << "in index order";
        }
        (expected ? found : notFound)++;
    }
    // Both answers came up often enough to mean something.
    EXPECT_GT(found, 600);
    EXPECT_GT(notFound, 600);
    ds.Close();
}

TEST(XfLocateIndex, DateAndNumberKeysOfAnyKindAnswerThroughATagAsInRecordOrder)
{
    EngineScope scope;
    testsupport::TempDir dir;
    std::mt19937 random(52);
    TXfDbf ds;
    ds.SetDbfFields({"born,D,8,0", "qty,N,5,0", "price,N,8,2", "rate,F,10,3", "ok,L,1,0"});
    ds.SetIndexList({"BORN,F,F,BORN", "", "QTY,F,F,QTY", "", "PRICE,T,F,PRICE", "", "RATE,F,F,RATE", ""});
    ds.SetDbfFileName(dir.str() + "/mixed.dbf");
    ds.Open();
    const double start = rtl::EncodeDate(2000, 1, 1);
    for (int i = 0; i < 40; ++i) {
        const auto day = i % 8 == 3 ? db::Null() : db::Variant::FromDateTime(start + static_cast<double>(random() % 12));
        ds.AppendRecord({day, static_cast<int>(random() % 10) - 3, static_cast<double>(random() % 700) / 100 - 1,
                         static_cast<double>(random() % 5000) / 1000 - 1, random() % 3 == 0});
    }
    // A logical field has no tag: it is searched while another order is in control.
    const std::vector<std::pair<std::string, int>> fields {{"BORN", 1}, {"QTY", 2}, {"PRICE", 3}, {"RATE", 4}, {"OK", 2}};
    const std::vector<db::Variant> odd {"x", "", true, 0, std::numeric_limits<double>::quiet_NaN(),
                                        std::numeric_limits<double>::infinity(), -1e300, "T", "False", -0.0, db::Null()};
    const auto answer = [&](const std::string& field, const db::Variant& key, db::TLocateOptions options) {
        try {
            return ds.Locate(field, key, options) ? "found " + ds.FieldByName(field)->AsString() : "not found";
        } catch (const rtl::Exception& e) {
            return "error " + e.Message();
        }
    };
    int found = 0;
    for (int i = 0; i < 4000; ++i) {
        const auto& [field, tag] = fields[random() % fields.size()];
        // A record's value, the same as another kind, a little off, with a time of
        // day, as a text, or something no record holds.
        ds.SetRecNo(static_cast<int>(1 + random() % 40));
        const double value = ds.FieldByName(field)->IsNull() ? start : ds.FieldByName(field)->AsVariant().ToDouble();
        const std::vector<db::Variant> probes {
            odd[random() % odd.size()], value, value + 0.5, value + 1e-9, static_cast<std::int64_t>(std::llround(value)),
            db::Variant::FromDateTime(value), db::Variant::FromDateTime(value + 1.0 / 86400), rtl::FloatToStr(value),
            rtl::DateToStr(value), rtl::DateTimeToStr(value + 0.75), value != 0};
        const db::Variant key = probes[random() % probes.size()];
        db::TLocateOptions options;
        if (random() % 3 == 0) options.Include(db::loPartialKey);
        SCOPED_TRACE("Locate(" + field + ", " + (key.IsClear() ? "null" : key.ToString()) + " of type " + db::VarTypeName(key.VarType()) + ")");
        Select(ds.WorkAreaNo());
        Set_Order_To(0);
        const std::string inRecordOrder = answer(field, key, options);
        Select(ds.WorkAreaNo());
        Set_Order_To(tag);
        ASSERT_EQ(answer(field, key, options), inRecordOrder) << "under the tag";
        found += inRecordOrder.starts_with("found");
    }
    EXPECT_GT(found, 1000);
    EXPECT_LT(found, 3000);
    ds.Close();
}

TEST(XfLocateIndex, LocateConvertsTheValueAsTheFieldWouldOnEveryPath)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::vector<std::string> fields {"name,C,8,0", "num,N,8,2", "big,N,18,0", "huge,N,20,0", "born,D,8,0"};
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const double day = rtl::EncodeDate(2000, 2, 29), first = rtl::EncodeDate(1, 1, 1), last = rtl::EncodeDate(9999, 12, 31);
    const db::Variant blank = db::Null();
    // Record n is row n - 1; each value the cases look for is held once.
    const std::vector<std::vector<db::Variant>> rows {
        {"", 0.0, std::int64_t {0}, 0.0, blank},
        {"ann", 1.5, std::int64_t {9007199254740993}, 12345678901234567168.0, db::Variant::FromDateTime(last)},
        {"bob", -3.25, std::int64_t {-5}, 1e15, db::Variant::FromDateTime(first)},
        {"cy", 2.68, std::int64_t {123456789012345678}, -7.0, db::Variant::FromDateTime(day)},
        {"dee", 12345.67, std::int64_t {42}, 99.0, db::Variant::FromDateTime(day + 1)},
    };
    struct Case {
        const char* field;
        db::Variant value;
        int record;  // 0: none
    };
    const std::vector<Case> cases {
        {"NAME", "ann", 2},
        {"NAME", "", 1},
        {"NAME", "ANN", 0},
        {"NUM", 1.5, 2},
        {"NUM", 12345.67, 5},
        {"NUM", 1e-10, 1},
        {"NUM", 1e-40, 1},
        {"NUM", 1e-60, 1},
        {"NUM", -0.0, 1},
        {"NUM", 1.499, 2},
        {"NUM", 2.675, 4},  // stored as 2.68: half away from zero on the digits written
        {"NUM", std::int64_t {0}, 1},
        {"NUM", nan, 0},
        {"NUM", inf, 0},
        {"NUM", -inf, 0},
        {"NUM", 1e300, 0},
        {"NUM", 123456.78, 0},  // one digit more than the field holds
        {"BIG", 9007199254740992.0, 0},
        {"BIG", std::int64_t {9007199254740993}, 2},
        {"BIG", std::int64_t {123456789012345678}, 4},
        {"BIG", "123456789012345678", 4},
        {"BIG", -5.4, 3},
        {"BIG", -0.0, 1},
        {"BIG", 1e18, 0},
        {"BIG", nan, 0},
        {"BIG", inf, 0},
        {"HUGE", 12345678901234567168.0, 2},
        {"HUGE", 1e19, 0},
        {"HUGE", 9.3e18, 0},
        {"HUGE", 1e20, 0},
        {"HUGE", 1e15, 3},
        {"HUGE", -0.0, 1},
        {"HUGE", nan, 0},
        {"HUGE", -inf, 0},
        {"BORN", db::Variant::FromDateTime(last), 2},
        {"BORN", db::Variant::FromDateTime(last + 0.5), 2},
        {"BORN", db::Variant::FromDateTime(first), 3},
        {"BORN", db::Variant::FromDateTime(day + 0.75), 4},
        {"BORN", db::Variant::FromDateTime(first - 1), 0},
        {"BORN", db::Variant::FromDateTime(last + 1), 0},
        {"BORN", db::Variant::FromDateTime(-1e300), 0},
        {"BORN", db::Variant::FromDateTime(1e300), 0},
        {"BORN", nan, 0},
        {"BORN", inf, 0},
    };
    const auto make = [&](const std::string& file, std::vector<std::string> indexList) {
        auto ds = std::make_unique<TXfDbf>();
        ds->SetDbfFields(fields);
        ds->SetIndexList(std::move(indexList));
        ds->SetDbfFileName(dir.str() + "/" + file);
        ds->Open();
        for (const std::vector<db::Variant>& row : rows) ds->AppendRecord(row);
        return ds;
    };
    const auto indexed = make("indexed.dbf", {"NAME,F,F,NAME", "", "NUM,F,F,NUM", "", "BIG,T,F,BIG", "", "HUGE,F,F,HUGE", "",
                                              "BORN,F,F,BORN", ""});
    const auto plain = make("plain.dbf", {});
    ASSERT_EQ(indexed->RecordCount(), 5);
    ASSERT_EQ(plain->RecordCount(), 5);
    // The order: a tag's name, "" for record order, or none on the table without tags.
    const auto answer = [](TXfDbf& ds, const Case& c, const char* order) {
        Select(ds.WorkAreaNo());
        if (order && !*order) {
            Set_Order_To(0);
        } else if (order) {
            EXPECT_TRUE(SetOrderToTag(order));
        }
        ds.Last();
        try {
            return ds.Locate(c.field, c.value, {}) ? ds.RecNo() : 0;
        } catch (const rtl::Exception&) {
            return -1;
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("Locate(") + c.field + ", " + c.value.ToString() + " of type " + db::VarTypeName(c.value.VarType()) + ")");
        EXPECT_EQ(answer(*indexed, c, ""), c.record) << "in record order, the index file open";
        EXPECT_EQ(answer(*indexed, c, c.field), c.record) << "through the field's tag";
        EXPECT_EQ(answer(*plain, c, nullptr), c.record) << "in record order, no index file";
    }
    indexed->Close();
    plain->Close();
}
