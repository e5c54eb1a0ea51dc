#include "app/data/U_Settings.h"

#include "app/data/U_Globals.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

std::string gAppPath;
std::string gCompany;
std::string gYourAddressDB;
std::string gYourAddressID;
bool gShowFees = true;
std::string gPostage = "0.39", gCertFee = "2.40", gReturnFee = "1.85", gRestrictedFee = "3.50",
            gPriorityFee = "6.95", gAddOunceFee = "0.24";
bool gRestrictedOn = false;
bool gPriorityOn = false;
std::string gPrintExtraLabel = "Yes";
std::string gExtraLabel = "Addressed To";
int gAlignLeftRight = 0, gAlignTopBottom = 0;
bool gBarCodeApp = true;
std::string gMailerNumDB;
bool gDatabaseON = false;
std::string gAddressDB;
std::string gLogDB;
bool gBatch = false;
std::string gFindMailerType = "1";
int gPrinterTray = 0;
std::string gPrinterName;
bool gProgramFolderWritable = true;

namespace {

std::string Under(const std::string& name) { return rtl::JoinPath(gAppPath, name); }

// Folders are kept without trailing separators, so "folder" + "/" + name
// never doubles one; a lone root stays a root.
std::string WithoutTrailingDelimiters(std::string folder)
{
    while (folder.size() > 1 && rtl::IsPathDelimiter(folder.back())) folder.pop_back();
    return folder;
}

int ClampCell(int value) { return value < 0 || value > 2 ? 0 : value; }

}  // namespace

std::string ProgramFolder()
{
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    if (const std::string home = variable("SENDORA_HOME"); !home.empty()) return WithoutTrailingDelimiters(home);
    std::string dataHome = variable("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome.front() != '/') {
        const std::string userHome = variable("HOME");
        dataHome = rtl::JoinPath(userHome.empty() ? QDir::homePath().toStdString() : userHome, ".local/share");
    }
    return rtl::JoinPath(WithoutTrailingDelimiters(dataHome), "sendora-pro");
}

std::string SettingsFilePath() { return Under(kSettingsFileName); }

void ResetSettingsToDefaults()
{
    gCompany.clear();
    gYourAddressDB = Under("Addresses");
    gYourAddressID.clear();
    gShowFees = true;
    gPostage = "0.39";
    gCertFee = "2.40";
    gReturnFee = "1.85";
    gRestrictedFee = "3.50";
    gPriorityFee = "6.95";
    gAddOunceFee = "0.24";
    gRestrictedOn = false;
    gPriorityOn = false;
    gPrintBarCode = true;
    gPrintExtraLabel = "Yes";
    gExtraLabel = "Addressed To";
    gAlignLeftRight = gAlignTopBottom = 0;
    gLabelRow = gLabelCol = 0;
    gBarCodeApp = true;
    gMailerNumDB = gAppPath;
    gDatabaseON = false;
    gAddressDB = Under("Addresses");
    gLogDB = Under("Log");
    gBatch = false;
    gFindMailerType = "1";
    gPrinterTray = 0;
    gPrinterName.clear();
}

bool ApplyCoBranding()
{
    if (!gCompany.empty()) return false;
    bool logo = false;
    if (rtl::FileExists(Under(kLogoFileName))) {
        gCompany = kBrandReseller;
        logo = true;
    }
    if (gCompany.empty()) gCompany = kBrandMaker;
    return logo;
}

TLoadedSettings ReadSettings(const std::string& iniFile)
{
    const rtl::TIniFile ini(iniFile);
    TLoadedSettings loaded;
    gCompany = ini.ReadString("Type", "Company", "");
    loaded.LogoFound = ApplyCoBranding();
    gYourAddressDB = ini.ReadString("YourAddress", "DB", Under("Addresses"));
    gYourAddressID = ini.ReadString("YourAddress", "ID", "");
    gShowFees = ini.ReadBool("Values", "Default", true);
    gPostage = ini.ReadString("Values", "Postage", "0.39");
    gCertFee = ini.ReadString("Values", "CertFee", "2.40");
    gReturnFee = ini.ReadString("Values", "Return", "1.85");
    gRestrictedFee = ini.ReadString("Values", "Restricted", "3.50");
    gPriorityFee = ini.ReadString("Values", "Priority", "6.95");
    gAddOunceFee = ini.ReadString("Values", "AddOunce", "0.24");
    gRestrictedOn = ini.ReadBool("Values", "RestrictedCB", false);
    gPriorityOn = ini.ReadBool("Values", "PriorityCB", false);
    gPrintBarCode = ini.ReadBool("Values", "PrintBarCode", true);
    gPrintExtraLabel = ini.ReadString("Printing", "PrintExtraLabel", "Yes");
    gExtraLabel = ini.ReadString("Printing", "ExtraLabel", "Addressed To");
    gAlignLeftRight = ini.ReadInteger("Print Align", "LeftRight", 0);
    gAlignTopBottom = ini.ReadInteger("Print Align", "TopBottom", 0);
    // A cell outside the 3 by 3 sheet would print off the paper.
    gLabelRow = ClampCell(ini.ReadInteger("LabelPos", "Row", 0));
    gLabelCol = ClampCell(ini.ReadInteger("LabelPos", "Col", 0));
    gBarCodeApp = ini.ReadBool("Type", "BarCodeApp", true);
    gMailerNumDB = ini.ReadString("System Path", "MailerNumDB", gAppPath);
    gDatabaseON = ini.ReadBool("System Path", "DatabaseON", false);
    gAddressDB = ini.ReadString("System Path", "AddressDB", Under("Addresses"));
    loaded.ZerosOn = ini.ReadBool("Printing", "Zeros", true);
    gLogDB = ini.ReadString("System Path", "LogDB", Under("Log"));
    gBatch = ini.ReadBool("Printing", "Batch", false);
    gFindMailerType = ini.ReadString("Type", "FindMailerType", "1");
    gPrinterTray = ini.ReadInteger("Printer", "PTray", 0);
    gPrinterName = ini.ReadString("Printer", "Printer", "");
    return loaded;
}

void WriteSettings(const std::string& iniFile, bool zerosOn)
{
    gMailerNumDB = WithoutTrailingDelimiters(gMailerNumDB);
    gLogDB = WithoutTrailingDelimiters(gLogDB);
    gYourAddressDB = WithoutTrailingDelimiters(gYourAddressDB);
    gAddressDB = WithoutTrailingDelimiters(gAddressDB);

    rtl::TIniFile ini(iniFile);
    ini.WriteString("Type", "Company", gCompany);
    ini.WriteString("YourAddress", "DB", gYourAddressDB);
    ini.WriteString("YourAddress", "ID", gYourAddressID);
    ini.WriteBool("Values", "Default", gShowFees);
    ini.WriteString("Values", "Postage", gPostage);
    ini.WriteString("Values", "CertFee", gCertFee);
    ini.WriteString("Values", "Return", gReturnFee);
    ini.WriteString("Values", "Restricted", gRestrictedFee);
    ini.WriteString("Values", "Priority", gPriorityFee);
    ini.WriteString("Values", "AddOunce", gAddOunceFee);
    ini.WriteBool("Values", "RestrictedCB", gRestrictedOn);
    ini.WriteBool("Values", "PriorityCB", gPriorityOn);
    ini.WriteBool("Values", "PrintBarCode", gPrintBarCode);
    ini.WriteString("Printing", "PrintExtraLabel", gPrintExtraLabel);
    ini.WriteString("Printing", "ExtraLabel", gExtraLabel);
    ini.WriteInteger("Print Align", "LeftRight", gAlignLeftRight);
    ini.WriteInteger("Print Align", "TopBottom", gAlignTopBottom);
    ini.WriteInteger("LabelPos", "Row", gLabelRow);
    ini.WriteInteger("LabelPos", "Col", gLabelCol);
    ini.WriteBool("type", "BarCodeApp", gBarCodeApp);
    ini.WriteString("System Path", "MailerNumDB", gMailerNumDB);
    ini.WriteBool("System Path", "DatabaseON", gDatabaseON);
    ini.WriteString("System Path", "AddressDB", gAddressDB);
    ini.WriteBool("Printing", "Zeros", zerosOn);
    ini.WriteString("System Path", "LogDB", gLogDB);
    ini.WriteBool("Printing", "Batch", gBatch);
    ini.WriteString("Type", "FindMailerType", gFindMailerType);
    ini.WriteInteger("Printer", "PTray", gPrinterTray);
    ini.WriteString("Printer", "Printer", gPrinterName);
}

std::optional<int> YourAddressIdNumber()
{
    int id = 0;
    if (!rtl::TryStrToInt(rtl::Trim(gYourAddressID), id)) return std::nullopt;
    return id;
}

std::string ProgramFolderProblem(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return ec.message();
    std::string probe = rtl::JoinPath(folder, ".sendora-write-check-XXXXXX");
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

void ShowProgramFolderNotWritable(const std::string& folder, const std::string& problem)
{
    ui::ShowErrorDetails(
        "The data folder " + folder +
            " cannot be written, so nothing can be saved while the program runs: no mail log, no mailer numbers, "
            "no addresses, no settings.\r\r"
            "Make the folder writable for your user, or set SENDORA_HOME to a folder you can write, and start the "
            "program again.",
        problem);
}

bool InUnwritableProgramFolder(const std::string& path)
{
    if (gProgramFolderWritable) return false;
    const std::string folder = rtl::IncludeTrailingPathDelimiter(rtl::NormalizePath(gAppPath));
    const std::string inside = rtl::IncludeTrailingPathDelimiter(rtl::NormalizePath(path));
    return inside.compare(0, folder.size(), folder) == 0;
}

bool SettingsFileIsJunk(const std::string& iniFile)
{
    std::ifstream in(iniFile, std::ios::binary);
    if (!in) return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool section = false;
    bool lineStart = true;
    const std::string_view text = std::string_view(bytes).substr(bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0);
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        // Text files carry tabs, line ends and perhaps an end-of-file mark; no other control bytes.
        if (u < 0x20 && c != '\t' && c != '\r' && c != '\n' && u != 0x1A) return true;
        if (lineStart && c == '[') section = true;
        if (c != ' ' && c != '\t') lineStart = c == '\r' || c == '\n';
    }
    return !section && text.find_first_not_of(" \t\r\n\x1A") != std::string_view::npos;
}

std::string SetAsideBadSettingsFile(const std::string& iniFile)
{
    const std::string bad = iniFile + ".bad";
    std::error_code ec;
    std::filesystem::rename(iniFile, bad, ec);
    if (ec) throw rtl::Exception("The settings file " + iniFile + " could not be renamed to " + bad + ": " + ec.message());
    return bad;
}
