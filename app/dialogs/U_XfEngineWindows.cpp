#include "app/dialogs/U_XfEngineWindows.h"

#include <map>
#include <memory>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>

#include "dbfengine/platform/XfUi.h"
#include "platform/ui/MessageService.h"

namespace {

std::map<int, std::unique_ptr<QLabel>>& Panels()
{
    static std::map<int, std::unique_ptr<QLabel>> panels;
    return panels;
}

void ShowPanel(const xf::TXfPanelView& view)
{
    std::unique_ptr<QLabel>& panel = Panels()[view.Id];
    if (!panel) {
        panel = std::make_unique<QLabel>();
        panel->setAlignment(Qt::AlignCenter);
        panel->setAutoFillBackground(true);
        panel->setStyleSheet("QLabel { background: #ffff00; border: 2px outset #c0c0c0; }");
    }
    const Qt::WindowFlags flags = Qt::WindowStaysOnTopHint |
                                  (view.Caption.empty() ? Qt::FramelessWindowHint : Qt::Dialog);
    if (panel->windowFlags() != flags) panel->setWindowFlags(flags);
    panel->setWindowTitle(QString::fromStdString(view.Caption));
    panel->setText(QString::fromStdString(view.Text));
    if (panel->width() != view.Width || panel->height() != view.Height || !panel->isVisible()) {
        panel->resize(view.Width, view.Height);
        const QWidget* over = QApplication::activeWindow();
        const QRect area = over ? over->frameGeometry()
                                : (QApplication::primaryScreen() ? QApplication::primaryScreen()->geometry() : QRect());
        panel->move(area.x() + (area.width() - view.Width) / 2, area.y() + (area.height() - view.Height) / 2);
        panel->show();
    }
    panel->repaint();
}

}  // namespace

void InstallXfEngineWindows()
{
    xf::TXfUiHooks hooks;
    hooks.MessageBox = [](const std::string& text, const std::string& caption, unsigned) {
        ui::MessageRequest request;
        request.kind = ui::MsgKind::Error;
        request.title = caption;
        request.text = text;
        ui::ShowMessage(request);
        return xf::IDOK;
    };
    hooks.ShowPanel = ShowPanel;
    hooks.ClosePanel = [](int id) { Panels().erase(id); };
    hooks.MeasureText = [](const std::string& text, int& width, int& height) {
        const QRect box = QFontMetrics(QApplication::font()).boundingRect(QRect(), 0, QString::fromStdString(text));
        width = box.width();
        height = box.height();
    };
    hooks.ProcessMessages = [] { QApplication::processEvents(); };
    xf::XfSetUiHooks(hooks);
}
