#include "app/data/ShippedFiles.h"

#include "platform/rtl/Paths.h"

#include <QCoreApplication>
#include <QDir>

#include <utility>

namespace {

std::optional<std::vector<std::string>>& Override()
{
    static std::optional<std::vector<std::string>> folders;
    return folders;
}

}  // namespace

std::vector<std::string> ShippedFolders()
{
    if (Override()) return *Override();
    const QString exeDir = QCoreApplication::applicationDirPath();
    // SENDORA_SHARE_FROM_BIN is the install's share folder relative to its
    // bin folder, so an installed program finds its files under any prefix.
    return {exeDir.toStdString(), QDir::cleanPath(exeDir + "/" SENDORA_SHARE_FROM_BIN).toStdString()};
}

std::optional<std::string> FindShippedFile(const std::string& name)
{
    for (const std::string& folder : ShippedFolders())
        if (auto found = rtl::FindFileNoCase(folder, name)) return found;
    return std::nullopt;
}

ScopedShippedFolders::ScopedShippedFolders(std::vector<std::string> folders)
    : previous_(std::exchange(Override(), std::move(folders)))
{
}

ScopedShippedFolders::~ScopedShippedFolders() { Override() = std::move(previous_); }
