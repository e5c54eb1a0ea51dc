// Tables as a programmer creates them: any field name keeps its values, and a
// definition creation accepts is one the layer opens, while one it refuses names
// the field and leaves nothing behind.

#include "tests/dbaccess/EdsTableTestSupport.h"

#include "dbaccess/edsquery.h"

#include <filesystem>
#include <random>

using namespace edstabletest;

namespace {

struct TRow {
    std::string Key;
    std::string Name;
    friend bool operator==(const TRow&, const TRow&) = default;
    friend void PrintTo(const TRow& Row, std::ostream* Out) { *Out << "(" << Row.Key << ", " << Row.Name << ")"; }
};

std::vector<TRow> Rows(TEdsDataSet& Table, const std::string& Key) {
    std::vector<TRow> rows;
    for (Table.First(); !Table.Eof(); Table.Next())
        rows.push_back({Table.FieldByName(Key)->AsString(), Table.FieldByName("Name")->AsString()});
    return rows;
}

std::vector<std::string> FilesIn(const std::string& Folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder)) names.push_back(entry.path().filename());
    return names;
}

}  // namespace

// SQLite's names for the record number, as ordinary fields: each keeps what is
// written to it through appends, edits and deletes, after the table is reopened,
// and in what SQL selects.
TEST(EdsTableCreate, FieldsNamedLikeTheRecordNumberKeepTheirValues) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    const std::pair<std::string, std::string> tables[] = {
        {"rowid", "rowid,Char,10"}, {"ROWID", "ROWID,Integer"}, {"RowId", "RowId,Char,10"}, {"oid", "oid,Integer"},
        {"_rowid_", "_rowid_,Char,10"}, {"rowid", "rowid,Integer; OID,Char,10; _rowid_,Char,10; ID,AutoInc"}};
    int made = 0;
    for (const auto& [key, fields] : tables) {
        SCOPED_TRACE(fields);
        const std::string name = "T" + std::to_string(++made);
        const std::vector<TRow> expected = {{"7", "B"}, {"7", "c"}};
        {
            auto table = CreateAppTable(folder, name, "Name,Char,10; " + fields);
            table->Open();
            for (const auto& [value, text] : {std::pair{"100", "a"}, {"50", "b"}, {"7", "c"}}) {
                table->Append();
                table->FieldByName(key)->SetAsString(value);
                table->FieldByName("Name")->SetAsString(text);
                table->Post();
            }
            table->First();
            table->Next();
            table->Edit();
            table->FieldByName(key)->SetAsString("7");
            table->FieldByName("Name")->SetAsString("B");
            table->Post();
            table->First();
            table->Delete();
            EXPECT_EQ(Rows(*table, key), expected);
        }
        EXPECT_EQ(Rows(*OpenTable(folder, name), key), expected);
        TEdsQuery query;
        query.SetDatabaseName(folder);
        query.SetSQLText("SELECT * FROM " + name + " ORDER BY Name");
        query.Open();
        EXPECT_EQ(Rows(query, key), expected);
    }
}

namespace {

struct TDef {
    std::string Name, Type;
    int Length = 0;    // for the types that take one
    int Decimals = -1;  // none given
};

bool Sized(const TDef& Def) { return Def.Type == "Char" || Def.Type == "CIChar" || Def.Type == "Raw"; }

// Creates a table of `Defs`: one that is made opens through the layer with the
// same fields and takes a record; one that is refused names one of its fields and
// leaves the folder as it was. Answers whether the table was made.
bool CreatedAndOpened(const std::string& Folder, const std::string& Table, const std::vector<TDef>& Defs) {
    std::string spec;
    for (const TDef& d : Defs) {
        spec += d.Name + "," + d.Type;
        if (d.Length > 0) spec += "," + std::to_string(d.Length);
        if (d.Decimals >= 0) spec += "," + std::to_string(d.Decimals);
        spec += ";";
    }
    SCOPED_TRACE(spec.substr(0, 2000));
    const auto before = FilesIn(Folder);
    const TRaised raised = Raises([&] { CreateAppTable(Folder, Table, spec); });
    if (raised.Raised) {
        EXPECT_TRUE(std::any_of(Defs.begin(), Defs.end(),
                                [&](const TDef& d) { return raised.Message.find(d.Name) != std::string::npos; }))
            << raised.Message;
        EXPECT_EQ(FilesIn(Folder), before);
        return false;
    }
    try {
        auto opened = OpenTable(Folder, Table);
        EXPECT_EQ(opened->FieldDefs().Count(), static_cast<int>(Defs.size()));
        for (std::size_t i = 0; i < Defs.size() && i < static_cast<std::size_t>(opened->FieldDefs().Count()); ++i) {
            const db::TFieldDef* def = opened->FieldDefs()[static_cast<int>(i)];
            EXPECT_EQ(def->Name(), Defs[i].Name);
            if (Sized(Defs[i])) {
                EXPECT_EQ(def->Size(), Defs[i].Length);
            }
        }
        // A second record holds a value in every text field, the first none:
        // Locate and Lookup find each by every field's name, alone and two at a
        // time, by value and by blank, and a query's fields keep the table's names.
        opened->Append();
        opened->Post();
        opened->Append();
        std::vector<std::string> searched;
        for (const TDef& d : Defs) {
            if (d.Type == "Char" || d.Type == "CIChar")
                opened->FieldByName(d.Name)->SetAsString("v'" + d.Name.substr(0, 1) + "\"");
            if (d.Type != "Memo" && d.Type != "VarChar" && d.Type != "Binary" && d.Type != "Image" && d.Type != "Raw")
                searched.push_back(d.Name);
        }
        opened->Post();
        opened->Close();
        opened->Open();
        EXPECT_EQ(opened->RecordCount(), 2);
        opened->Last();
        for (std::size_t i = 0; i < searched.size(); ++i) {
            std::string names = searched[i];
            std::vector<db::Variant> values{opened->FieldByName(searched[i])->Value()};
            if (i + 1 < searched.size()) {
                names += ";" + searched[i + 1];
                values.push_back(opened->FieldByName(searched[i + 1])->Value());
            }
            const db::Variant keys = values.size() == 1 ? values[0] : db::VarArrayOf(values);
            SCOPED_TRACE(names);
            EXPECT_TRUE(opened->Locate(searched[i], values[0], {}));
            EXPECT_TRUE(opened->Locate(names, keys, {db::loCaseInsensitive}));
            EXPECT_EQ(opened->Lookup(names, keys, searched[i]).IsNull(), values[0].IsNull());
        }
        TEdsQuery query;
        query.SetDatabaseName(Folder);
        query.SetSQLText("SELECT * FROM " + Table);
        query.Open();
        for (const TDef& d : Defs) EXPECT_NE(query.FindField(d.Name), nullptr) << d.Name;
    } catch (const std::exception& error) {
        ADD_FAILURE() << "made, but the layer cannot use it: " << error.what();
    }
    return true;
}

}  // namespace

// Field definitions at the edges of what the layer opens, then random ones.
TEST(EdsTableCreate, EveryTableCreationAcceptsOpensAndEveryRefusalLeavesNothing) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    auto many = [](int Count) {
        std::vector<TDef> defs;
        for (int i = 0; i < Count; ++i) defs.push_back({"F" + std::to_string(i), "Integer"});
        return defs;
    };
    auto named = [](const std::string& Piece, std::size_t Times) {
        std::string name;
        for (std::size_t i = 0; i < Times; ++i) name += Piece;
        return std::vector<TDef>{{"ID", "AutoInc"}, {name, "Integer"}};
    };
    EXPECT_TRUE(CreatedAndOpened(folder, "Chars8192", {{"Text", "Char", 8192}, {"Case", "CIChar", 8192}}));
    EXPECT_FALSE(CreatedAndOpened(folder, "Chars8193", {{"Text", "Char", 8193}}));
    EXPECT_FALSE(CreatedAndOpened(folder, "CaseChars65530", {{"Text", "Char", 10}, {"Case", "CIChar", 65530}}));
    EXPECT_TRUE(CreatedAndOpened(folder, "Raw65530", {{"Bytes", "Raw", 65530}}));
    EXPECT_TRUE(CreatedAndOpened(folder, "Name128", named("n", 128)));
    EXPECT_FALSE(CreatedAndOpened(folder, "Name129", named("n", 129)));
    EXPECT_TRUE(CreatedAndOpened(folder, "Accented128", named("\xc3\xa9", 64)));
    EXPECT_FALSE(CreatedAndOpened(folder, "Accented130", named("\xc3\xa9", 65)));
    EXPECT_TRUE(CreatedAndOpened(folder, "Fields1999", many(1999)));
    EXPECT_FALSE(CreatedAndOpened(folder, "Fields2000", many(2000)));
    // Names the storage gives the record number, and the column in which a
    // case-insensitive index keeps a field's folded text (the index would
    // otherwise order by the field of that name).
    EXPECT_FALSE(CreatedAndOpened(folder, "NoRecno", {{"rowid", "Char", 5}, {"OID", "Integer"}, {"_rowid_", "Char", 5}}));
    EXPECT_FALSE(CreatedAndOpened(folder, "Folded", {{"Name", "Char", 10}, {"NAME$FOLD", "Char", 10}}));

    std::mt19937 random(20261208);
    auto pick = [&](const auto& Choices) { return Choices[random() % std::size(Choices)]; };
    const std::vector<std::string> types = {"Logical", "Numeric", "Date", "Char", "CIChar", "Memo", "Binary",
                                            "Image", "VarChar", "ShortDate", "Double", "Integer", "ShortInt",
                                            "Time", "TimeStamp", "AutoInc", "Raw", "CurDouble", "Money"};
    const std::vector<int> lengths = {1, 2, 20, 255, 8191, 8192, 8193, 20000, 65530};
    const std::vector<std::string> pieces = {"a", "Z", "_", "7", "\xc3\xa9", "$", " ", "'", "-", ".", "+", "[", "]", "\""};
    const std::vector<std::string> reserved = {"rowid", "OID", "_rowid_", "F0$fold"};
    auto fieldName = [&](int Number) {
        if (random() % 6 == 0) return pick(reserved);
        const std::size_t length = random() % 2 ? 1 + random() % 8 : 120 + random() % 14;
        std::string name = "F" + std::to_string(Number);
        while (name.size() < length) name += pick(pieces);
        while (name.back() == ' ') name.pop_back();
        return name;
    };
    int accepted = 0;
    int refused = 0;
    for (int round = 0; round < 200; ++round) {
        std::vector<TDef> defs(1 + random() % 4);
        for (std::size_t i = 0; i < defs.size(); ++i) {
            TDef& d = defs[i];
            d.Name = fieldName(static_cast<int>(i));
            d.Type = pick(types);
            if (Sized(d)) d.Length = pick(lengths);
            if (d.Type == "Numeric") {
                d.Length = 1 + static_cast<int>(random() % 32);
                if (d.Length > 2) d.Decimals = static_cast<int>(random() % static_cast<unsigned>(d.Length - 1));
            }
        }
        ++(CreatedAndOpened(folder, "R" + std::to_string(round), defs) ? accepted : refused);
    }
    // Both sides were tried often enough to mean something.
    EXPECT_GT(accepted, 50);
    EXPECT_GT(refused, 50);
}
