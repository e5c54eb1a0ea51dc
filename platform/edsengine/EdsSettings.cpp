// Process settings and the last error.

#include "platform/edsengine/EdsSettings.h"

#include <cstdio>
#include <cstring>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsDates.h"

namespace eds {

Settings& ProcessSettings() {
    static Settings settings;
    return settings;
}

}  // namespace eds

using namespace eds;

UNSIGNED32 EdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen) {
    if (!pulErrCode) return EDS_E_INVALID_ARGUMENT;  // no last error of its own: it would overwrite the one asked for
    *pulErrCode = LastErrorCode();
    if (!pucBuf || !pusBufLen) return EDS_SUCCESS;
    const std::string text = LastErrorText();
    const std::size_t room = *pusBufLen;
    if (room == 0) return EDS_E_INSUFFICIENT_BUFFER;
    const std::size_t n = std::min(text.size(), room - 1);  // a long text is cut, never refused
    std::memcpy(pucBuf, text.data(), n);
    pucBuf[n] = 0;
    *pusBufLen = static_cast<UNSIGNED16>(n);
    return EDS_SUCCESS;
}

UNSIGNED32 EdsSetLastError(UNSIGNED32 ulErrCode, const UNSIGNED8* pucText) {
    return SetLastError(ulErrCode, std::string(TextArg(pucText)));
}

UNSIGNED32 EdsGetErrorString(UNSIGNED32 ulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen) {
    return Run([&] { CopyOut(DefaultErrorText(ulErrCode), pucBuf, pusBufLen); });
}

UNSIGNED32 EdsShowError(const UNSIGNED8* pucTitle) {
    std::fprintf(stderr, "%s: %s\n", std::string(TextArg(pucTitle)).c_str(), LastErrorText().c_str());
    return EDS_SUCCESS;
}

UNSIGNED32 EdsSetDateFormat(const UNSIGNED8* pucFormat) {
    return Run([&] {
        const std::string format(TextArg(pucFormat));
        if (format.size() > 11) Throw(EDS_E_INVALID_ARGUMENT, "The date format is longer than 11 characters.");
        DateFormat::Parse(format);  // refuses a format without day, month and year
        ProcessSettings().dateFormat = format;
    });
}

UNSIGNED32 EdsSetDecimals(UNSIGNED16 usDecimals) {
    return Run([&] { ProcessSettings().decimals = usDecimals; });
}

UNSIGNED32 EdsGetDecimals(UNSIGNED16* pusDecimals) {
    return Run([&] {
        CheckOut(pusDecimals, "decimals");
        *pusDecimals = ProcessSettings().decimals;
    });
}

UNSIGNED32 EdsShowDeleted(UNSIGNED16 bShowDeleted) {
    return Run([&] { ProcessSettings().showDeleted = bShowDeleted != 0; });
}

UNSIGNED32 EdsGetDeleted(UNSIGNED16* pbShowDeleted) {
    return Run([&] {
        CheckOut(pbShowDeleted, "flag");
        *pbShowDeleted = ProcessSettings().showDeleted ? 1 : 0;
    });
}

UNSIGNED32 EdsSetServerType(UNSIGNED16 usServerTypes) {
    return Run([&] {
        if ((usServerTypes & (EDS_LOCAL_SERVER | EDS_REMOTE_SERVER | EDS_AIS_SERVER)) == 0 ||
            (usServerTypes & ~(EDS_LOCAL_SERVER | EDS_REMOTE_SERVER | EDS_AIS_SERVER)) != 0)
            Throw(EDS_E_INVALID_ARGUMENT, "At least one known server type is required.");
        ProcessSettings().serverTypes = usServerTypes;
    });
}

UNSIGNED32 EdsCacheOpenTables(UNSIGNED16 usNumTables) {
    return Run([&] { ProcessSettings().cachedTables = usNumTables; });
}

UNSIGNED32 EdsCacheOpenCursors(UNSIGNED16 usNumCursors) {
    return Run([&] { ProcessSettings().cachedCursors = usNumCursors; });
}

UNSIGNED32 EdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter, UNSIGNED8* pucDesc,
                         UNSIGNED16* pusDescLen) {
    return Run([&] {
        if (pulMajor) *pulMajor = 7;
        if (pulMinor) *pulMinor = 10;
        if (pucLetter) *pucLetter = ' ';
        if (pucDesc && pusDescLen) CopyOut("Sendora client table engine", pucDesc, pusDescLen);
    });
}
