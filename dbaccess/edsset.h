#pragma once
// Process-wide engine settings (date format, decimals, deleted records, server
// types, caches) and the engine's error exceptions.

#include "dbaccess/edsapi.h"
#include "platform/rtl/Components.h"
#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

enum TEdsServerType { stEDS_REMOTE, stEDS_LOCAL, stEDS_AIS };

// A set of TEdsServerType.
class TEdsServerTypes {
public:
    constexpr TEdsServerTypes() = default;
    constexpr TEdsServerTypes(std::initializer_list<TEdsServerType> types) {
        for (TEdsServerType t : types) bits_ |= Bit(t);
    }
    constexpr bool Contains(TEdsServerType type) const { return (bits_ & Bit(type)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TEdsServerTypes&) const = default;

private:
    static constexpr unsigned Bit(TEdsServerType type) { return 1u << static_cast<unsigned>(type); }
    unsigned bits_ = 0;
};

// The engine's server-type bits of a set: remote 2, local 1, AIS 4.
UNSIGNED16 EdsServerTypeBits(TEdsServerTypes Types);

// Where an EdsError takes its text from.
enum class TEdsErrorSource {
    ErrorString,  // the engine's fixed text of the code
    LastError,    // this thread's last engine error
};

// An engine failure outside dataset operations. When the engine cannot give a
// text, EdsShowError is told and the message is "Error " + the code.
class EdsError : public rtl::Exception {
public:
    explicit EdsError(UNSIGNED32 Code, TEdsErrorSource Source = TEdsErrorSource::ErrorString);

private:
    static std::string TextOf(UNSIGNED32 Code, TEdsErrorSource Source);
};

class EdsSettingsError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

// The engine's process-wide options. One instance per process (the data module's
// EdsSettings1); a second one raises, except at design time. Use on one thread.
class TEdsSettings : public rtl::TComponent {
public:
    explicit TEdsSettings(rtl::TComponent* Owner);
    ~TEdsSettings() override;

    const std::string& DateFormat() const { return dateFormat_; }
    void SetDateFormat(const std::string& Value);
    std::int8_t NumDecimals() const { return numDecimals_; }
    void SetNumDecimals(std::int8_t Value);
    bool SetAppDate() const { return setAppDate_; }
    void SetSetAppDate(bool Value);
    bool ShowDeleted() const { return showDeleted_; }
    void SetShowDeleted(bool Value);
    TEdsServerTypes EdsServerTypes() const { return serverTypes_; }
    void SetEdsServerTypes(TEdsServerTypes Value);
    std::int8_t NumCachedTables() const { return numCachedTables_; }
    void SetNumCachedTables(std::int8_t Value);
    std::int8_t NumCachedCursors() const { return numCachedCursors_; }
    void SetNumCachedCursors(std::int8_t Value);

    // The engine's last error code.
    UNSIGNED32 LastError() const;
    // The number of tables the engine holds open (127 when more).
    std::int8_t NumOpenTables() const;

    // The instance made last, or null when it is gone.
    static TEdsSettings* Current();
    // Live instances.
    static int InstanceCount();
    // Told instead of raising when a second instance is made at design time.
    static void SetDesignWarningHook(std::function<void(const std::string&)> Hook);

private:
    void SetCacheSize(std::int8_t& field, std::int8_t value, const char* name,
                      UNSIGNED32 (*TEdsEntryPoints::*call)(UNSIGNED16));

    std::string dateFormat_;
    std::int8_t numDecimals_ = 0;
    bool setAppDate_ = false;
    bool showDeleted_ = false;
    TEdsServerTypes serverTypes_;
    std::int8_t numCachedTables_ = 0;
    std::int8_t numCachedCursors_ = 0;
    // The run-time library's date format and separator as they were before
    // SetAppDate first replaced them.
    std::optional<std::string> savedShortDateFormat_;
    char savedDateSeparator_ = '/';
};
