#pragma once
// Shared set-up for the dataset tests.

#include "MemDataSet.h"

#include <memory>
#include <string>
#include <vector>

namespace dbtest {

// ID (integer key), NAME (string 20), AMOUNT (float).
inline std::unique_ptr<TMemDataSet> MakePeople(const std::vector<std::pair<int, std::string>>& rows,
                                               int bufferCount = 1) {
    auto ds = std::make_unique<TMemDataSet>();
    ds->SetName("People");
    ds->AddColumn("ID", ftInteger);
    ds->AddColumn("NAME", ftString, 20);
    ds->AddColumn("AMOUNT", ftFloat);
    ds->Open();
    if (bufferCount > 1) ds->SetBufferCountForTest(bufferCount);
    for (const auto& [id, name] : rows) ds->AppendRecord({id, name, Variant(id * 1.5)});
    ds->First();
    return ds;
}

// IDs in visiting order, First to Eof.
inline std::vector<int> IdsForward(TDataSet& ds) {
    std::vector<int> ids;
    ds.First();
    while (!ds.Eof()) {
        ids.push_back(ds.FieldByName("ID")->AsInteger());
        ds.Next();
    }
    return ids;
}

inline std::vector<int> IdsBackward(TDataSet& ds) {
    std::vector<int> ids;
    ds.Last();
    while (!ds.Bof()) {
        ids.push_back(ds.FieldByName("ID")->AsInteger());
        ds.Prior();
    }
    return ids;
}

}  // namespace dbtest
