#include "dbaccess/edsset.h"

#include "dbaccess/edsfunc.h"
#include "platform/rtl/DateUtils.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace {

std::mutex gSettingsMutex;
int gInstanceCount = 0;
TEdsSettings* gCurrent = nullptr;
std::function<void(const std::string&)> gDesignWarningHook;

constexpr const char* kDefaultDateFormat = "MM/dd/ccyy";

bool IsDateLetter(char c) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u == 'C' || u == 'Y' || u == 'M' || u == 'D';
}

}  // namespace

UNSIGNED16 EdsServerTypeBits(TEdsServerTypes Types) {
    UNSIGNED16 bits = 0;
    if (Types.Contains(stEDS_REMOTE)) bits |= EDS_REMOTE_SERVER;
    if (Types.Contains(stEDS_LOCAL)) bits |= EDS_LOCAL_SERVER;
    if (Types.Contains(stEDS_AIS)) bits |= EDS_AIS_SERVER;
    return bits;
}

EdsError::EdsError(UNSIGNED32 Code, TEdsErrorSource Source) : rtl::Exception(TextOf(Code, Source)) {}

std::string EdsError::TextOf(UNSIGNED32 Code, TEdsErrorSource Source) {
    std::string text;
    bool answered = false;
    if (Source == TEdsErrorSource::ErrorString) {
        answered = ReadEdsErrorString(Code, text);
    } else {
        UNSIGNED32 lastCode = 0;
        answered = ReadEdsLastError(lastCode, text);
        if (answered && lastCode != 0) Code = lastCode;
    }
    if (!answered) EdsApi.EdsShowError(EdsText("Eds Exception Error"));
    // An error without any text helps nobody: name at least its code.
    if (text.empty()) text = "Error " + std::to_string(Code);
    return text;
}

TEdsSettings::TEdsSettings(rtl::TComponent* Owner) : rtl::TComponent(Owner) {
    bool tooMany = false;
    {
        std::lock_guard lock(gSettingsMutex);
        ++gInstanceCount;
        tooMany = gInstanceCount > 1;
    }
    // A constructor that raises leaves no instance behind, so it must not leave
    // its count either.
    struct Uncount {
        bool armed = true;
        ~Uncount() {
            if (!armed) return;
            std::lock_guard lock(gSettingsMutex);
            --gInstanceCount;
        }
    } uncount;

    if (tooMany) {
        if (EdsIsDesigning(*this)) {
            std::function<void(const std::string&)> hook;
            {
                std::lock_guard lock(gSettingsMutex);
                hook = gDesignWarningHook;
            }
            if (hook) hook("Warning: Only one EdsSettings component is allowed per application.");
        } else {
            throw rtl::Exception("Only one EdsSettings component is allowed per application");
        }
    }

    setAppDate_ = true;
    SetNumCachedTables(0);
    SetNumCachedCursors(25);

    std::string format = rtl::ShortDateFormat;
    UNSIGNED32 rc = EdsApi.EdsSetDateFormat(EdsText(format));
    if (rc != 0) {
        format = kDefaultDateFormat;
        rc = EdsApi.EdsSetDateFormat(EdsText(format));
        if (rc != 0) throw EdsError(rc);
    }
    dateFormat_ = format.substr(0, 12);

    UNSIGNED16 decimals = 0;
    rc = EdsApi.EdsGetDecimals(&decimals);
    if (rc != 0) throw EdsError(rc);
    numDecimals_ = static_cast<std::int8_t>(std::min<UNSIGNED16>(decimals, INT8_MAX));

    UNSIGNED16 showDeleted = 0;
    rc = EdsApi.EdsGetDeleted(&showDeleted);
    if (rc != 0) throw EdsError(rc);
    showDeleted_ = showDeleted != 0;

    SetEdsServerTypes({stEDS_REMOTE, stEDS_AIS});

    std::lock_guard lock(gSettingsMutex);
    gCurrent = this;
    uncount.armed = false;
}

TEdsSettings::~TEdsSettings() {
    std::lock_guard lock(gSettingsMutex);
    --gInstanceCount;
    if (gCurrent == this) gCurrent = nullptr;
}

TEdsSettings* TEdsSettings::Current() {
    std::lock_guard lock(gSettingsMutex);
    return gCurrent;
}

int TEdsSettings::InstanceCount() {
    std::lock_guard lock(gSettingsMutex);
    return gInstanceCount;
}

void TEdsSettings::SetDesignWarningHook(std::function<void(const std::string&)> Hook) {
    std::lock_guard lock(gSettingsMutex);
    gDesignWarningHook = std::move(Hook);
}

void TEdsSettings::SetDateFormat(const std::string& Value) {
    const std::string value = Value.empty() ? std::string(kDefaultDateFormat) : Value;
    const std::string forEngine = value.substr(0, 11);
    const UNSIGNED32 rc = EdsApi.EdsSetDateFormat(EdsText(forEngine));
    if (rc != 0) throw EdsError(rc);
    dateFormat_ = value.substr(0, 12);
    if (!setAppDate_) return;

    std::string appFormat = dateFormat_;
    for (char& c : appFormat) {
        if (c == 'C' || c == 'c' || c == 'Y' || c == 'y') c = 'y';
    }
    if (!savedShortDateFormat_) {
        savedShortDateFormat_ = rtl::ShortDateFormat;
        savedDateSeparator_ = rtl::DateSeparator;
    }
    rtl::ShortDateFormat = appFormat;
    const auto separator = std::find_if(dateFormat_.begin(), dateFormat_.end(), [](char c) { return !IsDateLetter(c); });
    if (separator != dateFormat_.end()) rtl::DateSeparator = *separator;
}

void TEdsSettings::SetSetAppDate(bool Value) {
    const bool reading = ComponentState().Contains(rtl::csReading) || ComponentState().Contains(rtl::csLoading);
    if (!Value && reading && savedShortDateFormat_) {
        rtl::ShortDateFormat = *savedShortDateFormat_;
        rtl::DateSeparator = savedDateSeparator_;
    }
    setAppDate_ = Value;
}

void TEdsSettings::SetNumDecimals(std::int8_t Value) {
    const UNSIGNED32 rc = EdsApi.EdsSetDecimals(static_cast<UNSIGNED16>(Value));
    if (rc != 0) throw EdsError(rc);
    numDecimals_ = Value;
}

void TEdsSettings::SetShowDeleted(bool Value) {
    const UNSIGNED32 rc = EdsApi.EdsShowDeleted(Value ? 1 : 0);
    if (rc != 0) throw EdsError(rc);
    showDeleted_ = Value;
}

void TEdsSettings::SetEdsServerTypes(TEdsServerTypes Value) {
    if (Value == serverTypes_) return;
    const TEdsServerTypes old = serverTypes_;
    serverTypes_ = Value;
    auto restore = [this, old] { serverTypes_ = old.Empty() ? TEdsServerTypes{stEDS_REMOTE} : old; };
    if (Value.Empty()) {
        restore();
        throw EdsSettingsError("At least one server type must be selected.");
    }
    const UNSIGNED32 rc = EdsApi.EdsSetServerType(EdsServerTypeBits(Value));
    if (rc != 0) {
        restore();
        throw EdsError(rc);
    }
}

void TEdsSettings::SetCacheSize(std::int8_t& field, std::int8_t value, const char* name,
                                UNSIGNED32 (*TEdsEntryPoints::*call)(UNSIGNED16)) {
    if (value < 0) throw rtl::Exception(std::string(name) + " value must be greater than zero.");
    if (value == field) return;
    const UNSIGNED32 rc = (EdsApi.*call)(static_cast<UNSIGNED16>(value));
    // A size the engine refused is not the engine's size: keep the old one.
    if (rc != 0) throw EdsError(rc);
    field = value;
}

void TEdsSettings::SetNumCachedTables(std::int8_t Value) {
    SetCacheSize(numCachedTables_, Value, "NumCachedTables", &TEdsEntryPoints::EdsCacheOpenTables);
}

void TEdsSettings::SetNumCachedCursors(std::int8_t Value) {
    SetCacheSize(numCachedCursors_, Value, "NumCachedCursors", &TEdsEntryPoints::EdsCacheOpenCursors);
}

UNSIGNED32 TEdsSettings::LastError() const {
    UNSIGNED32 code = 0;
    const UNSIGNED32 rc = EdsApi.EdsGetLastError(&code, nullptr, nullptr);
    return rc != 0 ? rc : code;
}

std::int8_t TEdsSettings::NumOpenTables() const {
    UNSIGNED16 count = 0;
    if (EdsApi.EdsGetNumOpenTables(&count) != 0) return 0;
    return static_cast<std::int8_t>(std::min<UNSIGNED16>(count, INT8_MAX));
}
