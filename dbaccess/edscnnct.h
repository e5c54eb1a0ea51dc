#pragma once
// Connections to the engine: the TEdsConnection component, the alias file
// "eds.ini", the rule that turns a dataset's DatabaseName into a path, and the
// process-wide list of implicit connections (one per folder).

#include "dbaccess/edsapi.h"
#include "dbaccess/edsfunc.h"
#include "dbaccess/edsset.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/Components.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace db { class TParams; }

class EdsConnectionError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

using TNotifyEvent = std::function<void(rtl::TComponent* Sender)>;
using TEdsDatabaseLoginEvent =
    std::function<void(rtl::TComponent* Sender, std::string& UserName, std::string& Password)>;

// The platform's database login dialog, when the application provides one:
// shown with the component's name, it edits user name and password and answers
// false when cancelled.
using TEdsLoginDialog = std::function<bool(const std::string& Name, std::string& UserName, std::string& Password)>;
void SetEdsLoginDialog(TEdsLoginDialog Dialog);

enum TEdsCompressionTypes {
    ccEdsCompressionNotSet,
    ccEdsCompressInternet,
    ccEdsCompressAlways,
    ccEdsCompressNever,
};

// One alias of the alias file.
struct TEdsIniAlias {
    std::string Path;
    int AliasType = 0;                     // 0 none, 1 CDX, 2 NTX, 3 EDT
    TEdsTableTypes TableType = ttEdsEDT;   // the dataset side of AliasType
};

// The alias file: "eds.ini" in the program folder, else the plain name.
std::string EdsIniFileName();
// The alias `Alias` of section Databases; nothing when it is absent or its
// path is empty.
std::optional<TEdsIniAlias> LookupEdsIniAlias(const std::string& Alias);
// The dataset table type of an alias type (1 CDX, 2 NTX, 3 EDT; 0 leaves `Current`).
TEdsTableTypes TableTypeOfAliasType(int AliasType, TEdsTableTypes Current);

// The path a dataset's tables are in: its connection's folder, a path written in
// DatabaseName, an alias's path (cached on the dataset) or DatabaseName itself,
// without a trailing delimiter. May set the dataset's TableType from an alias.
std::string GetConnectPath(IEdsDataSet& DataSet);

// An engine connection as a component. Use it on one thread (the one that made it).
class TEdsConnection : public rtl::TComponent {
public:
    explicit TEdsConnection(rtl::TComponent* Owner);
    ~TEdsConnection() override;

    const std::string& AliasName() const { return aliasName_; }
    virtual void SetAliasName(const std::string& Value);
    bool IsConnected() const { return connected_; }
    virtual void SetIsConnected(bool Value);
    virtual std::string ConnectPath() const { return connectPath_; }
    virtual void SetConnectPath(const std::string& Value);
    // The engine handle while connected, else 0.
    virtual EDSHANDLE GetConnectionHandle() const { return connected_ ? handle_ : 0; }
    EDSHANDLE ConnectionHandle() const { return GetConnectionHandle(); }
    TEdsServerTypes EdsServerTypes() const { return serverTypes_; }
    void SetEdsServerTypes(TEdsServerTypes Value) { serverTypes_ = Value; }
    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool Value) { loginPrompt_ = Value; }
    const std::string& Username() const { return username_; }
    void SetUsername(const std::string& Value) { username_ = Value; }
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& Value) { password_ = Value; }
    bool MiddleTierConnection() const { return middleTier_; }
    void SetMiddleTierConnection(bool Value) { middleTier_ = Value; }
    bool StoreConnected() const { return storeConnected_; }
    void SetStoreConnected(bool Value) { storeConnected_ = Value; }
    bool StoredProcedureConnection() const { return storedProcedure_; }
    void SetStoredProcedureConnection(bool Value) { storedProcedure_ = Value; }
    TEdsCompressionTypes Compression() const { return compression_; }
    void SetCompression(TEdsCompressionTypes Value) { compression_ = Value; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value) { readOnly_ = Value; }

    TNotifyEvent BeforeConnect;
    TNotifyEvent AfterConnect;
    TNotifyEvent OnConnect;
    TNotifyEvent BeforeDisconnect;
    TNotifyEvent AfterDisconnect;
    TNotifyEvent OnDisconnect;
    TNotifyEvent BeforeCommit;
    TNotifyEvent AfterCommit;
    TNotifyEvent BeforeRollback;
    TNotifyEvent AfterRollback;
    TEdsDatabaseLoginEvent OnLogin;

    void Open() { SetIsConnected(true); }
    void Close() { SetIsConnected(false); }

    // The engine call itself: answers the new handle.
    virtual EDSHANDLE Connect(const std::string& Path);
    virtual bool IsDictionaryConnection() const { return dictionary_; }
    // The folder that datasets on this connection use as their path.
    virtual std::string GetConnectionFolder() const;
    // ConnectPath, else the alias's path.
    virtual std::string GetConnectString() const;
    // The alias's table type: 0 none, 1 CDX, 2 NTX, 3 EDT.
    virtual int GetAliasTableType() const { return aliasTableType_; }

    virtual void AddDataSet(IEdsDataSet* DataSet);
    virtual void RemoveDataSet(IEdsDataSet* DataSet);
    virtual IEdsDataSet* GetDataSet(int Index) const { return dataSets_.at(static_cast<std::size_t>(Index)); }
    virtual int DataSetCount() const { return static_cast<int>(dataSets_.size()); }

    // Closes every statement of the statement cache and empties it.
    virtual void CloseCachedStatements();

    // ---- services of the connection (edscnnctservices.cpp)
    // "Local", "Remote", "Internet" or "" (also when not connected).
    std::string GetConnectionType();
    std::string GetServerName();
    void BeginTransaction();
    // Closes the cached statements first; a failed commit keeps InTransaction.
    void Commit();
    // Cancels the edits of every dataset of the connection first.
    void Rollback();
    bool InTransaction() const;

    // The table options a statement's tables are opened with.
    struct TEdsStatementTableOptions {
        UNSIGNED16 LockType = EDS_PROPRIETARY_LOCKING;
        UNSIGNED16 CharType = EDS_ANSI;
        UNSIGNED16 Rights = EDS_CHECK_RIGHTS;
        UNSIGNED16 TableType = EDS_EDT;
    };
    // Runs SQL text, connecting first when needed; answers the rows affected
    // (0 when a cursor is asked for). With Cache the prepared statement is kept
    // for the same text, compared exactly. Cursor null: no cursor wanted (one
    // the statement makes anyway is closed).
    int Execute(const std::string& SQL, const db::TParams* Params, bool Cache, EDSHANDLE* Cursor);
    int Execute(const TEdsStatementTableOptions& TableOptions, const std::string& SQL, const db::TParams* Params,
                bool Cache, EDSHANDLE* Cursor);

    // The tables of the connection's folder matching Mask (the alias type may
    // choose the mask); the newer form also gives each table's database.
    void GetTableNames(rtl::TStringList* List, const std::string& Mask);
    void GetTableNames(rtl::TStringList* DatabaseNames, rtl::TStringList* TableNames, const std::string& Mask);
    void GetDictionaryObjectNames(rtl::TStringList& List);
    // The logged-in user's groups, read once per connection.
    const rtl::TStringList& UserGroups();
    const std::string& UserGroupText();
    rtl::TDateTime GetServerTime();
    void CloseCachedTables();
    UNSIGNED16 GetNumActiveLinks();
    void GetActiveLinkInfo(UNSIGNED16 Index, rtl::TStringList& List);

    // A handle made elsewhere: connecting takes it instead of calling the engine,
    // and disconnecting never closes it. 0 turns it off.
    void SetExternalHandle(EDSHANDLE Handle) { externalHandle_ = Handle; }
    // The thread that made the component.
    std::thread::id CreatorThreadId() const { return creatorThread_; }

    void SetName(const std::string& NewName) override;

protected:
    void Loaded() override;

    virtual void DoAfterCommit() { Fire(AfterCommit); }
    virtual void DoBeforeCommit() { Fire(BeforeCommit); }
    virtual void DoAfterRollback() { Fire(AfterRollback); }
    virtual void DoBeforeRollback() { Fire(BeforeRollback); }
    virtual void DoOnConnect() { Fire(OnConnect); }
    virtual void DoOnDisconnect() { Fire(OnDisconnect); }

    // A prepared statement kept for repeated SQL text.
    struct TStatementCacheEntry {
        std::uint32_t Hash = 0;
        EDSHANDLE Statement = 0;
        std::string SQL;
    };
    std::vector<TStatementCacheEntry> statementCache_;
    bool inTransaction_ = false;

private:
    void CheckConnected() const;
    void LoadUserGroups();
    EDSHANDLE PrepareStatement(const std::string& SQL, const TEdsStatementTableOptions* TableOptions, bool WantCursor);
    int ExecuteStatement(const TEdsStatementTableOptions* TableOptions, const std::string& SQL,
                         const db::TParams* Params, bool Cache, EDSHANDLE* Cursor);

    rtl::TStringList userGroups_;
    std::string userGroupText_;
    bool groupsLoaded_ = false;

    void Fire(const TNotifyEvent& event) {
        if (event) event(this);
    }
    void DoConnect();
    void DoDisconnect();
    void DestroyConnected() noexcept;
    std::string CheckedCopy(const std::string& text, std::size_t room, const char* what) const;

    std::string aliasName_;
    std::string connectPath_;
    bool connected_ = false;
    EDSHANDLE handle_ = 0;
    TEdsServerTypes serverTypes_;
    bool loginPrompt_ = true;
    std::string username_;
    std::string password_;
    bool middleTier_ = false;
    bool storeConnected_ = true;
    bool storedProcedure_ = false;
    TEdsCompressionTypes compression_ = ccEdsCompressionNotSet;
    bool readOnly_ = false;

    bool aliasValid_ = true;
    std::string aliasPath_;
    int aliasTableType_ = 0;
    bool dictionary_ = false;
    std::vector<IEdsDataSet*> dataSets_;
    bool connectAfterLoading_ = false;
    EDSHANDLE externalHandle_ = 0;
    std::thread::id creatorThread_;
};

// Every TEdsConnection of the process.
TEdsThreadList<TEdsConnection>& EdsConnectionList();

// One implicit connection.
struct TDynamicConn {
    EDSHANDLE Handle = 0;
    std::string Path;  // the folder's canonical path
};

// The implicit connections: one engine connection per folder, kept until the
// list goes. Folders are told apart by their canonical path, exactly (on Linux
// "Data" and "data" are two folders). Thread-safe.
class TDynamicConnList {
public:
    TDynamicConnList() = default;
    // Disconnects every handle; failures go to the layer's error hook.
    ~TDynamicConnList();
    TDynamicConnList(const TDynamicConnList&) = delete;
    TDynamicConnList& operator=(const TDynamicConnList&) = delete;

    // The handle of the folder's connection, or 0.
    EDSHANDLE FindByPath(const std::string& Path) const;
    // The folder's connection, made when there is none yet (in one step, so
    // two threads never both connect). A failing connect raises EEDSDatabaseError.
    EDSHANDLE Connect(const std::string& Path);
    // Disconnects every handle in order and forgets them; failures go to the
    // layer's error hook.
    void Shutdown() noexcept;
    std::size_t Count() const;

    // The key a folder is known by.
    static std::string CanonicalPath(const std::string& Path);

private:
    mutable std::mutex mutex_;
    std::vector<TDynamicConn> list_;
};

// The process's implicit connections; disconnected when the process exits.
TDynamicConnList& DynamicConnList();
