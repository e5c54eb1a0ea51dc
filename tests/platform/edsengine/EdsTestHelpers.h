#pragma once
// Small helpers shared by the engine's tests.

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/edsengine/eds.h"

namespace edstest {

inline const UNSIGNED8* U(const char* text) { return reinterpret_cast<const UNSIGNED8*>(text); }
inline const UNSIGNED8* U(const std::string& text) { return reinterpret_cast<const UNSIGNED8*>(text.c_str()); }

inline std::string LastError() {
    UNSIGNED32 code = 0;
    UNSIGNED8 buf[1000];
    UNSIGNED16 len = sizeof buf;
    EdsGetLastError(&code, buf, &len);
    return std::to_string(code) + " " + std::string(reinterpret_cast<char*>(buf), len);
}

// Asserts success and shows the engine's text otherwise.
#define EDS_OK(call) ASSERT_EQ((call), EDS_SUCCESS) << edstest::LastError()
#define EDS_EXPECT_OK(call) EXPECT_EQ((call), EDS_SUCCESS) << edstest::LastError()

inline EDSHANDLE Connect(const std::string& folder) {
    EDSHANDLE connection = 0;
    EXPECT_EQ(EdsConnect60(U(folder), EDS_LOCAL_SERVER, U(""), U(""), 0, &connection), EDS_SUCCESS) << LastError();
    return connection;
}

inline UNSIGNED32 Create(EDSHANDLE connection, const std::string& name, const std::string& fields, EDSHANDLE* table) {
    return EdsCreateTable(connection, U(name), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0,
                          U(fields), table);
}

inline UNSIGNED32 Open(EDSHANDLE connection, const std::string& name, UNSIGNED32 options, EDSHANDLE* table) {
    return EdsOpenTable(connection, U(name), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS,
                        options, table);
}

inline std::vector<UNSIGNED8> Record(EDSHANDLE table) {
    UNSIGNED32 length = 0;
    EdsGetRecordLength(table, &length);
    std::vector<UNSIGNED8> image(length);
    UNSIGNED32 got = length;
    EXPECT_EQ(EdsGetRecord(table, image.data(), &got), EDS_SUCCESS) << LastError();
    return image;
}

inline std::string Text(EDSHANDLE table, EdsFieldId field) {
    UNSIGNED8 buf[1024];
    UNSIGNED32 len = sizeof buf;
    if (EdsGetField(table, field, buf, &len, EDS_RTRIM) != EDS_SUCCESS) return "<" + LastError() + ">";
    return std::string(reinterpret_cast<char*>(buf), len);
}

inline UNSIGNED32 SetText(EDSHANDLE table, EdsFieldId field, const std::string& value) {
    return EdsSetField(table, field, U(value), static_cast<UNSIGNED32>(value.size()));
}

inline UNSIGNED32 SetInt(EDSHANDLE table, EdsFieldId field, std::int32_t value) {
    UNSIGNED8 raw[4];
    std::memcpy(raw, &value, 4);
    return EdsSetFieldRaw(table, field, raw, 4);
}

inline UNSIGNED32 RecNo(EDSHANDLE table) {
    UNSIGNED32 recno = 0;
    EdsGetRecordNum(table, EDS_IGNOREFILTERS, &recno);
    return recno;
}

inline bool AtEof(EDSHANDLE h) {
    UNSIGNED16 eof = 0;
    EdsAtEOF(h, &eof);
    return eof != 0;
}

inline bool AtBof(EDSHANDLE h) {
    UNSIGNED16 bof = 0;
    EdsAtBOF(h, &bof);
    return bof != 0;
}

// A statement run on a connection: "0", or the engine's text when it fails.
inline std::string RunSql(EDSHANDLE connection, const std::string& sql) {
    EDSHANDLE stmt = 0, cursor = 0;
    EdsCreateSQLStatement(connection, &stmt);
    const UNSIGNED32 rc = EdsExecuteSQLDirect(stmt, U(sql), &cursor);
    const std::string outcome = rc == EDS_SUCCESS ? "0" : LastError();
    if (cursor) EdsCloseTable(cursor);
    EdsCloseSQLStatement(stmt);
    return outcome;
}

// A child process that opens a table of a folder (and locks record 1 when
// asked), reports through a pipe, and waits to be killed; with holdMs, it ends
// by itself after that long.
class Holder {
public:
    Holder(const std::string& folder, const std::string& name, UNSIGNED32 options, bool lockRecord, int holdMs = -1) {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            char answer = 'x';
            EDSHANDLE connection = 0, table = 0;
            if (EdsConnect(U(folder), &connection) == EDS_SUCCESS && Open(connection, name, options, &table) == EDS_SUCCESS &&
                (!lockRecord || EdsLockRecord(table, 1) == EDS_SUCCESS))
                answer = 'k';
            if (::write(fds[1], &answer, 1) != 1) ::_exit(2);
            if (holdMs >= 0) {
                ::usleep(static_cast<useconds_t>(holdMs) * 1000);
                ::_exit(0);  // the locks go with the process
            }
            while (true) ::pause();
        }
        ::close(fds[1]);
        char answer = 0;
        ready_ = ::read(fds[0], &answer, 1) == 1 && answer == 'k';
        ::close(fds[0]);
    }
    ~Holder() { Kill(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool Ready() const { return ready_; }
    void Kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace edstest
