#include "dbaccess/edsfunc.h"

#include "platform/rtl/Components.h"
#include "platform/rtl/SysUtils.h"

#include <charconv>
#include <iostream>
#include <vector>

namespace {

// Set while an EEDSDatabaseError is being filled in on this thread: an engine
// failure met meanwhile (say while the dataset's path is resolved) must not
// raise a second error inside the first.
thread_local bool tBuildingError = false;

class BuildingErrorGuard {
public:
    BuildingErrorGuard() { tBuildingError = true; }
    ~BuildingErrorGuard() { tBuildingError = false; }
    BuildingErrorGuard(const BuildingErrorGuard&) = delete;
    BuildingErrorGuard& operator=(const BuildingErrorGuard&) = delete;
};

std::mutex gHookMutex;
TEdsErrorHook gErrorHook;

// Engine error texts are asked for with room for 600 characters; a longer one
// (an SQL error quoting its statement) is asked for again with the room it needs.
constexpr UNSIGNED16 kErrorTextRoom = 600;

template <class Call>
bool ReadText(Call&& call, std::string& text) {
    std::vector<UNSIGNED8> buffer(kErrorTextRoom);
    UNSIGNED16 length = kErrorTextRoom;
    UNSIGNED32 rc = call(buffer.data(), &length);
    if (rc == EDS_E_INSUFFICIENT_BUFFER && length >= kErrorTextRoom && length < UINT16_MAX) {
        buffer.assign(static_cast<std::size_t>(length) + 1, 0);
        length = static_cast<UNSIGNED16>(buffer.size());
        rc = call(buffer.data(), &length);
    }
    if (rc != 0) return false;
    text = EdsBufferText(buffer.data(), buffer.size(), length);
    return true;
}

std::int32_t ParseNativeError(const std::string& text) {
    const std::string upper = rtl::UpperCase(text);
    if (upper.find("ERROR 7200:") == std::string::npos) return 0;
    static constexpr std::string_view kMarker = "NATIVEERROR = ";
    const auto at = upper.find(kMarker);
    if (at == std::string::npos) return 0;
    const auto start = at + kMarker.size();
    const auto end = upper.find(';', start);
    const std::string number = rtl::Trim(upper.substr(start, end == std::string::npos ? std::string::npos : end - start));
    std::int32_t value = 0;
    const char* first = number.data();
    const char* last = first + number.size();
    if (first != last && *first == '+') ++first;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || number.empty()) return 0;
    return value;
}

std::string ParseColumnName(const std::string& text) {
    const std::string copy = text.substr(0, 900);
    static constexpr std::string_view kMarker = "column \"";
    const auto at = copy.find(kMarker);
    if (at == std::string::npos) return {};
    const auto start = at + kMarker.size();
    const auto end = copy.find('"', start);
    if (end == std::string::npos) return {};
    return copy.substr(start, end - start);
}

}  // namespace

TEdsThreadList<IEdsDataSet>& EdsDataSetList() {
    static TEdsThreadList<IEdsDataSet> list;
    return list;
}

void SetEdsErrorHook(TEdsErrorHook Hook) {
    std::lock_guard lock(gHookMutex);
    gErrorHook = std::move(Hook);
}

void EdsReportError(const std::string& Text) noexcept {
    try {
        TEdsErrorHook hook;
        {
            std::lock_guard lock(gHookMutex);
            hook = gErrorHook;
        }
        if (hook) {
            hook(Text);
        } else {
            std::cerr << Text << '\n';
        }
    } catch (...) {
        // Nowhere left to report to.
    }
}

void EdsReportCurrentException() noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        EdsReportError(e.what());
    } catch (...) {
        EdsReportError("Unknown error");
    }
}

bool EdsIsDesigning(const rtl::TComponent& Component) {
    return Component.ComponentState().Contains(rtl::csDesigning) ||
           (Component.Owner() != nullptr && Component.Owner()->ComponentState().Contains(rtl::csDesigning));
}

bool ReadEdsLastError(UNSIGNED32& Code, std::string& Text) {
    UNSIGNED32 code = 0;
    const bool ok = ReadText(
        [&code](UNSIGNED8* buffer, UNSIGNED16* length) { return EdsApi.EdsGetLastError(&code, buffer, length); },
        Text);
    Code = code;
    return ok;
}

bool ReadEdsErrorString(UNSIGNED32 Code, std::string& Text) {
    return ReadText(
        [Code](UNSIGNED8* buffer, UNSIGNED16* length) { return EdsApi.EdsGetErrorString(Code, buffer, length); },
        Text);
}

EEDSDatabaseError::EEDSDatabaseError(IEdsDataSet* DataSet, std::int32_t ErrorCode, const std::string& Text)
    : EEDSDatabaseError(Build(DataSet, ErrorCode, Text)) {}

EEDSDatabaseError::EEDSDatabaseError(Fields fields)
    : db::EDatabaseError(fields.Message), fields_(std::move(fields)) {}

EEDSDatabaseError::Fields EEDSDatabaseError::Build(IEdsDataSet* DataSet, std::int32_t ErrorCode,
                                                   const std::string& Text) {
    Fields f;
    // An error met while another is being built is swallowed by that builder:
    // it stays empty rather than run the dataset's answers a second time.
    if (tBuildingError) return f;
    BuildingErrorGuard building;
    f.ErrorCode = ErrorCode;
    if (DataSet != nullptr) {
        // A dataset half torn down may fail to answer; keep what was read.
        try {
            rtl::TComponent& component = DataSet->DataSetComponent();
            f.DataSetName = component.Name();
            if (component.Owner() != nullptr) f.OwnerName = component.Owner()->Name();
            f.DatabaseName = DataSet->DatabaseName();
            f.ConnectPath = DataSet->GetConnectPath();
            f.TableName = DataSet->TableName();
            if (ErrorCode == 5147 || ErrorCode == 5148 || ErrorCode == 5149) f.ColumnName = ParseColumnName(Text);
        } catch (...) {
        }
    }
    f.NativeError = ParseNativeError(Text);
    f.Message = f.DataSetName.empty() ? Text : f.DataSetName + ": " + Text;
    return f;
}

void CheckEdsError(IEdsDataSet* DataSet, UNSIGNED32 Code) {
    if (Code == 0 || tBuildingError) return;
    UNSIGNED32 lastCode = 0;
    std::string text;
    if (ReadEdsLastError(lastCode, text) && lastCode != 0) Code = lastCode;
    if (text.empty()) text = "Error " + std::to_string(Code);
    throw EEDSDatabaseError(DataSet, static_cast<std::int32_t>(Code), text);
}

void CheckEdsResultExcept5068(IEdsDataSet* DataSet, UNSIGNED32 Code) {
    if (Code == EDS_E_NO_CURRENT_RECORD) return;
    CheckEdsError(DataSet, Code);
}
