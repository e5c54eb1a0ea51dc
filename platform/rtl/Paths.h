#pragma once
// File name helpers. Paths arrive written for Windows ("C:\Sendo\Data") as well
// as for Linux; both "\" and "/" separate folders everywhere here, and results
// use "/". Names on disk are matched without regard to case where asked.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

bool IsPathDelimiter(char c);

// Every "\" becomes "/"; runs of separators collapse to one (a leading "//"
// too). Nothing else changes.
std::string NormalizePath(std::string_view path);

std::string IncludeTrailingPathDelimiter(std::string_view path);
// Cuts trailing separators, but keeps a lone root "/".
std::string ExcludeTrailingPathDelimiter(std::string_view path);

// folder + "/" + name; an empty folder gives the name alone, an absolute name
// stays as it is.
std::string JoinPath(std::string_view folder, std::string_view name);
// The non-empty parts between separators ("/a\\b/" gives "a", "b").
std::vector<std::string> SplitPath(std::string_view path);

// Folder with its trailing "/" ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// Folder without a trailing "/" (the root stays "/").
std::string ExtractFileDir(std::string_view path);
std::string ExtractFileName(std::string_view path);
// The extension with its dot (".dbf"), "" when the name has none.
std::string ExtractFileExt(std::string_view path);
// Replaces the extension (or adds one); `extension` includes its dot, "" removes it.
std::string ChangeFileExt(std::string_view path, std::string_view extension);

bool FileExists(std::string_view path);
bool DirectoryExists(std::string_view path);
// Creates the folder and its parents; true when it exists afterwards.
bool ForceDirectories(std::string_view path);

// The path of the entry of `folder` whose name equals `name` ignoring ASCII
// case; an exact match wins over others. Nothing when absent or unreadable.
std::optional<std::string> FindFileNoCase(std::string_view folder, std::string_view name);
// `path` with each part matched on disk without regard to case, as far as the
// parts exist; the rest is appended as written (so a file about to be created
// lands in the existing folder whatever its case).
std::string ResolvePathNoCase(std::string_view path);

}  // namespace rtl
