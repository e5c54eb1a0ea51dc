#include "dbaccess/edscnnct.h"

#include "platform/db/DBError.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Paths.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

namespace {

std::mutex gLoginDialogMutex;
TEdsLoginDialog gLoginDialog;

bool IsDelimiter(char c) { return c == '/' || c == '\\'; }

bool HasDelimiter(const std::string& text) { return text.find_first_of("/\\") != std::string::npos; }

bool IsDictionaryPath(const std::string& path) { return path.size() > 4 && rtl::EndsText(".ADD", path); }

std::string CutTrailingDelimiter(std::string path) {
    if (path.size() > 1 && IsDelimiter(path.back())) path.pop_back();
    return path;
}

// The folder of the program file; SENDORA_HOME stands in for it (tests).
std::string ProgramFolder() {
    if (const char* home = std::getenv("SENDORA_HOME"); home != nullptr && *home != '\0') return home;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::atomic<TDynamicConnList*> gProcessConnList{nullptr};
std::once_flag gProcessShutdownRegistered;

void ShutdownProcessConnList() {
    if (TDynamicConnList* list = gProcessConnList.load()) list->Shutdown();
}

}  // namespace

void SetEdsLoginDialog(TEdsLoginDialog Dialog) {
    std::lock_guard lock(gLoginDialogMutex);
    gLoginDialog = std::move(Dialog);
}

// ---- alias file and path resolution ---------------------------------------------

std::string EdsIniFileName() {
    const std::string folder = ProgramFolder();
    if (!folder.empty()) {
        // Found without regard to case, like the tables: a copy made on Windows
        // may be called "EDS.INI".
        if (auto found = rtl::FindFileNoCase(folder, "eds.ini"); found && rtl::FileExists(*found)) return *found;
    }
    return "eds.ini";
}

std::optional<TEdsIniAlias> LookupEdsIniAlias(const std::string& Alias) {
    if (Alias.empty()) return std::nullopt;
    const rtl::TIniFile ini(EdsIniFileName());
    const std::string value = ini.ReadString("Databases", Alias, "");
    TEdsIniAlias alias;
    const auto semicolon = value.find(';');
    alias.Path = value.substr(0, semicolon);
    if (semicolon != std::string::npos && semicolon + 1 < value.size()) {
        switch (value[semicolon + 1]) {
        case 'N': case 'n': alias.AliasType = 2; break;
        case 'C': case 'c': alias.AliasType = 1; break;
        case 'A': case 'a': alias.AliasType = 3; break;
        default: break;
        }
    }
    alias.TableType = TableTypeOfAliasType(alias.AliasType, ttEdsEDT);
    if (alias.Path.empty()) return std::nullopt;
    return alias;
}

TEdsTableTypes TableTypeOfAliasType(int AliasType, TEdsTableTypes Current) {
    switch (AliasType) {
    case 1: return ttEdsCDX;
    case 2: return ttEdsNTX;
    case 3: return ttEdsEDT;
    default: return Current;
    }
}

std::string GetConnectPath(IEdsDataSet& DataSet) {
    if (std::string cached = DataSet.AliasPath(); !cached.empty()) return CutTrailingDelimiter(std::move(cached));

    const std::string databaseName = DataSet.DatabaseName();
    TEdsConnection* connection = DataSet.EdsConnection();
    bool useConnection = databaseName.empty();
    if (!useConnection && connection != nullptr) {
        useConnection = rtl::SameText(databaseName, connection->Name()) ||
                        (connection->Owner() != nullptr &&
                         rtl::SameText(databaseName, connection->Owner()->Name() + "." + connection->Name()));
    }

    std::string path;
    if (useConnection) {
        if (connection != nullptr) {
            path = connection->GetConnectionFolder();
            const int aliasType = connection->GetAliasTableType();
            if (aliasType >= 1 && aliasType <= 3) {
                const TEdsTableTypes type = TableTypeOfAliasType(aliasType, DataSet.TableType());
                if (type != DataSet.TableType()) DataSet.SetTableType(type);
            }
        }
    } else if (HasDelimiter(databaseName)) {
        path = databaseName;
    } else if (auto alias = LookupEdsIniAlias(databaseName)) {
        path = CutTrailingDelimiter(alias->Path);
        DataSet.SetAliasPath(path);
        if (alias->TableType != DataSet.TableType()) DataSet.SetTableType(alias->TableType);
    } else {
        path = databaseName;
    }
    return CutTrailingDelimiter(std::move(path));
}

// ---- TEdsConnection ------------------------------------------------------------------

TEdsThreadList<TEdsConnection>& EdsConnectionList() {
    static TEdsThreadList<TEdsConnection> list;
    return list;
}

TEdsConnection::TEdsConnection(rtl::TComponent* Owner)
    : rtl::TComponent(Owner), creatorThread_(std::this_thread::get_id()) {
    EdsConnectionList().Add(this);
}

TEdsConnection::~TEdsConnection() {
    if (connected_) {
        DestroyConnected();
    } else {
        for (IEdsDataSet* dataSet : dataSets_) dataSet->ForgetConnection();
    }
    dataSets_.clear();
    EdsConnectionList().Remove(this);
}

// Destructors never raise: what fails here goes to the layer's error hook, and
// every dataset forgets the connection whatever happened.
void TEdsConnection::DestroyConnected() noexcept {
    const std::vector<IEdsDataSet*> dataSets = dataSets_;
    for (IEdsDataSet* dataSet : dataSets) {
        try {
            dataSet->Close();
        } catch (...) {
            EdsReportCurrentException();
        }
        try {
            dataSet->FreeStatement();
        } catch (...) {
            EdsReportCurrentException();
        }
        dataSet->ForgetConnection();
    }
    dataSets_.clear();
    try {
        CloseCachedStatements();
    } catch (...) {
        EdsReportCurrentException();
    }
    if (externalHandle_ == 0) {
        const UNSIGNED32 rc = EdsApi.EdsDisconnect(handle_);
        inTransaction_ = false;
        if (rc != 0 && rc != EDS_E_NOT_CONNECTED) {
            try {
                EdsReportError(EdsError(rc, TEdsErrorSource::LastError).what());
            } catch (...) {
                EdsReportCurrentException();
            }
        }
    }
    try {
        DoOnDisconnect();
    } catch (...) {
        EdsReportCurrentException();
    }
    handle_ = 0;
    connected_ = false;
}

void TEdsConnection::SetIsConnected(bool Value) {
    if (ComponentState().Contains(rtl::csLoading)) {
        connectAfterLoading_ = Value;
        return;
    }
    if (Value == connected_) return;
    if (Value) {
        DoConnect();
    } else {
        DoDisconnect();
    }
}

void TEdsConnection::Loaded() {
    rtl::TComponent::Loaded();
    if (!connectAfterLoading_) return;
    connectAfterLoading_ = false;
    try {
        SetIsConnected(true);
    } catch (...) {
        if (!EdsIsDesigning(*this)) throw;
        EdsReportCurrentException();
    }
}

std::string TEdsConnection::CheckedCopy(const std::string& text, std::size_t room, const char* what) const {
    // The engine takes at most `room` characters; cutting would connect
    // somewhere else (or as someone else), so a longer text is refused.
    if (text.size() > room) {
        throw EdsConnectionError(std::string("The ") + what + " of " + Name() + " is longer than " +
                                 std::to_string(room) + " characters.");
    }
    return text;
}

void TEdsConnection::DoConnect() {
    Fire(BeforeConnect);
    if (!aliasValid_) {
        SetAliasName(aliasName_);
        if (!aliasValid_) throw EdsConnectionError("TEdsConnection.AliasName is not valid");
    }
    const std::string target = GetConnectString();
    if (target.empty()) {
        connected_ = false;
        throw EdsConnectionError("Must specify connection string before getting a server connection.");
    }
    const std::string path = CheckedCopy(target, 254, "connection path");
    handle_ = externalHandle_ != 0 ? externalHandle_ : Connect(path);
    connected_ = true;
    groupsLoaded_ = false;
    if (IsDictionaryConnection()) {
        const std::vector<IEdsDataSet*> dataSets = dataSets_;
        for (IEdsDataSet* dataSet : dataSets) dataSet->GetDictionaryTableProperty();
    }
    Fire(AfterConnect);
    DoOnConnect();
}

EDSHANDLE TEdsConnection::Connect(const std::string& Path) {
    std::string user = username_;
    std::string password = password_;
    const bool dictionary = IsDictionaryConnection();
    if (dictionary && loginPrompt_) {
        if (OnLogin) {
            OnLogin(this, user, password);
        } else {
            TEdsLoginDialog dialog;
            {
                std::lock_guard lock(gLoginDialogMutex);
                dialog = gLoginDialog;
            }
            if (dialog && !dialog(Name(), user, password)) {
                throw db::EDatabaseError("Cannot connect to database '" + Name() + "'");
            }
        }
        username_ = user;
        if (!EdsIsDesigning(*this)) password_ = password;
    }
    if (!dictionary) {
        user.clear();
        password.clear();
    }
    user = CheckedCopy(user, 260, "user name");
    password = CheckedCopy(password, 260, "password");

    UNSIGNED32 options = 0;
    if (middleTier_) options |= EDS_MIDDLE_TIER;
    if (storedProcedure_) options |= EDS_STORED_PROC_CONN;
    switch (compression_) {
    case ccEdsCompressInternet: options |= EDS_COMPRESS_INTERNET; break;
    case ccEdsCompressAlways: options |= EDS_COMPRESS_ALWAYS; break;
    case ccEdsCompressNever: options |= EDS_COMPRESS_NEVER; break;
    case ccEdsCompressionNotSet: break;
    }

    EDSHANDLE handle = 0;
    const UNSIGNED32 rc = EdsApi.EdsConnect60(EdsText(Path), EdsServerTypeBits(serverTypes_), EdsText(user),
                                              EdsText(password), options, &handle);
    if (rc != 0) CheckEdsError(nullptr, rc);
    return handle;
}

void TEdsConnection::DoDisconnect() {
    Fire(BeforeDisconnect);
    const std::vector<IEdsDataSet*> dataSets = dataSets_;
    for (IEdsDataSet* dataSet : dataSets) {
        try {
            dataSet->Close();
        } catch (...) {
            // One dataset that fails to close must not keep the others open.
        }
    }
    for (IEdsDataSet* dataSet : dataSets) dataSet->FreeStatement();
    CloseCachedStatements();

    std::optional<EdsError> failure;
    if (externalHandle_ == 0) {
        const UNSIGNED32 rc = EdsApi.EdsDisconnect(handle_);
        // The engine's transaction goes with its connection, whatever the
        // disconnect answers; an external handle keeps both.
        inTransaction_ = false;
        // Taken now: the events below may call the engine and replace the last error.
        if (rc != 0) failure.emplace(rc, TEdsErrorSource::LastError);
    }
    connected_ = false;
    handle_ = 0;
    Fire(AfterDisconnect);
    DoOnDisconnect();
    if (failure) throw *failure;
}

void TEdsConnection::SetConnectPath(const std::string& Value) {
    if (connected_) {
        throw EdsConnectionError("The TEdsConnection.ConnectPath may not be changed when IsConnected is TRUE");
    }
    connectPath_ = Value;
    aliasName_.clear();
    aliasPath_.clear();
    aliasTableType_ = 0;
    aliasValid_ = true;
    dictionary_ = IsDictionaryPath(connectPath_);
}

void TEdsConnection::SetAliasName(const std::string& Value) {
    if (connected_) {
        throw EdsConnectionError("The TEdsConnection.AliasName may not be changed when IsConnected is TRUE");
    }
    aliasValid_ = true;
    if (Value.empty()) {
        aliasName_.clear();
        aliasPath_.clear();
        aliasTableType_ = 0;
    } else if (auto alias = LookupEdsIniAlias(Value)) {
        aliasName_ = Value;
        connectPath_.clear();
        aliasPath_ = alias->Path;
        aliasTableType_ = alias->AliasType;
        if (aliasTableType_ >= 1 && aliasTableType_ <= 3) {
            for (IEdsDataSet* dataSet : dataSets_) {
                const std::string databaseName = dataSet->DatabaseName();
                if (dataSet->DataSetComponent().Owner() == Owner() &&
                    (databaseName.empty() || rtl::SameText(databaseName, Name()))) {
                    dataSet->SetTableType(TableTypeOfAliasType(aliasTableType_, dataSet->TableType()));
                }
            }
        }
    } else {
        aliasValid_ = false;
        aliasName_ = Value;
        aliasPath_.clear();
        aliasTableType_ = 0;
    }
    dictionary_ = IsDictionaryPath(GetConnectString());
}

std::string TEdsConnection::GetConnectString() const { return connectPath_.empty() ? aliasPath_ : connectPath_; }

std::string TEdsConnection::GetConnectionFolder() const {
    std::string folder = GetConnectString();
    if (IsDictionaryPath(folder)) {
        const auto delimiter = folder.find_last_of("/\\");
        folder = delimiter == std::string::npos ? std::string(".\\") : folder.substr(0, delimiter);
    }
    return folder;
}

void TEdsConnection::AddDataSet(IEdsDataSet* DataSet) {
    if (DataSet == nullptr) return;
    for (IEdsDataSet* known : dataSets_) {
        if (known == DataSet) return;
    }
    dataSets_.push_back(DataSet);
}

void TEdsConnection::RemoveDataSet(IEdsDataSet* DataSet) {
    std::erase(dataSets_, DataSet);
}

void TEdsConnection::CloseCachedStatements() {
    const std::vector<TStatementCacheEntry> entries = std::move(statementCache_);
    statementCache_.clear();
    // Every statement is closed even when one fails; the first failure is raised.
    std::exception_ptr first;
    for (const TStatementCacheEntry& entry : entries) {
        if (entry.Statement == 0) continue;
        try {
            CheckEdsError(nullptr, EdsApi.EdsCloseSQLStatement(entry.Statement));
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

void TEdsConnection::SetName(const std::string& NewName) {
    const std::string oldName = Name();
    rtl::TComponent::SetName(NewName);
    // A component named for the first time was named by no dataset (an empty
    // DatabaseName means "no name", not this component).
    if (oldName.empty()) return;
    const rtl::TComponent* owner = Owner();
    const std::string ownerName = owner != nullptr ? owner->Name() : std::string();
    EdsDataSetList().ForEach([&](IEdsDataSet& dataSet) {
        const TEdsConnection* connection = dataSet.EdsConnection();
        if (connection != nullptr && connection != this) return;
        const std::string databaseName = dataSet.DatabaseName();
        if (rtl::SameText(databaseName, oldName)) {
            dataSet.ConnectionRenamed(NewName);
        } else if (owner != nullptr && rtl::SameText(databaseName, ownerName + "." + oldName)) {
            dataSet.ConnectionRenamed(ownerName + "." + NewName);
        }
    });
}

// ---- implicit connections ---------------------------------------------------------

std::string TDynamicConnList::CanonicalPath(const std::string& Path) {
    if (Path.empty()) return {};
    const std::filesystem::path path(rtl::NormalizePath(Path));
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    if (ec) {
        canonical = std::filesystem::absolute(path, ec);
        if (ec) canonical = path;
        canonical = canonical.lexically_normal();
    }
    std::string key = canonical.string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

TDynamicConnList::~TDynamicConnList() { Shutdown(); }

EDSHANDLE TDynamicConnList::FindByPath(const std::string& Path) const {
    const std::string key = CanonicalPath(Path);
    std::lock_guard lock(mutex_);
    for (const TDynamicConn& entry : list_) {
        if (entry.Path == key) return entry.Handle;
    }
    return 0;
}

EDSHANDLE TDynamicConnList::Connect(const std::string& Path) {
    const std::string key = CanonicalPath(Path);
    std::lock_guard lock(mutex_);
    for (const TDynamicConn& entry : list_) {
        if (entry.Path == key) return entry.Handle;
    }
    EDSHANDLE handle = 0;
    const UNSIGNED32 rc = EdsApi.EdsConnect(EdsText(key), &handle);
    if (rc != 0) CheckEdsError(nullptr, rc);
    try {
        list_.push_back(TDynamicConn{handle, key});
    } catch (...) {
        EdsApi.EdsDisconnect(handle);
        return 0;
    }
    // The engine is set up by now, so a shut-down registered now runs before
    // the engine's own statics go.
    if (this == gProcessConnList.load()) {
        std::call_once(gProcessShutdownRegistered, [] { std::atexit(ShutdownProcessConnList); });
    }
    return handle;
}

void TDynamicConnList::Shutdown() noexcept {
    std::vector<TDynamicConn> entries;
    {
        std::lock_guard lock(mutex_);
        entries.swap(list_);
    }
    for (const TDynamicConn& entry : entries) {
        const UNSIGNED32 rc = EdsApi.EdsDisconnect(entry.Handle);
        if (rc == 0) continue;
        try {
            EdsReportError(EdsError(rc, TEdsErrorSource::LastError).what());
        } catch (...) {
            EdsReportCurrentException();
        }
    }
}

std::size_t TDynamicConnList::Count() const {
    std::lock_guard lock(mutex_);
    return list_.size();
}

TDynamicConnList& DynamicConnList() {
    static TDynamicConnList& list = []() -> TDynamicConnList& {
        static TDynamicConnList instance;
        gProcessConnList.store(&instance);
        return instance;
    }();
    return list;
}
