#include "ui/MacWindowStyle.h"

#include <QWindow>

#import <AppKit/AppKit.h>

namespace kelvo::ui {

void applyHiddenTitleBarStyle(QWindow* window) {
    if (window == nullptr) {
        return;
    }
    NSView* view = reinterpret_cast<NSView*>(window->winId());
    NSWindow* nsWindow = [view window];
    if (nsWindow == nil) {
        return;
    }
    nsWindow.styleMask |= NSWindowStyleMaskFullSizeContentView;
    nsWindow.titlebarAppearsTransparent = YES;
    nsWindow.titleVisibility = NSWindowTitleHidden;
}

} // namespace kelvo::ui
