#pragma once
// The settings file "sendo4.ini" and the application-wide settings it holds.
// The file is read once at start-up and written once at close; windows change
// the variables in between.

#include <optional>
#include <string>

// Brands of the program: the maker's, and the reseller's (chosen by a logo file
// beside the program).
inline constexpr const char* kBrandMaker = "Farrowby";
inline constexpr const char* kBrandReseller = "Hollisand";
inline constexpr const char* kSettingsFileName = "sendo4.ini";
inline constexpr const char* kLogoFileName = "Scr_logo.bmp";

// The program folder without a trailing separator: where the user's data
// lives (settings file, Addresses, Log, MailerNum). Files the program ships
// are found elsewhere (ShippedFiles.h); a build folder never holds user data.
extern std::string gAppPath;

extern std::string gCompany;
extern std::string gYourAddressDB;
extern std::string gYourAddressID;
extern bool gShowFees;
extern std::string gPostage, gCertFee, gReturnFee, gRestrictedFee, gPriorityFee, gAddOunceFee;
extern bool gRestrictedOn;
extern bool gPriorityOn;
extern std::string gPrintExtraLabel;
extern std::string gExtraLabel;
extern int gAlignLeftRight, gAlignTopBottom;
extern bool gBarCodeApp;
extern std::string gMailerNumDB;
extern bool gDatabaseON;
extern std::string gAddressDB;
extern std::string gLogDB;
extern bool gBatch;
extern std::string gFindMailerType;
extern int gPrinterTray;  // 1-based tray of the printer; 0 leaves printer and tray alone
extern std::string gPrinterName;
// gPrintBarCode and the label cell gLabelRow/gLabelCol live in U_Globals.h.

// The program folder as the environment gives it: SENDORA_HOME when set,
// else $XDG_DATA_HOME/sendora-pro, else ~/.local/share/sendora-pro (a
// relative XDG_DATA_HOME is ignored, as the desktop's rules say).
std::string ProgramFolder();

// Path of the settings file in gAppPath.
std::string SettingsFilePath();

// False once start-up found that the program folder cannot be written; the
// user was told then, and the steps that would write there stand aside.
extern bool gProgramFolderWritable;

// Makes the program folder (and its parents) when missing and checks that a
// file can be made in it. Returns why it cannot, in the system's words, or
// "" when it can.
std::string ProgramFolderProblem(const std::string& folder);

// The one message for a program folder that cannot be written (`problem` as
// ProgramFolderProblem gave it): which folder, what it means and what to do.
void ShowProgramFolderNotWritable(const std::string& folder, const std::string& problem);

// Whether `path` lies in the program folder while that cannot be written.
bool InUnwritableProgramFolder(const std::string& path);

// Whether the settings file holds something other than settings text (binary
// junk: NUL or other control bytes, or no section at all). A missing or empty
// file is not junk.
bool SettingsFileIsJunk(const std::string& iniFile);

// Moves a junk settings file aside as <name>.bad (replacing an older one),
// so a clean file can take its place. Returns the path it was moved to.
// Raises rtl::Exception when it cannot be moved.
std::string SetAsideBadSettingsFile(const std::string& iniFile);

// What the settings file says beyond the variables: the Zeros switch is a
// menu check on the main window, and the brand rule may have found the logo.
struct TLoadedSettings {
    bool ZerosOn = true;
    bool LogoFound = false;  // the brand was settled by the logo file
};

// Reads every key, in order, into the variables, with the defaults for
// missing keys (a missing file gives all defaults). An empty Company is
// settled by ApplyCoBranding. Folder defaults are under gAppPath, which must
// be set first.
TLoadedSettings ReadSettings(const std::string& iniFile);

// The brand of a program folder without a saved one: the reseller's when its
// logo lies in gAppPath, else the maker's. A saved brand is kept.
bool ApplyCoBranding();

// Writes every key in the read order. Folders lose their trailing separators
// first. Raises rtl::EIniFileException when the file cannot be written.
void WriteSettings(const std::string& iniFile, bool zerosOn);

// The sender address ID as an integer, or nothing when it is empty or not an
// integer (it goes into SQL text, so nothing else may pass).
std::optional<int> YourAddressIdNumber();

// Puts every variable back to its default (tests, and a fresh start).
void ResetSettingsToDefaults();
