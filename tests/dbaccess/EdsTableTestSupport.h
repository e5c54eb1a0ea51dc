#pragma once
// Pieces shared by the table and editing tests: a second process to edit or
// hold a table against, tables made the way the application makes them, and
// replaceable entry points that record what the layer passed.

#include "dbaccess/edstable.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace edstabletest {

// A forked process running `Body`. The two talk through pipes: the child
// reports lines, the parent sends single command bytes. Fork before the parent
// makes its first engine call, so that the child starts with an untouched
// engine. An exception in the child is reported as "error: <text>".
class TChildProcess {
public:
    explicit TChildProcess(const std::function<void(TChildProcess&)>& Body) {
        int up[2];
        int down[2];
        if (::pipe(up) != 0 || ::pipe(down) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::close(up[0]);
            ::close(down[1]);
            toParent_ = up[1];
            fromParent_ = down[0];
            try {
                Body(*this);
            } catch (const std::exception& error) {
                Report(std::string("error: ") + error.what());
            } catch (...) {
                Report("error: unknown");
            }
            ::_exit(0);
        }
        ::close(up[1]);
        ::close(down[0]);
        fromChild_ = up[0];
        toChild_ = down[1];
    }
    ~TChildProcess() {
        Kill();
        if (fromChild_ >= 0) ::close(fromChild_);
        if (toChild_ >= 0) ::close(toChild_);
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // ---- parent side
    // The child's next line ("" when it ended without one).
    std::string Next() {
        std::string line;
        char c = 0;
        while (::read(fromChild_, &c, 1) == 1) {
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }
    void Tell(char Command) {
        if (::write(toChild_, &Command, 1) != 1) throw std::runtime_error("write to child");
    }
    // Waits for the child's end; true when it ended by itself.
    bool Join() {
        if (pid_ <= 0) return false;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status);
    }
    void Kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    // ---- child side
    void Report(const std::string& Line) {
        const std::string text = Line + "\n";
        if (::write(toParent_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) ::_exit(3);
    }
    // The parent's next command (0 when the parent went away).
    char Await() {
        char c = 0;
        return ::read(fromParent_, &c, 1) == 1 ? c : 0;
    }

private:
    pid_t pid_ = -1;
    int fromChild_ = -1;
    int toChild_ = -1;
    int toParent_ = -1;
    int fromParent_ = -1;
};

// Runs `Body` in a child process to its end: "" on success, else what went wrong.
inline std::string RunInChild(const std::function<void()>& Body) {
    TChildProcess child([&](TChildProcess& self) {
        Body();
        self.Report("done");
    });
    const std::string line = child.Next();
    child.Join();
    return line == "done" ? std::string() : (line.empty() ? "the child died" : line);
}

// The table `Name` of `Folder`, opened through the folder's implicit connection.
inline std::unique_ptr<TEdsTable> OpenTable(const std::string& Folder, const std::string& Name, bool Exclusive = false,
                                            TEdsRecordLockingModes Mode = lmPessimistic) {
    auto table = std::make_unique<TEdsTable>();
    table->SetDatabaseName(Folder);
    table->SetTableName(Name);
    table->SetExclusive(Exclusive);
    table->EdsTableOptions().SetEdsRecordLockingMode(Mode);
    table->Open();
    return table;
}

// Creates Folder\Name.edt as the application does: the full file name with a
// backslash, then the dataset named by folder and table.
inline std::unique_ptr<TEdsTable> CreateAppTable(const std::string& Folder, const std::string& Name,
                                                 const std::string& Fields) {
    auto table = std::make_unique<TEdsTable>();
    table->CreateTable(Folder + "\\" + Name + ".edt", ttEdsEDT, ANSI, 0, Fields);
    table->SetDatabaseName(Folder);
    table->SetTableName(Name);
    return table;
}

// The message and code of the EEDSDatabaseError that `Call` raises.
struct TRaised {
    bool Raised = false;
    std::int32_t Code = 0;
    std::string Message;
};
inline TRaised Raises(const std::function<void()>& Call) {
    TRaised result;
    try {
        Call();
    } catch (const EEDSDatabaseError& error) {
        result.Raised = true;
        result.Code = error.ErrorCode();
        result.Message = error.what();
    }
    return result;
}

// What the replaced entry points saw. Entry points are plain function
// pointers, so the record is a global; Reset clears it.
struct TCallLog {
    std::vector<std::string> Expressions;
    std::vector<std::string> FileNames;
    std::vector<std::string> Tags;
    std::vector<UNSIGNED32> IndexOptions;
    std::vector<UNSIGNED32> OpenOptions;
    std::vector<std::string> OpenNames;
    std::vector<UNSIGNED16> OpenTypes;
    std::vector<UNSIGNED16> CreateArgs;  // table type, char type, locking, rights, memo size
    int IndexCalls = 0;
    int OpenCalls = 0;
    int CloseCalls = 0;
    UNSIGNED32 CloseAnswer = 0;
    UNSIGNED32 OptionsMask = 0xFFFFFFFFu;
    UNSIGNED16 PermissionsMask = 0xFFFF;
    std::string PermissionsColumn;
    UNSIGNED32 Answer = 0;
};
inline TCallLog& Calls() {
    static TCallLog log;
    return log;
}

// Index creation recorded, then done by the engine (tags only: file names are dropped).
inline void RecordIndexCreation() {
    EdsApi.EdsCreateIndex61 = [](EDSHANDLE table, const UNSIGNED8* file, const UNSIGNED8* tag, const UNSIGNED8* expr,
                                 const UNSIGNED8* cond, const UNSIGNED8* whileExpr, UNSIGNED32 options,
                                 UNSIGNED32 pageSize, EDSHANDLE* index) -> UNSIGNED32 {
        TCallLog& log = Calls();
        ++log.IndexCalls;
        log.FileNames.emplace_back(reinterpret_cast<const char*>(file));
        log.Tags.emplace_back(reinterpret_cast<const char*>(tag));
        log.Expressions.emplace_back(reinterpret_cast<const char*>(expr));
        log.IndexOptions.push_back(options);
        const std::string name = *tag != 0 ? reinterpret_cast<const char*>(tag) : reinterpret_cast<const char*>(file);
        return ::EdsCreateIndex61(table, EdsText(""), EdsText(name), expr, cond, whileExpr, options & ~EDS_COMPOUND,
                                  pageSize, index);
    };
}

// Opens recorded, then done by the engine as EDT tables.
inline void RecordOpens() {
    EdsApi.EdsOpenTable = [](EDSHANDLE connection, const UNSIGNED8* name, const UNSIGNED8* alias, UNSIGNED16 type,
                             UNSIGNED16 chars, UNSIGNED16 locking, UNSIGNED16 rights, UNSIGNED32 options,
                             EDSHANDLE* table) -> UNSIGNED32 {
        TCallLog& log = Calls();
        ++log.OpenCalls;
        log.OpenNames.emplace_back(reinterpret_cast<const char*>(name));
        log.OpenOptions.push_back(options);
        log.OpenTypes.push_back(type);
        return ::EdsOpenTable(connection, name, alias, EDS_EDT, chars, locking, rights,
                              options & (EDS_EXCLUSIVE | EDS_READONLY), table);
    };
}

}  // namespace edstabletest
