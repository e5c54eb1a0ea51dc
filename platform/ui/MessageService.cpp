#include "platform/ui/MessageService.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QString>

#include <algorithm>
#include <stdexcept>

namespace ui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Texts built for the old platform end lines with CR LF or LF CR; a Qt label
// wants one LF per line break.
QString DisplayText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            const char other = c == '\r' ? '\n' : '\r';
            if (i + 1 < text.size() && text[i + 1] == other) ++i;
            out += '\n';
        } else {
            out += c;
        }
    }
    return Q(out);
}

// The choice box: buttons laid from the right edge leftwards in the caller's
// order, all of one width, the last one focused; closing the box without a
// button gives mrCancel.
int RunChoiceDialog(const MessageRequest& request) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(Q(request.title));
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                          Qt::WindowStaysOnTopHint);
    const QFontMetrics fm(dialog.font());
    const int count = static_cast<int>(request.customButtons.size());
    int buttonWidth = 0;
    for (const auto& caption : request.customButtons)
        buttonWidth = std::max(buttonWidth, fm.horizontalAdvance(QString(Q(caption)).remove('&')) + 10);
    const int rowWidth = count * buttonWidth + (count + 1) * 10;
    const QString text = DisplayText(request.text);
    int width = 325;
    const int textWidth = fm.horizontalAdvance(text);
    if (rowWidth > width || rowWidth > textWidth) width = std::max(width, rowWidth);

    auto* label = new QLabel(text, &dialog);
    label->setWordWrap(true);
    const int lineHeight = fm.height();
    const int labelWidth = width - 20;
    const int lines = textWidth <= labelWidth ? 3 : textWidth / labelWidth + 3;
    label->setGeometry(10, 10, labelWidth, lines * lineHeight);
    const int height = 4 * lineHeight + lines * lineHeight + 22;
    dialog.setFixedSize(width, height);

    for (int i = 0; i < count; ++i) {
        auto* button = new QPushButton(Q(request.customButtons[static_cast<std::size_t>(i)]), &dialog);
        button->setGeometry(width - (i + 1) * (buttonWidth + 10), height - 35, buttonWidth, 25);
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, i] { dialog.done(i + 1); });
        button->setDefault(i == count - 1);
        button->setFocus();
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog.move(screen->geometry().center() - dialog.rect().center());
    const int result = dialog.exec();
    return result >= 1 && result <= count ? result : mrCancel;
}

class QtPresenter : public MessagePresenter {
public:
    int Present(const MessageRequest& request) override {
        if (request.buttons == MsgButtons::Custom) return RunChoiceDialog(request);
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(Q(request.title.empty() ? DefaultTitle(request.kind) : request.title));
        box.setText(DisplayText(request.text));
        if (!request.details.empty()) box.setDetailedText(DisplayText(request.details));
        switch (request.kind) {
            case MsgKind::Error: box.setIcon(QMessageBox::Critical); break;
            case MsgKind::Warning: box.setIcon(QMessageBox::Warning); break;
            case MsgKind::Confirmation: box.setIcon(QMessageBox::Question); break;
            default: box.setIcon(QMessageBox::Information); break;
        }
        switch (request.buttons) {
            case MsgButtons::YesNo:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                box.setDefaultButton(QMessageBox::Yes);
                break;
            case MsgButtons::YesNoCancel:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                box.setDefaultButton(QMessageBox::Yes);
                box.setEscapeButton(QMessageBox::Cancel);
                break;
            default:
                box.setStandardButtons(QMessageBox::Ok);
                break;
        }
        switch (box.exec()) {
            case QMessageBox::Yes: return mrYes;
            case QMessageBox::No: return mrNo;
            case QMessageBox::Ok: return mrOk;
            default:
                // Closing a Yes/No box by its frame is not a Yes.
                return request.buttons == MsgButtons::Ok ? mrOk
                       : request.buttons == MsgButtons::YesNo ? mrNo
                                                               : mrCancel;
        }
    }
};

MessagePresenter*& Slot() {
    static QtPresenter qtPresenter;
    static MessagePresenter* current = &qtPresenter;
    return current;
}

int Show(MsgKind kind, MsgButtons buttons, const std::string& text, const std::string& title,
         const std::string& details = {}) {
    MessageRequest request;
    request.kind = kind;
    request.buttons = buttons;
    request.text = text;
    request.details = details;
    request.title = title.empty() ? DefaultTitle(kind) : title;
    return ShowMessage(request);
}

}  // namespace

std::string DefaultTitle(MsgKind kind) {
    switch (kind) {
        case MsgKind::Error: return "Error";
        case MsgKind::Warning: return "Warning";
        case MsgKind::Confirmation: return "Confirmation";
        case MsgKind::Choice: return "";
        default: return "Information";
    }
}

MessagePresenter& CurrentPresenter() { return *Slot(); }

int ShowMessage(const MessageRequest& request) { return Slot()->Present(request); }

void ShowError(const std::string& text, const std::string& title) {
    Show(MsgKind::Error, MsgButtons::Ok, text, title);
}
void ShowErrorDetails(const std::string& text, const std::string& details, const std::string& title) {
    Show(MsgKind::Error, MsgButtons::Ok, text, title, details);
}
void ShowInformation(const std::string& text, const std::string& title) {
    Show(MsgKind::Information, MsgButtons::Ok, text, title);
}
void ShowWarning(const std::string& text, const std::string& title) {
    Show(MsgKind::Warning, MsgButtons::Ok, text, title);
}
bool AskYesNo(const std::string& text, const std::string& title) {
    return Show(MsgKind::Confirmation, MsgButtons::YesNo, text, title) == mrYes;
}
int AskYesNoCancel(const std::string& text, const std::string& title) {
    const int result = Show(MsgKind::Confirmation, MsgButtons::YesNoCancel, text, title);
    return result == mrYes || result == mrNo ? result : mrCancel;
}
int ShowChoice(const std::string& caption, const std::string& text,
               const std::vector<std::string>& buttons) {
    MessageRequest request;
    request.kind = MsgKind::Choice;
    request.buttons = MsgButtons::Custom;
    request.title = caption;
    request.text = text;
    request.customButtons = buttons;
    return ShowMessage(request);
}

ScopedPresenter::ScopedPresenter(MessagePresenter& presenter) : previous_(Slot()) {
    Slot() = &presenter;
}
ScopedPresenter::~ScopedPresenter() { Slot() = previous_; }

ScriptedMessages::ScriptedMessages() : install_(std::make_unique<ScopedPresenter>(*this)) {}
ScriptedMessages::~ScriptedMessages() = default;

void ScriptedMessages::Answer(int modalResult) { answers_.push_back(modalResult); }

int ScriptedMessages::Present(const MessageRequest& request) {
    shown_.push_back(request);
    int result = mrOk;
    switch (request.buttons) {
        case MsgButtons::YesNo: result = mrNo; break;
        case MsgButtons::YesNoCancel:
        case MsgButtons::Custom: result = mrCancel; break;
        case MsgButtons::Ok: break;
    }
    if (onMessage) result = onMessage(request);
    if (nextAnswer_ < answers_.size()) result = answers_[nextAnswer_++];
    return result;
}

const MessageRequest& ScriptedMessages::Last() const {
    if (shown_.empty()) throw std::logic_error("no message was shown");
    return shown_.back();
}

void ScriptedMessages::Clear() {
    shown_.clear();
    answers_.clear();
    nextAnswer_ = 0;
}

}  // namespace ui
