#pragma once
// Switches the whole process (C locale and C++ global locale) to de_DE.UTF-8,
// a locale with "," as decimal point, built with localedef into a private
// folder so the test does not depend on what the machine has installed.
// Restores the C locale when it goes.

#include "tests/support/TestSupport.h"

#include <clocale>
#include <cstdlib>
#include <locale>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace testsupport {

// glibc keeps the LOCPATH list it parses in setlocale for good; that is the
// C library's, not a leak of ours.
class IgnoreLeaksOfCLibrary {
public:
#if defined(__SANITIZE_ADDRESS__)
    IgnoreLeaksOfCLibrary() { __lsan_disable(); }
    ~IgnoreLeaksOfCLibrary() { __lsan_enable(); }
#endif
};

class GermanLocale {
public:
    GermanLocale()
    {
        std::string target = (dir_ / "de_DE.UTF-8").string();
        CommandResult built = RunCommand("localedef -i de_DE -f UTF-8 '" + target + "' 2>&1");
        buildOutput_ = built.output;
        // localedef exits 1 for mere warnings; the locale is usable when setlocale takes it.
        ::setenv("LOCPATH", dir_.str().c_str(), 1);
        [[maybe_unused]] IgnoreLeaksOfCLibrary ignore;
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        if (active_) std::locale::global(std::locale("de_DE.UTF-8"));
    }
    ~GermanLocale()
    {
        [[maybe_unused]] IgnoreLeaksOfCLibrary ignore;
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
        ::unsetenv("LOCPATH");
    }
    GermanLocale(const GermanLocale&) = delete;
    GermanLocale& operator=(const GermanLocale&) = delete;

    bool Active() const { return active_; }
    const std::string& BuildOutput() const { return buildOutput_; }

private:
    TempDir dir_;
    std::string buildOutput_;
    bool active_ = false;
};

}  // namespace testsupport
