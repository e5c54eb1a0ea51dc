#pragma once
// The hourglass while a long operation runs. The cursor comes back when the
// guard goes, on every path out of the operation, exceptions included.

namespace ui {

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    // Puts the cursor back before the guard goes (e.g. before a message box
    // in the middle of the operation). Calling it twice is harmless.
    void Restore();

private:
    bool active_ = false;
};

// Whether the hourglass is showing (for tests and for code that must not
// show a message under it).
bool WaitCursorShowing();

}  // namespace ui
