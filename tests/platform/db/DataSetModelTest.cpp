// Random edits, navigation and filter changes against a plain sorted vector:
// after every step the dataset must show exactly the model's visible records,
// in order both ways, and stand on the record the model predicts.

#include "TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>

using namespace dbtest;

namespace {

struct Model {
    std::map<int, std::string> rows;  // key -> name, in key order
    int filterKind = 0;               // 0 none, 1 key % 3 != 0, 2 name starts with a vowel
    std::optional<int> current;

    bool Visible(int key, const std::string& name) const {
        switch (filterKind) {
            case 1: return key % 3 != 0;
            case 2: return !name.empty() && std::string("aeiou").find(name[0]) != std::string::npos;
            default: return true;
        }
    }
    std::vector<int> VisibleKeys() const {
        std::vector<int> keys;
        for (const auto& [k, n] : rows)
            if (Visible(k, n)) keys.push_back(k);
        return keys;
    }
    // Where the cursor lands after writing or removing key k: on k when
    // visible, else on the next visible record, else on the last one.
    void LandNear(int k) {
        const auto keys = VisibleKeys();
        if (std::find(keys.begin(), keys.end(), k) != keys.end()) {
            current = k;
            return;
        }
        auto after = std::upper_bound(keys.begin(), keys.end(), k);
        if (after != keys.end()) current = *after;
        else if (!keys.empty()) current = keys.back();
        else current.reset();
    }
    void First() {
        const auto keys = VisibleKeys();
        current = keys.empty() ? std::nullopt : std::optional<int>(keys.front());
    }
    void Last() {
        const auto keys = VisibleKeys();
        current = keys.empty() ? std::nullopt : std::optional<int>(keys.back());
    }
    void MoveBy(int distance) {
        const auto keys = VisibleKeys();
        if (!current) return;
        auto it = std::find(keys.begin(), keys.end(), *current);
        const long index = std::clamp<long>((it - keys.begin()) + distance, 0, static_cast<long>(keys.size()) - 1);
        current = keys[static_cast<size_t>(index)];
    }
};

std::string RandomName(std::mt19937& rng) {
    static const char* const kNames[] = {"anna", "bert", "eve", "olaf", "uwe", "carl", "dora", "ida", "zed"};
    return kNames[rng() % 9];
}

void CheckAgainstModel(TMemDataSet& ds, Model& model, const std::string& step) {
    SCOPED_TRACE(step);
    const auto keys = model.VisibleKeys();
    ASSERT_EQ(ds.RecordCount(), static_cast<int>(keys.size()));
    if (!model.current) {
        ASSERT_TRUE(ds.IsEmpty());
        return;
    }
    ASSERT_FALSE(ds.IsEmpty());
    ASSERT_EQ(ds.FieldByName("ID")->AsInteger(), *model.current);
    ASSERT_EQ(ds.FieldByName("NAME")->AsString(), model.rows.at(*model.current));
    const auto pos = std::find(keys.begin(), keys.end(), *model.current) - keys.begin();
    ASSERT_EQ(ds.RecNo(), pos + 1);
}

void CheckSequences(TMemDataSet& ds, Model& model) {
    const TBookmark here = ds.GetBookmark();
    const auto keys = model.VisibleKeys();
    ASSERT_EQ(IdsForward(ds), keys);
    auto backwards = keys;
    std::reverse(backwards.begin(), backwards.end());
    ASSERT_EQ(IdsBackward(ds), backwards);
    if (!here.empty()) ds.GotoBookmark(here);
}

void RunModel(unsigned seed, int ring, int steps) {
    std::mt19937 rng(seed);
    auto ds = MakePeople({}, ring);
    ds->SetOnFilterRecord([&ds](TDataSet& d, bool& accept) {
        (void)ds;
        const int kind = d.Tag();
        const int key = d.FieldByName("ID")->AsInteger();
        const std::string name = d.FieldByName("NAME")->AsString();
        if (kind == 1) accept = key % 3 != 0;
        else if (kind == 2) accept = !name.empty() && std::string("aeiou").find(name[0]) != std::string::npos;
    });
    Model model;
    for (int step = 0; step < steps; ++step) {
        const int op = static_cast<int>(rng() % 100);
        std::string what;
        if (op < 30) {  // add a record with a fresh key
            int key;
            do {
                key = static_cast<int>(rng() % 200);
            } while (model.rows.count(key));
            const std::string name = RandomName(rng);
            const bool insert = rng() % 2;
            what = (insert ? "insert " : "append ") + std::to_string(key);
            if (insert) ds->Insert();
            else ds->Append();
            ds->FieldByName("ID")->SetAsInteger(key);
            ds->FieldByName("NAME")->SetAsString(name);
            if (rng() % 10 == 0) {
                what += " cancelled";
                ds->Cancel();
                if (!insert) model.Last();
            } else {
                ds->Post();
                model.rows[key] = name;
                model.LandNear(key);
            }
        } else if (op < 45 && model.current) {  // rename, or move to another key
            const int old = *model.current;
            ds->Edit();
            if (rng() % 3 == 0) {
                int key;
                do {
                    key = static_cast<int>(rng() % 200);
                } while (model.rows.count(key));
                what = "rekey " + std::to_string(old) + " to " + std::to_string(key);
                ds->FieldByName("ID")->SetAsInteger(key);
                ds->Post();
                model.rows[key] = model.rows[old];
                model.rows.erase(old);
                model.LandNear(key);
            } else {
                const std::string name = RandomName(rng);
                what = "rename " + std::to_string(old) + " to " + name;
                ds->FieldByName("NAME")->SetAsString(name);
                ds->Post();
                model.rows[old] = name;
                model.LandNear(old);
            }
        } else if (op < 57 && model.current) {  // delete
            const int old = *model.current;
            what = "delete " + std::to_string(old);
            ds->Delete();
            model.rows.erase(old);
            model.LandNear(old);
        } else if (op < 62) {
            model.filterKind = static_cast<int>(rng() % 3);
            what = "filter " + std::to_string(model.filterKind);
            ds->SetTag(model.filterKind);
            ds->SetFiltered(model.filterKind != 0);
            if (model.filterKind == 0) ds->First();  // Filtered false -> false does not move
            model.First();
        } else if (op < 64) {  // a control asking for another ring size
            const int size = 1 + static_cast<int>(rng() % 7);
            what = "ring " + std::to_string(size);
            ds->SetBufferCountForTest(size);
        } else if (op < 67) {
            what = "first";
            ds->First();
            model.First();
        } else if (op < 72) {
            what = "last";
            ds->Last();
            model.Last();
        } else {
            const int distance = static_cast<int>(rng() % 9) - 4;
            what = "moveby " + std::to_string(distance);
            ds->MoveBy(distance);
            model.MoveBy(distance);
        }
        CheckAgainstModel(*ds, model, "step " + std::to_string(step) + ": " + what);
        if (::testing::Test::HasFatalFailure()) return;
        if (step % 7 == 0) {
            CheckSequences(*ds, model);
            if (::testing::Test::HasFatalFailure()) return;
            CheckAgainstModel(*ds, model, "after sequences at step " + std::to_string(step));
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

}  // namespace

TEST(DataSetModel, RingOfOne) {
    for (unsigned seed : {1u, 2u, 3u}) RunModel(seed, 1, 400);
}

TEST(DataSetModel, RingOfTwo) {
    for (unsigned seed : {11u, 12u, 13u}) RunModel(seed, 2, 400);
}

TEST(DataSetModel, RingOfFive) {
    for (unsigned seed : {21u, 22u, 23u}) RunModel(seed, 5, 400);
}

TEST(DataSetModel, RingOfEleven) {
    for (unsigned seed : {31u, 32u, 33u}) RunModel(seed, 11, 400);
}
