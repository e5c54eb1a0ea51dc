// Entry points: table listings of a folder (EdsFindFirstTable and friends).
//
// A listing is taken whole when it starts, sorted by name without regard to
// case; a find handle walks it. The mask is a folder and a file pattern with
// '*' and '?', matched without regard to case; a relative or missing folder is
// taken in the connection's folder.

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsObjects.h"

using namespace eds;

namespace {

class TableList : public Object {
public:
    UNSIGNED16 HandleType() const override { return EDS_FIND; }
    EDSHANDLE connection = 0;
    std::string folder;
    std::vector<std::string> names;
    std::size_t next = 0;
};

Registry& Objects() { return Registry::Instance(); }

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

TableList& ListOf(EDSHANDLE connection, EDSHANDLE find) {
    TableList& list = Objects().As<TableList>(find);
    if (list.connection != connection) Throw(EDS_E_INVALID_HANDLE, "The find handle belongs to another connection.");
    return list;
}

// Gives the next name (and folder); EDS_E_NO_MORE_FILES at the end.
void Next(TableList& list, UNSIGNED8* database, UNSIGNED16* databaseLen, UNSIGNED8* name, UNSIGNED16* nameLen) {
    if (list.next >= list.names.size()) Throw(EDS_E_NO_MORE_FILES, DefaultErrorText(EDS_E_NO_MORE_FILES));
    if (database) CopyOut(list.folder, database, databaseLen);
    CopyOut(list.names[list.next], name, nameLen);
    ++list.next;
}

void First(EDSHANDLE hConnect, const UNSIGNED8* mask, UNSIGNED8* database, UNSIGNED16* databaseLen, UNSIGNED8* name,
           UNSIGNED16* nameLen, EDSHANDLE* phFind) {
    CheckOut(phFind, "find handle");
    *phFind = 0;
    Connection& connection = Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
    std::string text(TextArg(mask));
    std::replace(text.begin(), text.end(), '\\', '/');
    std::string folder, pattern = text;
    if (std::size_t slash = text.rfind('/'); slash != std::string::npos) {
        folder = text.substr(0, slash);
        pattern = text.substr(slash + 1);
    }
    if (pattern.empty()) pattern = "*";
    std::filesystem::path dir = folder.empty() ? std::filesystem::path(connection.Folder()) : std::filesystem::path(folder);
    if (dir.is_relative()) dir = std::filesystem::path(connection.Folder()) / dir;
    auto list = std::make_unique<TableList>();
    list->connection = hConnect;
    list->folder = dir.string();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::string file = entry.path().filename().string();
        if (!entry.is_regular_file(ec) || file.empty() || file[0] == '.') continue;
        if (fnmatch(pattern.c_str(), file.c_str(), FNM_CASEFOLD) == 0) list->names.push_back(file);
    }
    std::sort(list->names.begin(), list->names.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    if (list->names.empty()) Throw(EDS_E_NO_MORE_FILES, DefaultErrorText(EDS_E_NO_MORE_FILES));
    TableList& added = *list;
    const EDSHANDLE handle = Objects().Add(std::move(list));
    try {
        Next(added, database, databaseLen, name, nameLen);
    } catch (...) {
        Objects().Remove(handle);
        throw;
    }
    *phFind = handle;
}

}  // namespace

UNSIGNED32 EdsFindFirstTable(EDSHANDLE hConnect, const UNSIGNED8* pucMask, UNSIGNED8* pucFileName,
                             UNSIGNED16* pusFileNameLen, EDSHANDLE* phFind) {
    return Run([&] { First(hConnect, pucMask, nullptr, nullptr, pucFileName, pusFileNameLen, phFind); });
}

UNSIGNED32 EdsFindNextTable(EDSHANDLE hConnect, EDSHANDLE hFind, UNSIGNED8* pucFileName, UNSIGNED16* pusFileNameLen) {
    return Run([&] { Next(ListOf(hConnect, hFind), nullptr, nullptr, pucFileName, pusFileNameLen); });
}

UNSIGNED32 EdsFindFirstTable62(EDSHANDLE hConnect, const UNSIGNED8* pucMask, UNSIGNED8* pucDatabase,
                               UNSIGNED16* pusDatabaseLen, UNSIGNED8* pucFileName, UNSIGNED16* pusFileNameLen,
                               EDSHANDLE* phFind) {
    return Run([&] { First(hConnect, pucMask, pucDatabase, pusDatabaseLen, pucFileName, pusFileNameLen, phFind); });
}

UNSIGNED32 EdsFindNextTable62(EDSHANDLE hConnect, EDSHANDLE hFind, UNSIGNED8* pucDatabase, UNSIGNED16* pusDatabaseLen,
                              UNSIGNED8* pucFileName, UNSIGNED16* pusFileNameLen) {
    return Run([&] { Next(ListOf(hConnect, hFind), pucDatabase, pusDatabaseLen, pucFileName, pusFileNameLen); });
}

UNSIGNED32 EdsFindClose(EDSHANDLE hConnect, EDSHANDLE hFind) {
    return Run([&] {
        ListOf(hConnect, hFind);
        Objects().Remove(hFind);
    });
}
