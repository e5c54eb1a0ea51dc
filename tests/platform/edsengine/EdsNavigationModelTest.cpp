// Navigation, seeks, scopes, bookmarks, deletes and counts against a sorted
// in-memory model, driven by random operations from fixed seeds.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

struct ModelRow {
    std::string k;                 // "" is null
    std::optional<std::int32_t> n;
};

// The orders under test: 0 natural, 1 "K;N", 2 "N" descending, 3 UPPER(K).
constexpr int kOrders = 4;

struct SortKey {
    std::string text;
    std::int64_t number = 0;
    friend bool operator<(const SortKey& a, const SortKey& b) {
        return std::tie(a.text, a.number) < std::tie(b.text, b.number);
    }
    friend bool operator==(const SortKey&, const SortKey&) = default;
};

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

SortKey KeyOf(int order, const ModelRow& row) {
    const std::int64_t n = row.n ? *row.n : INT64_MIN;
    switch (order) {
    case 1: return {row.k, n};
    case 2: return {"", n};
    case 3: return {Upper(row.k), 0};
    default: return {};
    }
}

bool Descending(int order) { return order == 2; }

struct Scope {
    std::optional<std::string> top, bottom;  // text prefixes on K (order 1)
    bool Contains(const std::string& k) const {
        if (top && k < *top) return false;
        if (bottom && k > *bottom && k.compare(0, bottom->size(), *bottom) != 0) return false;
        return true;
    }
};

class Model {
public:
    std::map<std::uint32_t, ModelRow> rows;
    std::map<std::uint32_t, ModelRow> gone;  // deleted rows keep their key for the position
    Scope scope;

    // Visible record numbers in an order (the scope applies to order 1 only).
    std::vector<std::uint32_t> Sorted(int order) const {
        std::vector<std::uint32_t> list;
        for (const auto& [recno, row] : rows)
            if (order != 1 || scope.Contains(row.k)) list.push_back(recno);
        std::sort(list.begin(), list.end(), [&](std::uint32_t a, std::uint32_t b) { return Less(order, a, b); });
        return list;
    }
    const ModelRow& Row(std::uint32_t recno) const {
        auto it = rows.find(recno);
        return it != rows.end() ? it->second : gone.at(recno);
    }
    bool Less(int order, std::uint32_t a, std::uint32_t b) const {
        const auto ka = std::make_pair(KeyOf(order, Row(a)), a);
        const auto kb = std::make_pair(KeyOf(order, Row(b)), b);
        return Descending(order) ? kb < ka : ka < kb;
    }
};

enum class Pos { Bof, Eof, Both, Row };

class NavigationModel : public ::testing::TestWithParam<unsigned> {
protected:
    void SetUp() override {
        connection_ = Connect(dir_.str());
        ASSERT_EQ(Create(connection_, "Nav", "K,Char,6; N,Integer; V,Char,4", &table_), EDS_SUCCESS) << LastError();
        EdsCloseTable(table_);
        ASSERT_EQ(Open(connection_, "nav", 0, &table_), EDS_SUCCESS) << LastError();
        EDS_OK(EdsCreateIndex61(table_, U(""), U("KN"), U("K;N"), U(""), U(""), EDS_COMPOUND, 0, &order_[1]));
        EDS_OK(EdsCreateIndex61(table_, U(""), U("NDESC"), U("N"), U(""), U(""), EDS_DESCENDING, 0, &order_[2]));
        EDS_OK(EdsCreateIndex61(table_, U(""), U("UK"), U("UPPER(K)"), U(""), U(""), 0, 0, &order_[3]));
        order_[0] = table_;
    }
    void TearDown() override {
        EdsCloseTable(table_);
        EdsDisconnect(connection_);
    }

    void Expect(const char* what, int step) {
        SCOPED_TRACE(std::string(what) + " at step " + std::to_string(step));
        const bool eof = AtEof(table_), bof = AtBof(table_);
        switch (pos_) {
        case Pos::Bof: EXPECT_TRUE(bof && !eof); break;
        case Pos::Eof: EXPECT_TRUE(eof && !bof); break;
        case Pos::Both: EXPECT_TRUE(eof && bof); break;
        case Pos::Row:
            EXPECT_FALSE(eof || bof);
            EXPECT_EQ(RecNo(table_), recno_);
            if (model_.rows.count(recno_)) {
                EXPECT_EQ(Text(table_, "K"), model_.rows.at(recno_).k);
            }
            break;
        }
    }

    void ModelSkip(int order, int direction) {
        const auto list = model_.Sorted(order);
        if (pos_ == Pos::Row) {
            if (direction > 0) {
                auto it = std::find_if(list.begin(), list.end(), [&](std::uint32_t r) { return model_.Less(order, recno_, r); });
                if (it == list.end()) pos_ = Pos::Eof; else recno_ = *it;
            } else {
                auto it = std::find_if(list.rbegin(), list.rend(), [&](std::uint32_t r) { return model_.Less(order, r, recno_); });
                if (it == list.rend()) pos_ = Pos::Bof; else recno_ = *it;
            }
        } else if ((pos_ == Pos::Bof && direction > 0) || ((pos_ == Pos::Eof || pos_ == Pos::Both) && direction < 0)) {
            if (list.empty()) {
                pos_ = direction > 0 ? Pos::Eof : Pos::Bof;
            } else {
                pos_ = Pos::Row;
                recno_ = direction > 0 ? list.front() : list.back();
            }
        } else if (pos_ == Pos::Both) {
            pos_ = Pos::Eof;
        }
    }

    void ModelEnd(int order, bool top) {
        const auto list = model_.Sorted(order);
        if (list.empty()) {
            pos_ = Pos::Both;
            return;
        }
        pos_ = Pos::Row;
        recno_ = top ? list.front() : list.back();
    }

    testsupport::TempDir dir_;
    EDSHANDLE connection_ = 0, table_ = 0;
    EDSHANDLE order_[kOrders] = {};
    Model model_;
    Pos pos_ = Pos::Bof;
    std::uint32_t recno_ = 0;
};

TEST_P(NavigationModel, EngineMatchesTheModel) {
    std::mt19937 rng(GetParam());
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<std::string> keys = {"", "a", "ab", "abc", "b", "B", "ba", "c", "Ca", "d"};
    std::optional<std::uint32_t> bookmark;
    EDS_OK(EdsGotoBOF(table_));
    for (int step = 0; step < 400; ++step) {
        const int op = pick(12);
        const int order = pick(kOrders);
        const EDSHANDLE h = order_[order];
        if (std::getenv("EDS_MODEL_TRACE"))
            std::fprintf(stderr, "step %d op %d order %d pos %d recno %u\n", step, op, order, static_cast<int>(pos_), recno_);
        switch (op) {
        case 0:
        case 1: {  // append
            ModelRow row{keys[static_cast<std::size_t>(pick(static_cast<int>(keys.size())))], std::nullopt};
            EDS_OK(EdsAppendRecord(table_));
            const std::uint32_t recno = RecNo(table_);
            EDS_OK(SetText(table_, "K", row.k));
            if (pick(5) != 0) {
                row.n = pick(7) - 3;
                EDS_OK(SetInt(table_, "N", *row.n));
            }
            EDS_OK(EdsWriteRecord(table_));
            model_.rows[recno] = row;
            pos_ = Pos::Row;
            recno_ = recno;
            Expect("append", step);
            break;
        }
        case 2: {  // delete the current record; the position stays
            if (pos_ != Pos::Row || !model_.rows.count(recno_)) break;
            EDS_OK(EdsDeleteRecord(table_));
            EDS_OK(EdsWriteRecord(table_));
            model_.gone[recno_] = model_.rows.at(recno_);
            model_.rows.erase(recno_);
            UNSIGNED16 deleted = 0;
            EDS_OK(EdsIsRecordDeleted(table_, &deleted));
            EXPECT_EQ(deleted, 1);
            break;
        }
        case 3:
        case 4: {  // skip
            const int direction = op == 3 ? 1 : -1;
            const int count = 1 + pick(3);
            EDS_OK(EdsSkip(h, direction * count));
            for (int i = 0; i < count; ++i) ModelSkip(order, direction);
            Expect("skip", step);
            break;
        }
        case 5: {  // top or bottom
            const bool top = pick(2) == 0;
            EDS_OK(top ? EdsGotoTop(h) : EdsGotoBottom(h));
            ModelEnd(order, top);
            Expect(top ? "top" : "bottom", step);
            break;
        }
        case 6: {  // seek a prefix on "K;N"
            const std::string key = keys[static_cast<std::size_t>(1 + pick(static_cast<int>(keys.size()) - 1))].substr(0, 1);
            const bool soft = pick(2) == 0;
            UNSIGNED16 found = 0;
            EDS_OK(EdsSeek(order_[1], U(key), static_cast<UNSIGNED16>(key.size()), EDS_STRINGKEY,
                           soft ? EDS_SOFTSEEK : EDS_HARDSEEK, &found));
            const auto list = model_.Sorted(1);
            auto match = std::find_if(list.begin(), list.end(),
                                      [&](std::uint32_t r) { return model_.Row(r).k.compare(0, key.size(), key) == 0; });
            auto next = std::find_if(list.begin(), list.end(), [&](std::uint32_t r) { return model_.Row(r).k >= key; });
            EXPECT_EQ(found != 0, match != list.end()) << "seek " << key << " at step " << step;
            if (match != list.end()) {
                pos_ = Pos::Row;
                recno_ = *match;
            } else if (soft && next != list.end()) {
                pos_ = Pos::Row;
                recno_ = *next;
            } else {
                pos_ = Pos::Eof;
            }
            Expect("seek", step);
            break;
        }
        case 7: {  // set or clear a scope on "K;N"
            const int what = pick(4);
            const std::string key = keys[static_cast<std::size_t>(1 + pick(static_cast<int>(keys.size()) - 1))];
            const UNSIGNED16 which = what % 2 == 0 ? EDS_TOP : EDS_BOTTOM;
            std::optional<std::string>& side = which == EDS_TOP ? model_.scope.top : model_.scope.bottom;
            if (what < 2) {
                EDS_OK(EdsSetScope(order_[1], which, U(key), static_cast<UNSIGNED16>(key.size()), EDS_STRINGKEY));
                side = key;
            } else {
                const UNSIGNED32 rc = EdsClearScope(order_[1], which);
                EXPECT_EQ(rc, side ? EDS_SUCCESS : EDS_E_NO_SCOPE);
                side.reset();
            }
            break;
        }
        case 8: {  // bookmarks
            if (pick(2) == 0 && pos_ == Pos::Row && model_.rows.count(recno_)) {
                EDSHANDLE b = 0;
                EDS_OK(EdsGetBookmark(table_, &b));
                EXPECT_EQ(b, recno_);
                bookmark = recno_;
            } else if (bookmark) {
                const UNSIGNED32 rc = EdsGotoBookmark(table_, *bookmark);
                if (model_.rows.count(*bookmark)) {
                    EXPECT_EQ(rc, EDS_SUCCESS);
                    pos_ = Pos::Row;
                    recno_ = *bookmark;
                } else {
                    EXPECT_EQ(rc, EDS_E_RECORD_NOT_FOUND);  // never another record
                    pos_ = Pos::Eof;
                }
                Expect("bookmark", step);
            }
            break;
        }
        case 9: {  // counts and key numbers
            UNSIGNED32 all = 0, scoped = 0;
            EDS_OK(EdsGetRecordCount(order_[1], EDS_IGNOREFILTERS, &all));
            EDS_OK(EdsGetRecordCount(order_[1], EDS_RESPECTSCOPES, &scoped));
            EXPECT_EQ(all, model_.rows.size());
            EXPECT_EQ(scoped, model_.Sorted(1).size());
            if (pos_ == Pos::Row && model_.rows.count(recno_)) {
                const auto list = model_.Sorted(order);
                auto it = std::find(list.begin(), list.end(), recno_);
                if (it != list.end()) {
                    UNSIGNED32 keyNum = 0;
                    EDS_OK(EdsGetKeyNum(h, EDS_RESPECTFILTERS, &keyNum));
                    EXPECT_EQ(keyNum, static_cast<UNSIGNED32>(it - list.begin() + 1)) << "step " << step;
                }
                UNSIGNED16 visible = 0;
                EDS_OK(EdsIsRecordVisible(order_[1], &visible));
                EXPECT_EQ(visible != 0, model_.scope.Contains(model_.rows.at(recno_).k));
            }
            break;
        }
        case 10: {  // edit the key of the current record
            if (pos_ != Pos::Row || !model_.rows.count(recno_)) break;
            const std::string k = keys[static_cast<std::size_t>(pick(static_cast<int>(keys.size())))];
            EDS_OK(SetText(table_, "K", k));
            EDS_OK(EdsWriteRecord(table_));
            model_.rows[recno_].k = k;
            Expect("edit", step);
            break;
        }
        default: {  // go to a record by number
            if (model_.rows.empty()) break;
            auto it = model_.rows.begin();
            std::advance(it, pick(static_cast<int>(model_.rows.size())));
            EDS_OK(EdsGotoRecord(table_, it->first));
            pos_ = Pos::Row;
            recno_ = it->first;
            Expect("goto", step);
            break;
        }
        }
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, NavigationModel, ::testing::Values(1u, 2u, 3u, 17u, 4242u));

}  // namespace
