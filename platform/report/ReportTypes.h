#pragma once
// Types shared by the report system, the page writer and the project runner.

#include "platform/rtl/SysUtils.h"

namespace report {

// A report that cannot run: a missing or malformed project file, an unknown
// report or column, no data connection.
class EReportError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

enum TReportDest { rdPreview, rdPrinter };

enum TOrientation { poPortrait, poLandscape };

// Setup options the system may offer before a run. The program offers none.
enum TSystemSetup { ssAllowSetup = 1, ssAllowCopies = 2, ssAllowPrinterSetup = 4, ssAllowPreviewSetup = 8 };
using TSystemSetups = int;  // a set of TSystemSetup bits

// How a tab column places its text.
enum TPrintJustify { pjLeft, pjCenter, pjRight };

// Justification applied to every tab column at once; tjNone leaves each
// tab its own.
enum TTabJustify { tjNone, tjLeft, tjCenter, tjRight };

// SetTab position meaning "right after the previous tab".
constexpr double NA = -32768;

// SetTab box lines, combined with |.
constexpr int BOXLINENONE = 0;
constexpr int BOXLINELEFT = 1;
constexpr int BOXLINERIGHT = 2;
constexpr int BOXLINETOP = 4;
constexpr int BOXLINEBOTTOM = 8;
constexpr int BOXLINEALL = 15;

}  // namespace report
