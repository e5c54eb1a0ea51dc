#pragma once
// Shared pieces of the database layer's tests: a scripted stand-in for single
// engine entry points, and a dataset that records what the layer asks of it.

#include "dbaccess/edscnnct.h"
#include "dbaccess/edsfunc.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace dbtest {

// The state the scripted entry points answer from. Entry points are plain
// function pointers, so the script lives in globals; Script resets it.
struct EngineScript {
    // EdsGetLastError
    UNSIGNED32 lastCode = 0;
    std::string lastText;
    UNSIGNED32 lastErrorAnswer = 0;  // non-zero: the call itself fails
    // EdsGetErrorString
    std::string errorStringText;
    UNSIGNED32 errorStringAnswer = 0;
    // EdsShowError
    std::vector<std::string> shownErrors;
    // Connections
    UNSIGNED32 connectAnswer = 0;
    EDSHANDLE nextHandle = 100;
    std::string connectPath;
    UNSIGNED16 connectServerTypes = 0;
    std::string connectUser;
    std::string connectPassword;
    UNSIGNED32 connectOptions = 0;
    int connectCalls = 0;  // implicit connects run under the list's lock
    UNSIGNED32 disconnectAnswer = 0;
    std::vector<EDSHANDLE> disconnected;
    UNSIGNED32 closeStatementAnswer = 0;
    std::vector<EDSHANDLE> closedStatements;
};

inline EngineScript& Engine() {
    static EngineScript script;
    return script;
}

inline UNSIGNED32 WriteText(const std::string& text, UNSIGNED8* buffer, UNSIGNED16* length) {
    if (buffer == nullptr || length == nullptr) return 0;
    if (text.size() + 1 > *length) {
        *length = static_cast<UNSIGNED16>(text.size());
        return EDS_E_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *length = static_cast<UNSIGNED16>(text.size());
    return 0;
}

inline std::string Text(const UNSIGNED8* text) { return text ? reinterpret_cast<const char*>(text) : ""; }

// Replaces single entry points with scripted ones for its lifetime; every
// other entry point stays the engine's.
class Script {
public:
    Script() { Engine() = EngineScript{}; }

    // This thread's last error answers from the script.
    void LastError(UNSIGNED32 code, std::string text) {
        Engine().lastCode = code;
        Engine().lastText = std::move(text);
        EdsApi.EdsGetLastError = [](UNSIGNED32* code, UNSIGNED8* buffer, UNSIGNED16* length) -> UNSIGNED32 {
            EngineScript& e = Engine();
            if (e.lastErrorAnswer != 0) return e.lastErrorAnswer;
            *code = e.lastCode;
            return WriteText(e.lastText, buffer, length);
        };
        RecordShownErrors();
    }

    void ErrorString(std::string text, UNSIGNED32 answer = 0) {
        Engine().errorStringText = std::move(text);
        Engine().errorStringAnswer = answer;
        EdsApi.EdsGetErrorString = [](UNSIGNED32, UNSIGNED8* buffer, UNSIGNED16* length) -> UNSIGNED32 {
            EngineScript& e = Engine();
            if (e.errorStringAnswer != 0) return e.errorStringAnswer;
            return WriteText(e.errorStringText, buffer, length);
        };
        RecordShownErrors();
    }

    // Connect, disconnect and statement closing answer from the script.
    void Connections() {
        EdsApi.EdsConnect60 = [](const UNSIGNED8* path, UNSIGNED16 types, const UNSIGNED8* user,
                                 const UNSIGNED8* password, UNSIGNED32 options, EDSHANDLE* handle) -> UNSIGNED32 {
            EngineScript& e = Engine();
            ++e.connectCalls;
            e.connectPath = Text(path);
            e.connectServerTypes = types;
            e.connectUser = Text(user);
            e.connectPassword = Text(password);
            e.connectOptions = options;
            if (e.connectAnswer != 0) return e.connectAnswer;
            *handle = e.nextHandle++;
            return 0;
        };
        EdsApi.EdsConnect = [](const UNSIGNED8* path, EDSHANDLE* handle) {
            return EdsApi.EdsConnect60(path, 0, nullptr, nullptr, 0, handle);
        };
        EdsApi.EdsDisconnect = [](EDSHANDLE handle) -> UNSIGNED32 {
            Engine().disconnected.push_back(handle);
            return Engine().disconnectAnswer;
        };
        EdsApi.EdsCloseSQLStatement = [](EDSHANDLE statement) -> UNSIGNED32 {
            Engine().closedStatements.push_back(statement);
            return Engine().closeStatementAnswer;
        };
    }

private:
    static void RecordShownErrors() {
        EdsApi.EdsShowError = [](const UNSIGNED8* title) -> UNSIGNED32 {
            Engine().shownErrors.push_back(Text(title));
            return 0;
        };
    }

    TEdsEntryPointsGuard guard_;
};

// Collects what goes to the layer's error hook while it lives.
class ErrorHookCapture {
public:
    ErrorHookCapture() {
        SetEdsErrorHook([this](const std::string& text) { texts.push_back(text); });
    }
    ~ErrorHookCapture() { SetEdsErrorHook(nullptr); }
    ErrorHookCapture(const ErrorHookCapture&) = delete;
    ErrorHookCapture& operator=(const ErrorHookCapture&) = delete;

    std::vector<std::string> texts;
};

// A dataset as the layer sees it, recording the calls it gets.
class FakeDataSet : public rtl::TComponent, public IEdsDataSet {
public:
    FakeDataSet(rtl::TComponent* owner, const std::string& name) : rtl::TComponent(owner) {
        rtl::TComponent::SetName(name);
        EdsDataSetList().Add(this);
    }
    ~FakeDataSet() override {
        if (connection) connection->RemoveDataSet(this);
        EdsDataSetList().Remove(this);
    }

    void SetEdsConnection(TEdsConnection* value) {
        if (connection) connection->RemoveDataSet(this);
        connection = value;
        if (connection) connection->AddDataSet(this);
    }

    rtl::TComponent& DataSetComponent() override { return *this; }
    std::string DatabaseName() const override { return databaseName; }
    void ConnectionRenamed(const std::string& name) override { databaseName = name; }
    TEdsConnection* EdsConnection() const override { return connection; }
    std::string TableName() const override { return tableName; }
    TEdsTableTypes TableType() const override { return tableType; }
    void SetTableType(TEdsTableTypes type) override {
        tableType = type;
        ++tableTypeSets;
    }
    std::string AliasPath() const override { return aliasPath; }
    void SetAliasPath(const std::string& path) override { aliasPath = path; }
    std::string GetConnectPath() override { return connectPath ? connectPath() : ::GetConnectPath(*this); }
    void Close() override {
        ++closes;
        if (failClose) throw rtl::Exception("close of " + Name() + " failed");
    }
    void FreeStatement() override { ++statementsFreed; }
    void ForgetConnection() override {
        connection = nullptr;
        ++forgotten;
    }
    void GetDictionaryTableProperty() override { ++dictionaryReads; }

    std::string databaseName;
    TEdsConnection* connection = nullptr;
    std::string tableName;
    TEdsTableTypes tableType = ttEdsDefault;
    std::string aliasPath;
    std::function<std::string()> connectPath;  // replaces path resolution when set
    bool failClose = false;
    int closes = 0;
    int statementsFreed = 0;
    int forgotten = 0;
    int dictionaryReads = 0;
    int tableTypeSets = 0;
};

}  // namespace dbtest
