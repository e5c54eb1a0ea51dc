#include "platform/ui/WebPage.h"

#include "platform/ui/MessageService.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QUrl>

#include <utility>

namespace ui {
namespace {

// Called when the desktop's opener, started earlier, reports that nothing
// took the address; set only while OpenWebPageOrShowAddress runs.
std::function<void(const std::string&)>& LaterRefusal()
{
    static std::function<void(const std::string&)> handler;
    return handler;
}

// The desktop's own opener, xdg-open. Its answer comes when it ends: without
// any browser it ends with a failure status, while a browser it hands the
// address to may keep it running for as long as the browser runs.
bool DesktopOpen(const std::string& url)
{
    // Tolerant parsing: addresses come from labels and may carry blanks
    // (a mail subject), which the opener must receive percent-encoded.
    const QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty()) return false;
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty() || QCoreApplication::instance() == nullptr) return false;
    auto* process = new QProcess(QCoreApplication::instance());  // the application owns it until it ends
    process->setProgram(opener);
    process->setArguments({QString::fromUtf8(parsed.toEncoded())});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, url, refused = LaterRefusal()](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if ((code != 0 || status != QProcess::NormalExit) && refused) refused(url);
                     });
    process->start();
    if (process->waitForStarted()) return true;
    delete process;
    return false;
}

UrlOpener& Current()
{
    static UrlOpener opener = DesktopOpen;
    return opener;
}

void ShowAddress(const std::string& url)
{
    ShowInformation("No program on this computer could open the address below. Please open it in a web browser "
                    "or mail program yourself:\r\r" +
                    url);
}

}  // namespace

bool OpenWebPage(const std::string& url)
{
    const UrlOpener& opener = Current();
    return opener ? opener(url) : false;
}

void OpenWebPageOrShowAddress(const std::string& url)
{
    LaterRefusal() = ShowAddress;
    const bool taken = OpenWebPage(url);
    LaterRefusal() = nullptr;
    if (!taken) ShowAddress(url);
}

ScopedUrlOpener::ScopedUrlOpener(UrlOpener opener) : previous_(std::exchange(Current(), std::move(opener))) {}

ScopedUrlOpener::~ScopedUrlOpener() { Current() = std::move(previous_); }

}  // namespace ui
