#pragma once

#include <QString>

class QQuickWindow;

namespace kelvo::ui {

class KelvoApp;

// Drives the window through its states and writes one PNG per state into `directory`:
// 01-start, 02-scanning, 03-main-dark, 04-main-light, 05-card-selected, 06-item-expanded,
// 07-group-expanded, 08-settings. Meant for a fixture
// result (--fixture-json) whose adapters take a while (its "delaysMs"). True when all were written.
bool renderScreenshots(QQuickWindow* window, KelvoApp& app, const QString& directory);

} // namespace kelvo::ui
