// Locate on a table of 100,000 rows by each of its three paths (an index seek,
// a temporary AOF, a record scan under the user's AOF and filter), against the
// framework's own record-by-record search through the dataset measured in the
// same run.
//
//   locate_bench [rows]

#include "dbaccess/edstable.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>

namespace {

class TBenchTable : public TEdsTable {
public:
    // The framework's search: every record fetched and compared in turn.
    bool FrameworkLocate(const std::string& Fields, const db::Variant& Values) {
        CheckBrowseMode();
        return db::TDataSet::LocateRecord(Fields, Values, {});
    }
};

void Fill(const std::string& Folder, int Rows) {
    {
        auto maker = std::make_unique<TEdsTable>();
        maker->CreateTable(Folder + "/Big.edt", ttEdsEDT, ANSI, 0, "ID,Integer; City,Char,20; Amount,Double;");
        maker->SetDatabaseName(Folder);
        maker->SetTableName("Big");
        maker->AddIndex("ByID", "ID", {});
    }
    EDSHANDLE connection = 0;
    EDSHANDLE table = 0;
    if (::EdsConnect(EdsText(Folder), &connection) != 0 ||
        ::EdsOpenTable(connection, EdsText("Big"), EdsText(""), EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                       EDS_CHECK_RIGHTS, EDS_EXCLUSIVE, &table) != 0)
        throw std::runtime_error("cannot open the bench table");
    ::EdsBeginTransaction(connection);
    for (int id = 1; id <= Rows; ++id) {
        const std::string city = "C" + std::to_string(id);
        const std::int32_t idImage = id;
        const double amount = id / 2.0;
        ::EdsAppendRecord(table);
        ::EdsSetFieldRaw(table, "ID", reinterpret_cast<const UNSIGNED8*>(&idImage), 4);
        ::EdsSetField(table, "City", EdsText(city), static_cast<UNSIGNED32>(city.size()));
        ::EdsSetFieldRaw(table, "Amount", reinterpret_cast<const UNSIGNED8*>(&amount), 8);
        if (::EdsWriteRecord(table) != 0) throw std::runtime_error("cannot fill the bench table");
    }
    ::EdsCommitTransaction(connection);
    ::EdsCloseTable(table);
    ::EdsDisconnect(connection);
}

// Microseconds per search over `Count` searches of random keys.
double Measure(int Count, int Rows, const std::function<bool(int)>& Search) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> key(1, Rows);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Count; ++i)
        if (!Search(key(random))) throw std::runtime_error("a key was not found");
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / Count;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    char folderTemplate[] = "/tmp/locate-bench-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) return 1;
    const std::string folder = folderTemplate;
    int status = 0;
    try {
        Fill(folder, rows);
        TBenchTable table;
        table.SetDatabaseName(folder);
        table.SetTableName("Big");
        table.Open();

        Measure(1, rows, [&](int id) { return table.FrameworkLocate("ID", id); });  // warm the file's pages
        const double framework = Measure(10, rows, [&](int id) { return table.FrameworkLocate("ID", id); });
        const double seek = Measure(2000, rows, [&](int id) { return table.Locate("ID", id, {}); });
        const double aof =
            Measure(50, rows, [&](int id) { return table.Locate("City", "C" + std::to_string(id), {}); });
        table.SetFilter("Amount > 0");
        table.SetFiltered(true);
        ::EdsSetFilter(table.Handle(), EdsText("ID > 0"));
        const double scan =
            Measure(10, rows, [&](int id) { return table.Locate("City", "C" + std::to_string(id), {}); });
        table.Close();

        std::printf("Locate on %d rows: microseconds per search (random keys), and the time as a share of the\n"
                    "framework's record-by-record search through the dataset (the baseline)\n", rows);
        std::printf("  framework search (baseline)        %12.1f\n", framework);
        std::printf("  index seek                         %12.1f  %10.5f\n", seek, seek / framework);
        std::printf("  temporary AOF                      %12.1f  %10.5f\n", aof, aof / framework);
        std::printf("  scan under the user's AOF+filter   %12.1f  %10.5f\n", scan, scan / framework);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "locate_bench: %s\n", error.what());
        status = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
