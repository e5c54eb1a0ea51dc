#include "platform/report/ProjectFile.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace report {
namespace {

constexpr std::string_view kSignature = "SENDORA REPORT PROJECT 1";

std::string Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::vector<std::string> SplitBars(std::string_view value) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto bar = value.find('|', start);
        parts.push_back(Trim(value.substr(start, bar == std::string_view::npos ? bar : bar - start)));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    return parts;
}

class Parser {
public:
    Parser(std::string_view text, std::string fileName) : text_(text), fileName_(std::move(fileName)) {}

    ReportProject Run() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
        bool signed_ = false;
        ProjectReport* report = nullptr;
        std::size_t pos = 0;
        while (pos <= text_.size()) {
            const auto end = std::min(text_.find('\n', pos), text_.size());
            std::string_view raw = text_.substr(pos, end - pos);
            pos = end + 1;
            ++line_;
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            const std::string line = Trim(raw);
            if (line.empty() || line[0] == '#') continue;
            if (!signed_) {
                if (line != kSignature) Fail("the file does not begin with \"" + std::string(kSignature) + "\"");
                signed_ = true;
                continue;
            }
            if (Lower(line) == "[report]") {
                Finish(report);
                project_.reports.emplace_back();
                report = &project_.reports.back();
                reportLine_ = line_;
                continue;
            }
            const auto eq = line.find('=');
            if (eq == std::string::npos) Fail("\"key = value\" or [Report] expected");
            if (report == nullptr) Fail("a [Report] section must come first");
            Apply(*report, Lower(Trim(std::string_view(line).substr(0, eq))),
                  Trim(std::string_view(line).substr(eq + 1)));
        }
        if (!signed_) Fail("the file does not begin with \"" + std::string(kSignature) + "\"");
        Finish(report);
        return std::move(project_);
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EReportError("Report project " + fileName_ + ", line " + std::to_string(line_) + ": " + what + ".");
    }

    double Inches(const std::string& text) const {
        double value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || !(value > 0) || value > 100)
            Fail("\"" + text + "\" is not a width in inches");
        return value;
    }

    ProjectFont Font(const std::string& value) const {
        const auto parts = SplitBars(value);
        int size = 0;
        if (parts.size() == 2 && !parts[0].empty()) {
            const auto [end, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), size);
            if (ec == std::errc() && end == parts[1].data() + parts[1].size() && size >= 1 && size <= 200)
                return {parts[0], size};
        }
        Fail("a font is \"name | points\"");
    }

    void Apply(ProjectReport& report, const std::string& key, const std::string& value) {
        if (key == "name") {
            if (value.empty()) Fail("the report name is empty");
            report.name = value;
        } else if (key == "connection") {
            report.connection = value;
        } else if (key == "orientation") {
            const std::string v = Lower(value);
            if (v == "portrait") report.orientation = poPortrait;
            else if (v == "landscape") report.orientation = poLandscape;
            else Fail("the orientation is Portrait or Landscape");
        } else if (key == "title") {
            report.title = value;
        } else if (key == "titlefont") {
            report.titleFont = Font(value);
        } else if (key == "headerfont") {
            report.headerFont = Font(value);
        } else if (key == "font") {
            report.font = Font(value);
        } else if (key == "column") {
            const auto parts = SplitBars(value);
            if (parts.size() != 4 || parts[0].empty())
                Fail("a column is \"field | caption | width | Left, Center or Right\"");
            ProjectColumn column{parts[0], parts[1], Inches(parts[2]), pjLeft};
            const std::string justify = Lower(parts[3]);
            if (justify == "center") column.justify = pjCenter;
            else if (justify == "right") column.justify = pjRight;
            else if (justify != "left") Fail("a column is justified Left, Center or Right");
            report.columns.push_back(column);
        } else if (key == "footer") {
            report.footer = value;
        } else if (key == "total") {
            const auto parts = SplitBars(value);
            if (parts.size() != 2 || parts[0].empty()) Fail("a total is \"field | label\"");
            report.totalField = parts[0];
            report.totalLabel = parts[1];
        } else if (key == "count") {
            report.countLabel = value;
        } else {
            Fail("unknown key \"" + key + "\"");
        }
    }

    void Finish(ProjectReport* report) {
        if (report == nullptr) return;
        const auto keep = line_;
        line_ = reportLine_;
        if (report->name.empty()) Fail("the report has no Name");
        if (report->columns.empty()) Fail("the report \"" + report->name + "\" has no Column");
        for (const ProjectReport& other : project_.reports)
            if (&other != report && Lower(RunName(other.name)) == Lower(RunName(report->name)))
                Fail("a second report runs under the name \"" + RunName(report->name) + "\"");
        line_ = keep;
    }

    std::string_view text_;
    std::string fileName_;
    ReportProject project_;
    int line_ = 0;
    int reportLine_ = 0;
};

}  // namespace

ReportProject ParseProject(std::string_view text, const std::string& fileName) {
    return Parser(text, fileName).Run();
}

ReportProject LoadProject(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EReportError("The report project \"" + path + "\" cannot be opened.");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) throw EReportError("The report project \"" + path + "\" cannot be read.");
    return ParseProject(bytes.str(), path);
}

std::string RunName(const std::string& fullName) {
    std::string name;
    for (const char c : fullName)
        if (c != ' ') name += c;
    return name;
}

std::string ExpandText(const std::string& text, const std::map<std::string, std::string>& params, int page) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto open = text.find('{', pos);
        const auto close = open == std::string::npos ? open : text.find('}', open);
        if (close == std::string::npos) {
            out.append(text, pos);
            break;
        }
        out.append(text, pos, open - pos);
        const std::string key = text.substr(open + 1, close - open - 1);
        if (key == "Page") {
            out += std::to_string(page);
        } else if (const auto it = params.find(key); it != params.end()) {
            out += it->second;
        }
        pos = close + 1;
    }
    return out;
}

}  // namespace report
