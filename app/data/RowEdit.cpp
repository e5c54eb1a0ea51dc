#include "app/data/RowEdit.h"

#include "dbaccess/edsquery.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

std::string StillReadsSql(std::string_view column, std::string_view read)
{
    // rtrim drops blanks only, so only blanks are dropped here.
    const std::size_t end = read.find_last_not_of(' ');
    const std::string_view kept = end == std::string_view::npos ? std::string_view() : read.substr(0, end + 1);
    return "rtrim(coalesce(" + std::string(column) + ", '')) = " + rtl::QuotedStr(kept);
}

std::optional<std::string> ChangedColumnsUpdateSql(std::string_view table, std::string_view key,
                                                   const std::vector<TColumnEdit>& columns)
{
    std::string set, still;
    for (const TColumnEdit& c : columns) {
        if (c.Read == c.Written) continue;
        set += (set.empty() ? "" : ", ") + c.Column + " = " + rtl::QuotedStr(c.Written);
        still += " and " + StillReadsSql(c.Column, c.Read);
    }
    if (set.empty()) return std::nullopt;
    return "update " + std::string(table) + " set " + set + " where " + std::string(key) + still;
}

TRowEditOutcome RunRowEdit(TEdsQuery& query, const std::string& update, std::string_view table,
                           std::string_view key)
{
    query.Close();
    query.SetSQLText(update);
    query.ExecSQL();
    if (query.RowsAffected() > 0) return TRowEditOutcome::Saved;
    query.SetSQLText("select * from " + std::string(table) + " where " + std::string(key));
    query.Open();
    const bool there = !query.IsEmpty();
    query.Close();
    return there ? TRowEditOutcome::ChangedElsewhere : TRowEditOutcome::Deleted;
}

void TellRowEditOutcome(TRowEditOutcome outcome, const std::string& what)
{
    switch (outcome) {
        case TRowEditOutcome::Saved: break;
        case TRowEditOutcome::ChangedElsewhere:
            ui::ShowWarning("The " + what +
                            " was changed at another station; nothing was saved. Open it again to see its values.");
            break;
        case TRowEditOutcome::Deleted:
            ui::ShowWarning("The " + what + " was deleted at another station; the change was not saved.");
            break;
    }
}
