#include "platform/rtl/Paths.h"

#include "platform/rtl/SysUtils.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace rtl {

bool IsPathDelimiter(char c) { return c == '/' || c == '\\'; }

std::string NormalizePath(std::string_view path)
{
    std::string result;
    result.reserve(path.size());
    for (char c : path) {
        if (IsPathDelimiter(c)) {
            if (result.empty() || result.back() != '/') result += '/';
        } else {
            result += c;
        }
    }
    return result;
}

std::string IncludeTrailingPathDelimiter(std::string_view path)
{
    std::string result = NormalizePath(path);
    if (result.empty() || result.back() != '/') result += '/';
    return result;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path)
{
    std::string result = NormalizePath(path);
    if (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    if (folder.empty()) return NormalizePath(name);
    if (!name.empty() && IsPathDelimiter(name.front())) return NormalizePath(name);
    if (name.empty()) return NormalizePath(folder);
    return IncludeTrailingPathDelimiter(folder) + NormalizePath(name);
}

std::vector<std::string> SplitPath(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || IsPathDelimiter(path[i])) {
            if (i > start) parts.emplace_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

namespace {

// Index just after the last separator (0 when there is none).
std::size_t NameStart(std::string_view path)
{
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1])) return i;
    return 0;
}

}  // namespace

std::string ExtractFilePath(std::string_view path) { return NormalizePath(path.substr(0, NameStart(path))); }

std::string ExtractFileDir(std::string_view path)
{
    std::size_t start = NameStart(path);
    if (start == 0) return std::string();
    return ExcludeTrailingPathDelimiter(path.substr(0, start));
}

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(NameStart(path))); }

std::string ExtractFileExt(std::string_view path)
{
    std::string_view name = path.substr(NameStart(path));
    std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view extension)
{
    std::size_t start = NameStart(path);
    std::size_t dot = path.rfind('.');
    std::size_t cut = (dot != std::string_view::npos && dot >= start) ? dot : path.size();
    return std::string(path.substr(0, cut)) + std::string(extension);
}

bool FileExists(std::string_view path)
{
    std::error_code ec;
    return fs::is_regular_file(fs::path(NormalizePath(path)), ec);
}

bool DirectoryExists(std::string_view path)
{
    std::error_code ec;
    return fs::is_directory(fs::path(NormalizePath(path)), ec);
}

bool ForceDirectories(std::string_view path)
{
    std::string normal = ExcludeTrailingPathDelimiter(path);
    if (normal.empty()) return false;
    std::error_code ec;
    fs::create_directories(fs::path(normal), ec);
    return fs::is_directory(fs::path(normal), ec);
}

std::optional<std::string> FindFileNoCase(std::string_view folder, std::string_view name)
{
    std::string dir = folder.empty() ? std::string(".") : ExcludeTrailingPathDelimiter(folder);
    std::error_code ec;
    fs::path exact = fs::path(dir) / std::string(name);
    if (!name.empty() && fs::exists(exact, ec)) return JoinPath(folder, name);
    std::optional<std::string> found;
    fs::directory_iterator it(fs::path(dir), ec);
    if (ec) return std::nullopt;
    for (const fs::directory_entry& entry : it) {
        std::string entryName = entry.path().filename().string();
        if (SameText(entryName, name)) {
            // The smallest match in byte order, so the answer never depends on
            // the order the folder happens to list its entries in.
            if (!found || entryName < ExtractFileName(*found)) found = JoinPath(folder, entryName);
        }
    }
    return found;
}

std::string ResolvePathNoCase(std::string_view path)
{
    std::string normal = NormalizePath(path);
    bool absolute = !normal.empty() && normal.front() == '/';
    std::vector<std::string> parts = SplitPath(normal);
    std::string current = absolute ? "/" : "";
    bool onDisk = true;
    for (const std::string& part : parts) {
        if (onDisk && part != "." && part != "..") {
            if (std::optional<std::string> match = FindFileNoCase(current, part)) {
                current = *match;
                continue;
            }
            onDisk = false;
        }
        current = JoinPath(current, part);
    }
    if (!normal.empty() && normal.back() == '/' && (current.empty() || current.back() != '/')) current += '/';
    return current;
}

}  // namespace rtl
