// Fuzzes the expression language: any text compiled over a small table of every
// field type (open in two areas, one aliased), then run on each record, as a
// condition filtering the table, and after the aliased area was reopened on another
// table. Every failure must be an engine error, never a read or write outside a
// buffer, a NaN or infinity in a result, a hang or a crash.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfparser.h"
#include "fuzz/dbfengine/FuzzSupport.h"

namespace {

std::string Path(const char* name) { return "/tmp/dbf_expr_fuzz_" + std::to_string(getpid()) + name; }

using dbffuzz::Try;

void MakeTables()
{
    xf::XfErrors().RaiseOnError = 1;
    xf::TDbfTable t;
    xf::CreateDbf(t, Path("a.dbf"),
                  {{"NAME", 'C', 20, 0}, {"AMOUNT", 'N', 10, 2}, {"COUNT", 'N', 5, 0}, {"BORN", 'D', 8, 0},
                   {"OK", 'L', 1, 0}, {"NOTE", 'M', 10, 0}, {"DATE", 'C', 3, 0}});
    xf::CloseDbf(t);
    xf::TDbfTable u;
    xf::CreateDbf(u, Path("b.dbf"), {{"X", 'N', 3, 0}});
    xf::CloseDbf(u);
    xf::Select(1);
    xf::USE(Path("a.dbf"), "EXCLUSIVE");
    const char* names[] = {"Smith", "", "  padded  "};
    const double amounts[] = {1234.5, -0.25, 0};
    for (int i = 0; i < 3; ++i) {
        xf::ClearRecord();
        xf::TXfTypedRecord r = xf::CurrentRecord();
        r.SetText(1, names[i]);
        r.SetNumber(2, amounts[i]);
        r.SetInteger(3, i * 7);
        r.SetText(4, i == 1 ? "" : "02/29/2000");
        r.SetLogical(5, i != 1);
        r.SetInteger(6, i);
        xf::Append();
    }
    xf::CloseDatabase();
    std::atexit([] {
        std::remove(Path("a.dbf").c_str());
        std::remove(Path("a.dbt").c_str());
        std::remove(Path("b.dbf").c_str());
    });
}

void Open()
{
    xf::Select(2);
    xf::USE(Path("a.dbf"), "ALIAS CUST");
    xf::Select(1);
    xf::USE(Path("a.dbf"));
    xf::GoTop();
}

void Check(xf::PXfExpr e, const void* result)
{
    if (!result) return;
    if (e->ResultType == 'N' || e->ResultType == 'D') {
        if (!std::isfinite(*static_cast<const double*>(result))) std::abort();
    } else if (e->ResultType == 'C') {
        if (std::strlen(static_cast<const char*>(result)) > 255) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool made = (MakeTables(), true);
    (void)made;
    xf::XfErrors() = xf::TXfErrorState {};
    xf::XfErrors().RaiseOnError = 1;
    xf::XfMemoHooks().MemoText = [](std::int32_t block) { return std::string(static_cast<std::size_t>(block) * 100, 'm'); };
    Open();
    const std::string text(reinterpret_cast<const char*>(data), size);
    xf::PXfExpr e = nullptr;
    Try([&] { e = xf::AssignExpr(text); });
    if (e) {
        for (int record = 1; record <= 4; ++record) {
            Try([&] { xf::GO(record); });
            Try([&] { Check(e, xf::Evaluate(e)); });
        }
        if (e->ResultType == 'L') {
            Try([&] {
                xf::SetFilterCondition(text);
                int steps = 0;
                for (xf::GoTop(); !xf::dEOF() && steps < 10; xf::SKIP(1)) ++steps;
            });
        }
        // The aliased area now holds a table of one field.
        xf::Select(2);
        xf::CloseDatabase();
        Try([] { xf::USE(Path("b.dbf"), "ALIAS CUST"); });
        xf::Select(1);
        Try([&] { Check(e, xf::Evaluate(e)); });
        xf::FreeExpr(e);
    }
    std::string checked = text;
    Try([&] { xf::CheckExpression(checked, true); });
    xf::CloseAll();
    return 0;
}
