#pragma once

class QWindow;

namespace kelvo::ui {

// macOS: content up to the top edge, no title text, the window buttons over our title bar.
void applyHiddenTitleBarStyle(QWindow* window);

} // namespace kelvo::ui
