// Qt Quick tests of the views: the Kelvo module is registered as the window registers it.

#include "system/Platform.h"
#include "ui/bridge/KelvoApp.h"

#include <QObject>
#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        app_ = std::make_unique<kelvo::ui::KelvoApp>(QString::fromStdString(kelvo::resourceDirectory()));
        app_->registerQml();
    }

private:
    std::unique_ptr<kelvo::ui::KelvoApp> app_;
};

QUICK_TEST_MAIN_WITH_SETUP(kelvo_ui, Setup)

#include "QmlTestMain.moc"
