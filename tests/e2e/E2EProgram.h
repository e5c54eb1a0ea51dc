#pragma once
// The program binary run as a process by the end-to-end tests (their target
// names it in SENDORA_PROGRAM).

#include "tests/e2e/E2ESupport.h"

#include <string>

namespace e2e {

inline const std::string kMailer = "'Jane Roe' '12 Elm Street' '' '' Springfield IL 12345";

// The shell command that runs the program on the folder with `prints` prints
// (then the menu item `command`, when given), its stderr into `name`.out and
// its exit status into `name`.rc. `environment` adds variables ("NAME=value ...").
inline std::string ProgramCommand(const ProgramFolder& folder, int prints, const std::string& name,
                                  const std::string& command = {}, const std::string& environment = {})
{
    const std::string out = Quote((folder.home / (name + ".out")).string());
    const std::string rc = Quote((folder.home / (name + ".rc")).string());
    return "(QT_QPA_PLATFORM=offscreen SENDORA_UNATTENDED_PRINTS=" + std::to_string(prints) +
           (command.empty() ? std::string() : " SENDORA_UNATTENDED_COMMAND=" + Quote(command)) + " " +
           environment + " " + Quote(SENDORA_PROGRAM) + " " + kMailer + " >" + out + " 2>&1; echo $? >" + rc + ")";
}

inline std::string Status(const ProgramFolder& folder, const std::string& name)
{
    std::string rc = testsupport::ReadFile(folder.home / (name + ".rc"));
    while (!rc.empty() && rc.back() == '\n') rc.pop_back();
    return rc;
}

inline std::string Output(const ProgramFolder& folder, const std::string& name)
{
    return testsupport::ReadFile(folder.home / (name + ".out"));
}

}  // namespace e2e
