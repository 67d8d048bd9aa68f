#include "framework/message_box.h"

#include "framework/app.h"
#include "framework/dialog.h"

#include <utility>

namespace fw {
namespace {
MessageBoxSink& sink() {
    static MessageBoxSink instance;
    return instance;
}
}  // namespace

MessageBoxSink setMessageBoxSink(MessageBoxSink next) {
    MessageBoxSink previous = std::move(sink());
    sink() = std::move(next);
    return previous;
}

int showMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    if (sink()) return sink()(MessageBoxCall{owner, text ? text : "", caption ? caption : "", type});
    return MessageBoxA(owner, text, caption, type);
}

UINT withDefaultIcon(UINT type) {
    if ((type & MB_ICONMASK) != 0) return type;
    switch (type & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
        return type | MB_ICONEXCLAMATION;
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return type | MB_ICONQUESTION;
    default:
        return type;
    }
}

}  // namespace fw

int AfxMessageBox(const char* text, UINT type, UINT /*helpId*/) {
    CDialog* running = CDialog::activeDialog();
    HWND owner = running ? running->GetSafeHwnd() : nullptr;
    return fw::showMessageBox(owner, text, AfxGetAppName(), fw::withDefaultIcon(type));
}
