// Fuzzes opening a table file of arbitrary bytes: the open answers an engine error
// with a text or opens, and an open table walks in natural order and in each of its
// indexes, reads its records and fields, counts and seeks, and walks again under
// filters, with every read aging fast so that walks ask whether the file changed.
// A read-only open never changes a byte of the file. Also the SQL path: a
// statement naming the file, walked with and without a filter.

#include "fuzz/edsengine/EdsFuzzSupport.h"
#include "platform/edsengine/EdsObjects.h"
#include "platform/edsengine/eds.h"

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using edsfuzz::Refused;
using edsfuzz::U;

const std::string& Folder() {
    static const std::string dir = [] {
        std::string d = std::filesystem::temp_directory_path() / ("eds_table_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

EDSHANDLE Connection() {
    static EDSHANDLE connection = [] {
        EDSHANDLE c = 0;
        if (EdsConnect60(U(Folder()), EDS_LOCAL_SERVER, U(""), U(""), 0, &c) != EDS_SUCCESS) std::abort();
        return c;
    }();
    return connection;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Walk(EDSHANDLE order, EDSHANDLE table, UNSIGNED32 recordLength, UNSIGNED16 fields) {
    std::vector<UNSIGNED8> image(recordLength + 1);
    Refused(EdsGotoTop(order));
    for (int i = 0; i < 50; ++i) {
        UNSIGNED16 eof = 1;
        Refused(EdsAtEOF(order, &eof));
        if (eof) break;
        UNSIGNED32 len = recordLength;
        Refused(EdsGetRecord(table, image.data(), &len));
        for (UNSIGNED16 f = 1; f <= fields; ++f) {
            UNSIGNED8 buf[300];
            UNSIGNED32 got = sizeof buf;
            Refused(EdsGetField(table, EdsFieldId(f), buf, &got, EDS_RTRIM));
        }
        Refused(EdsSkip(order, 1));
    }
    Refused(EdsGotoBottom(order));
    Refused(EdsSkip(order, -1));
    UNSIGNED32 count = 0;
    Refused(EdsGetRecordCount(order, EDS_IGNOREFILTERS, &count));
    const std::string key = "a";
    UNSIGNED16 found = 0;
    if (order != table) Refused(EdsSeek(order, U(key), 1, EDS_STRINGKEY, EDS_SOFTSEEK, &found));
}

// Conditions on the first field, as SQLite judges them and as only the evaluator
// can (a time of day has no SQL form); empty when the table has no field.
std::vector<std::string> Filters(EDSHANDLE table) {
    UNSIGNED8 name[300];
    UNSIGNED16 len = sizeof name;
    const UNSIGNED32 rc = EdsGetFieldName(table, 1, name, &len);
    Refused(rc);
    if (rc != EDS_SUCCESS) return {};
    const std::string field(reinterpret_cast<const char*>(name), len);
    return {".NOT. EMPTY(" + field + ")", "EMPTY(" + field + ") .OR. CTOT('') > CTOT('23:59')"};
}

// Every read of the cursor is a fifth of the freshness time older than the last.
void AgeFast(EDSHANDLE handle) {
    auto now = std::make_shared<std::chrono::steady_clock::time_point>();
    eds::Navigate(handle).table->Cur().SetClock([now] { return *now += eds::kFreshFor / 5; });
}

// Each filter in turn, walked both ways in each order; twice, since what the
// first walks learn about the filter shapes the second.
void FilteredWalks(EDSHANDLE table, const std::vector<EDSHANDLE>& orders) {
    for (const std::string& filter : Filters(table)) {
        const UNSIGNED32 rc = EdsSetAOF(table, U(filter), EDS_RESOLVE_DYNAMIC);
        Refused(rc);
        if (rc != EDS_SUCCESS) continue;
        for (int round = 0; round < 2; ++round) {
            for (EDSHANDLE order : orders) {
                UNSIGNED16 at = 0;
                Refused(EdsGotoTop(order));
                for (int i = 0; i < 100 && EdsAtEOF(order, &at) == EDS_SUCCESS && !at; ++i) Refused(EdsSkip(order, 1));
                Refused(EdsGotoBottom(order));
                for (int i = 0; i < 100 && EdsAtBOF(order, &at) == EDS_SUCCESS && !at; ++i) Refused(EdsSkip(order, -1));
            }
        }
        Refused(EdsClearAOF(table));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = Folder() + "/T.edt";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::remove((path + "-journal").c_str());
    const std::string before(reinterpret_cast<const char*>(data), size);
    EDSHANDLE table = 0;
    const UNSIGNED32 rc = EdsOpenTable(Connection(), U("T"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                                       EDS_CHECK_RIGHTS, EDS_READONLY, &table);
    Refused(rc);
    if (rc == EDS_SUCCESS) {
        UNSIGNED32 recordLength = 0;
        UNSIGNED16 fields = 0, indexes = 0;
        Refused(EdsGetRecordLength(table, &recordLength));
        Refused(EdsGetNumFields(table, &fields));
        Walk(table, table, recordLength, fields);
        Refused(EdsGetNumIndexes(table, &indexes));
        EDSHANDLE handles[8];
        UNSIGNED16 room = 8;
        const UNSIGNED32 listed = EdsGetAllIndexes(table, handles, &room);
        if (listed != EDS_E_INSUFFICIENT_BUFFER) Refused(listed);
        std::vector<EDSHANDLE> orders{table};
        for (UNSIGNED16 i = 0; (listed == EDS_SUCCESS || listed == EDS_E_INSUFFICIENT_BUFFER) && i < room && i < 8; ++i) {
            Walk(handles[i], table, recordLength, fields);
            orders.push_back(handles[i]);
        }
        AgeFast(table);
        FilteredWalks(table, orders);
        if (EdsCloseTable(table) != EDS_SUCCESS) std::abort();
    }
    EDSHANDLE stmt = 0, cursor = 0;
    if (EdsCreateSQLStatement(Connection(), &stmt) != EDS_SUCCESS) std::abort();
    const UNSIGNED32 sql = EdsExecuteSQLDirect(stmt, U("SELECT * FROM T"), &cursor);
    Refused(sql);
    if (sql == EDS_SUCCESS && cursor != 0) {
        Refused(EdsGotoTop(cursor));
        Refused(EdsSkip(cursor, 1));
        AgeFast(cursor);
        FilteredWalks(cursor, {cursor});
        EdsCloseTable(cursor);
    }
    EdsCloseSQLStatement(stmt);
    if (ReadAll(path) != before) std::abort();  // reading changed the file
    return 0;
}
