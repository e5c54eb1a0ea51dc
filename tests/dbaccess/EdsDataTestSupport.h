#pragma once
// A dataset over a real engine table for the dataset tests, and tables to
// give it.

#include "dbaccess/edscnnct.h"
#include "dbaccess/edsdata.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace edsdatatest {

inline std::string EngineText() {
    UNSIGNED32 code = 0;
    UNSIGNED8 text[600] = {};
    UNSIGNED16 length = sizeof text;
    EdsApi.EdsGetLastError(&code, text, &length);
    return std::to_string(code) + " " + reinterpret_cast<const char*>(text);
}

#define EDS_ASSERT_OK(call) ASSERT_EQ((call), 0u) << edsdatatest::EngineText()

// The table of a folder, opened through the folder's implicit connection.
class TTestTable : public TEdsExtendedDataSet {
public:
    explicit TTestTable(const std::string& Folder = std::string(), const std::string& Table = std::string(),
                        rtl::TComponent* Owner = nullptr)
        : TEdsExtendedDataSet(Owner) {
        if (!Folder.empty()) SetDatabaseName(Folder);
        if (!Table.empty()) SetTableName(Table);
    }

    int OpenCursorCalls = 0;
    // Opens the cursor once more while it is open (must be refused).
    void OpenAgain() { InternalOpen(); }
    bool IsTable() const override { return true; }

protected:
    EDSHANDLE OpenCursorHandle() override {
        ++OpenCursorCalls;
        const EDSHANDLE connection = DynamicConnList().Connect(GetConnectPath());
        EDSHANDLE table = 0;
        const UNSIGNED32 options = (Exclusive() ? EDS_EXCLUSIVE : 0) | (ReadOnly() ? EDS_READONLY : 0);
        Check(EdsApi.EdsOpenTable(connection, EdsText(TableName()), nullptr, EngineTableType(), EDS_ANSI,
                                  EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, options, &table));
        return table;
    }
    UNSIGNED32 GetLastAutoInc() override {
        UNSIGNED32 value = 0;
        Check(EdsApi.EdsGetLastAutoinc(Handle(), &value));
        return value;
    }
};

// A table handle of the engine itself, for writing behind the dataset's back.
class TEngineTable {
public:
    TEngineTable(const std::string& Folder, const std::string& Name) {
        const EDSHANDLE connection = DynamicConnList().Connect(Folder);
        EXPECT_EQ(EdsApi.EdsOpenTable(connection, EdsText(Name), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                                      EDS_CHECK_RIGHTS, 0, &handle_),
                  0u)
            << EngineText();
    }
    ~TEngineTable() {
        if (handle_ != 0) EdsApi.EdsCloseTable(handle_);
    }
    TEngineTable(const TEngineTable&) = delete;
    TEngineTable& operator=(const TEngineTable&) = delete;
    EDSHANDLE Handle() const { return handle_; }

private:
    EDSHANDLE handle_ = 0;
};

struct TIndexSpec {
    std::string Tag;
    std::string Expression;
    UNSIGNED32 Options = 0;
};

inline void CreateTable(const std::string& Folder, const std::string& Name, const std::string& Fields,
                        const std::vector<TIndexSpec>& Indexes = {}) {
    const EDSHANDLE connection = DynamicConnList().Connect(Folder);
    EDSHANDLE table = 0;
    ASSERT_EQ(EdsApi.EdsCreateTable(connection, EdsText(Name), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                                    EDS_CHECK_RIGHTS, 0, EdsText(Fields), &table),
              0u)
        << EngineText();
    for (const TIndexSpec& index : Indexes) {
        EDSHANDLE handle = 0;
        EXPECT_EQ(EdsApi.EdsCreateIndex61(table, EdsText(""), EdsText(index.Tag), EdsText(index.Expression),
                                          EdsText(""), EdsText(""), index.Options, 0, &handle),
                  0u)
            << EngineText();
    }
    EdsApi.EdsCloseTable(table);
}

// Appends rows through the engine in one transaction: `fill` sets the values
// of row i (from 0) on the table handle.
inline void AppendRows(const std::string& Folder, const std::string& Name, int Count,
                       const std::function<void(EDSHANDLE table, int row)>& Fill) {
    const EDSHANDLE connection = DynamicConnList().Connect(Folder);
    TEngineTable table(Folder, Name);
    ASSERT_EQ(EdsApi.EdsBeginTransaction(connection), 0u) << EngineText();
    for (int row = 0; row < Count; ++row) {
        ASSERT_EQ(EdsApi.EdsAppendRecord(table.Handle()), 0u) << EngineText();
        Fill(table.Handle(), row);
        ASSERT_EQ(EdsApi.EdsWriteRecord(table.Handle()), 0u) << EngineText();
    }
    ASSERT_EQ(EdsApi.EdsCommitTransaction(connection), 0u) << EngineText();
}

inline UNSIGNED32 SetInteger(EDSHANDLE table, EdsFieldId field, std::int32_t value) {
    UNSIGNED8 raw[4];
    std::memcpy(raw, &value, 4);
    return EdsApi.EdsSetFieldRaw(table, field, raw, 4);
}

inline UNSIGNED32 SetText(EDSHANDLE table, EdsFieldId field, const std::string& value) {
    return EdsApi.EdsSetField(table, field, EdsText(value), static_cast<UNSIGNED32>(value.size()));
}

}  // namespace edsdatatest
