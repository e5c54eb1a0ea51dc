#include "platform/ui/WebPage.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <utility>

namespace ui {
namespace {

bool DesktopOpen(const std::string& url) {
    // Tolerant parsing: addresses come from labels and may carry blanks
    // (a mail subject), which the opener must receive percent-encoded.
    const QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty()) return false;
    return QDesktopServices::openUrl(parsed);
}

UrlOpener& Current() {
    static UrlOpener opener = DesktopOpen;
    return opener;
}

}  // namespace

bool OpenWebPage(const std::string& url) {
    const UrlOpener& opener = Current();
    return opener ? opener(url) : false;
}

ScopedUrlOpener::ScopedUrlOpener(UrlOpener opener) : previous_(std::exchange(Current(), std::move(opener))) {}

ScopedUrlOpener::~ScopedUrlOpener() { Current() = std::move(previous_); }

}  // namespace ui
