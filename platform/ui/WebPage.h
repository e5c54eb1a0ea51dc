#pragma once
// Opening a web page or a mail address with the desktop's own program.
// Tests replace the opener so nothing is started on the test machine.

#include <functional>
#include <string>

namespace ui {

using UrlOpener = std::function<bool(const std::string& url)>;

// Hands the address ("https://...", "mailto:...") to the current opener.
// Returns whether the desktop took it.
bool OpenWebPage(const std::string& url);

// Opens the address as OpenWebPage does; when nothing takes it (no opener, or
// the desktop's opener reports later that no browser or mail program was
// there), an information box gives the address to open by hand.
void OpenWebPageOrShowAddress(const std::string& url);

// Replaces the opener while it lives and puts the previous one back when it goes.
class ScopedUrlOpener {
public:
    explicit ScopedUrlOpener(UrlOpener opener);
    ~ScopedUrlOpener();
    ScopedUrlOpener(const ScopedUrlOpener&) = delete;
    ScopedUrlOpener& operator=(const ScopedUrlOpener&) = delete;

private:
    UrlOpener previous_;
};

}  // namespace ui
