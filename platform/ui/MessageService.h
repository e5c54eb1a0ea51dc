#pragma once
// Every message box of the program goes through here, so tests can answer
// them and read what the user would have seen.
//
// The four kinds of box the program shows: error, information, warning (each
// with an OK button) and a question (Yes/No, or Yes/No/Cancel where something
// is about to be deleted). A choice box carries buttons with the caller's own
// captions. Only the GUI thread shows messages.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// Modal results, numbered as the program's windows expect them.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

enum class MsgKind { Error, Information, Warning, Confirmation, Choice };

enum class MsgButtons {
    Ok,           // error, information, warning
    YesNo,        // questions
    YesNoCancel,  // questions before a deletion
    Custom,       // a choice box: captions in MessageRequest::customButtons
};

struct MessageRequest {
    MsgKind kind = MsgKind::Information;
    MsgButtons buttons = MsgButtons::Ok;
    std::string title;  // empty: the kind's own title ("Error", "Information", ...)
    std::string text;
    // Text for the curious, behind the box's "Show Details" button (an
    // engine's own error text, a path); empty: no such button.
    std::string details;
    std::vector<std::string> customButtons;  // choice box only, in the caller's order
};

// The default title of a kind of box.
std::string DefaultTitle(MsgKind kind);

// Where message boxes go. The real one shows modal Qt dialogs; tests install
// ScriptedMessages instead.
class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // Shows the box and returns the modal result: mrOk, mrYes, mrNo, mrCancel;
    // for a choice box the index of the pressed button + 1, or mrCancel when
    // the box was closed without a button.
    virtual int Present(const MessageRequest& request) = 0;
};

// The presenter in use (the Qt one unless a test replaced it).
MessagePresenter& CurrentPresenter();

// Every message of the program passes through this call.
int ShowMessage(const MessageRequest& request);

// Shorthands for the program's kinds of box. An empty title gives the kind's
// default title.
void ShowError(const std::string& text, const std::string& title = {});
void ShowInformation(const std::string& text, const std::string& title = {});
void ShowWarning(const std::string& text, const std::string& title = {});
// An error box whose cause is someone else's text: `text` says in the
// program's words what failed and what to do, `details` (shown only on
// "Show Details") holds the cause as it came.
void ShowErrorDetails(const std::string& text, const std::string& details, const std::string& title = {});
// True only when the user answered Yes.
bool AskYesNo(const std::string& text, const std::string& title = {});
// mrYes, mrNo or mrCancel.
int AskYesNoCancel(const std::string& text, const std::string& title = {});
// The index of the pressed button + 1, or mrCancel when closed without one.
int ShowChoice(const std::string& caption, const std::string& text,
               const std::vector<std::string>& buttons);

// Replaces the presenter while it lives and puts the previous one back when
// it goes (also when a test fails half way). Nests.
class ScopedPresenter {
public:
    explicit ScopedPresenter(MessagePresenter& presenter);
    ~ScopedPresenter();
    ScopedPresenter(const ScopedPresenter&) = delete;
    ScopedPresenter& operator=(const ScopedPresenter&) = delete;

private:
    MessagePresenter* previous_;
};

// A presenter for tests: answers from a queue and records every box.
// With the queue empty, a box gets its harmless answer: OK for a single
// button, No for Yes/No, Cancel for Yes/No/Cancel and for a choice box.
// Installs itself while it lives.
class ScriptedMessages : public MessagePresenter {
public:
    ScriptedMessages();
    ~ScriptedMessages() override;

    // Answers for the next boxes, in order.
    void Answer(int modalResult);
    // Called for each box, after it is recorded (a test can look at the
    // program's state while the box is "open"); its result is the answer
    // unless the queue has one.
    std::function<int(const MessageRequest&)> onMessage;

    int Present(const MessageRequest& request) override;

    const std::vector<MessageRequest>& Shown() const { return shown_; }
    const MessageRequest& Last() const;  // throws std::logic_error when none shown
    std::size_t Count() const { return shown_.size(); }
    std::size_t PendingAnswers() const { return answers_.size() - nextAnswer_; }
    void Clear();

private:
    std::vector<MessageRequest> shown_;
    std::vector<int> answers_;
    std::size_t nextAnswer_ = 0;
    std::unique_ptr<ScopedPresenter> install_;
};

}  // namespace ui
