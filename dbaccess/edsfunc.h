#pragma once
// The error contract of the database layer: every non-zero engine code becomes
// an EEDSDatabaseError carrying the engine's text. Also what the layer needs to
// know of a dataset, the process-wide dataset list and the layer's error hook.

#include "dbaccess/edsapi.h"
#include "platform/db/DBError.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace rtl { class TComponent; }
class TEdsConnection;

// The dataset side of a table type.
enum TEdsTableTypes { ttEdsCDX, ttEdsNTX, ttEdsEDT, ttEdsDefault };

// What errors and connections use of a dataset. TEdsDataSet implements it; the
// layer never owns a dataset through this interface.
class IEdsDataSet {
public:
    // The component behind the dataset (its Name and Owner).
    virtual rtl::TComponent& DataSetComponent() = 0;

    virtual std::string DatabaseName() const = 0;
    // A connection that named the dataset's DatabaseName was renamed: store the
    // new name and change nothing else (the dataset may be open).
    virtual void ConnectionRenamed(const std::string& NewDatabaseName) = 0;
    virtual TEdsConnection* EdsConnection() const = 0;
    virtual std::string TableName() const = 0;
    virtual TEdsTableTypes TableType() const = 0;
    virtual void SetTableType(TEdsTableTypes Type) = 0;
    // The path an alias lookup gave, kept until DatabaseName changes ("" when none).
    virtual std::string AliasPath() const = 0;
    virtual void SetAliasPath(const std::string& Path) = 0;
    // The dataset's resolved path; normally ::GetConnectPath(*this).
    virtual std::string GetConnectPath() = 0;

    // Called by the dataset's TEdsConnection.
    virtual void Close() = 0;
    virtual void FreeStatement() = 0;
    // The connection is going away: drop the reference without calling it back.
    virtual void ForgetConnection() = 0;
    // Re-reads the table's default index from the data dictionary.
    virtual void GetDictionaryTableProperty() = 0;

protected:
    ~IEdsDataSet() = default;
};

// A list of objects shared between threads; the objects enter and leave it
// themselves (constructor and destructor).
template <class T>
class TEdsThreadList {
public:
    void Add(T* item) {
        std::lock_guard lock(mutex_);
        items_.push_back(item);
    }
    void Remove(T* item) {
        std::lock_guard lock(mutex_);
        items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
    }
    // Calls `visit` for every item while holding the list's lock: `visit` must
    // not add or remove items.
    template <class F>
    void ForEach(F&& visit) {
        std::lock_guard lock(mutex_);
        for (T* item : items_) visit(*item);
    }
    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return items_.size();
    }

private:
    std::mutex mutex_;
    std::vector<T*> items_;
};

// Every dataset of the process; each enters it when made and leaves when destroyed.
TEdsThreadList<IEdsDataSet>& EdsDataSetList();

// Errors that cannot be raised (destructors, shut-down) go to this hook. The
// application sets it to show a message; by default the text goes to standard
// error. An empty hook restores the default.
using TEdsErrorHook = std::function<void(const std::string& Text)>;
void SetEdsErrorHook(TEdsErrorHook Hook);
void EdsReportError(const std::string& Text) noexcept;
// Reports the exception being handled; call only inside a catch block.
void EdsReportCurrentException() noexcept;

// Whether a component is at design time; one made by a designing owner is too.
bool EdsIsDesigning(const rtl::TComponent& Component);

// The exception of dataset operations.
class EEDSDatabaseError : public db::EDatabaseError {
public:
    // DataSet may be null. The message is the dataset's name, ": " and Text.
    EEDSDatabaseError(IEdsDataSet* DataSet, std::int32_t ErrorCode, const std::string& Text);

    std::int32_t ErrorCode() const { return fields_.ErrorCode; }
    // The SQL server's own error number when the text reports one, else 0.
    std::int32_t NativeError() const { return fields_.NativeError; }
    const std::string& DataSetName() const { return fields_.DataSetName; }
    const std::string& OwnerName() const { return fields_.OwnerName; }
    const std::string& DatabaseName() const { return fields_.DatabaseName; }
    const std::string& ConnectPath() const { return fields_.ConnectPath; }
    const std::string& TableName() const { return fields_.TableName; }
    const std::string& ColumnName() const { return fields_.ColumnName; }

private:
    struct Fields {
        std::int32_t ErrorCode = 0;
        std::int32_t NativeError = 0;
        std::string DataSetName;
        std::string OwnerName;
        std::string DatabaseName;
        std::string ConnectPath;
        std::string TableName;
        std::string ColumnName;
        std::string Message;
    };
    explicit EEDSDatabaseError(Fields fields);
    static Fields Build(IEdsDataSet* DataSet, std::int32_t ErrorCode, const std::string& Text);

    Fields fields_;
};

// The check after an engine call: a non-zero code raises EEDSDatabaseError with
// the engine's last error. DataSet may be null.
void CheckEdsError(IEdsDataSet* DataSet, UNSIGNED32 Code);
// The same, letting code 5068 (no current record) pass.
void CheckEdsResultExcept5068(IEdsDataSet* DataSet, UNSIGNED32 Code);

// The refusals the layer makes itself carry this code.
inline constexpr std::int32_t EdsClientErrorCode = 5121;

// This thread's last engine error: true when the engine answered, with Code
// (0 when no error was recorded) and Text (may be empty).
bool ReadEdsLastError(UNSIGNED32& Code, std::string& Text);
// The engine's fixed text of a code: true when the engine answered.
bool ReadEdsErrorString(UNSIGNED32 Code, std::string& Text);
