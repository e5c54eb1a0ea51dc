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

// The program folder without a trailing separator: SENDORA_HOME when set, else
// the executable's folder.
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

// The program folder as the environment or the executable gives it.
std::string ProgramFolder();

// Path of the settings file in gAppPath.
std::string SettingsFilePath();

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
