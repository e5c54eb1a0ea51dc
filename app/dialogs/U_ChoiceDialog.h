#pragma once
// A modal question with the caller's own buttons.

#include <string>
#include <vector>

// Shows Message under Caption with one button per caption, laid from the right
// edge leftwards in the given order (the last one has the focus). Returns the
// index of the pressed button + 1, or ui::mrCancel when the box is closed
// without a button. Goes through the message service, so tests answer it.
int ShowChoiceDialog(const std::string& Caption, const std::string& Message,
                     const std::vector<std::string>& Buttons);
