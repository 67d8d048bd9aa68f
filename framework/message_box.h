// Message boxes. Every box the updater shows goes through showMessageBox, so
// a test can install a sink that records the box and answers it instead of
// putting a window on the screen.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace fw {

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

using MessageBoxSink = std::function<int(const MessageBoxCall&)>;

// Installs a sink (an empty one restores the real message box). Returns the
// sink that was in place.
MessageBoxSink setMessageBoxSink(MessageBoxSink sink);

int showMessageBox(HWND owner, const char* text, const char* caption, UINT type);

// The icon the application message box adds to a box that names none: the
// question mark for yes/no boxes, the exclamation mark for the others.
UINT withDefaultIcon(UINT type);

}  // namespace fw

// The application message box: owned by the running dialog, captioned with the
// application title, and given the default icon when the caller names none.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
