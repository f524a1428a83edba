#include "ui/bridge/UiFunctions.h"

#include "inventory/DisplayText.h"
#include "inventory/Inventory.h"
#include "system/Platform.h"
#include "ui/bridge/QtText.h"
#include "ui/logic/ViewLogic.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

namespace kelvo::ui {

namespace {
const VerdictTag allTags[] = {VerdictTag::safe, VerdictTag::likelyUnused, VerdictTag::inUse, VerdictTag::dependency};

QString tagRaw(VerdictTag tag) { return qtText(rawValue(tag)); }

std::optional<VerdictTag> tagFromRaw(const QString& raw) {
    for (VerdictTag tag : allTags) {
        if (tagRaw(tag) == raw) {
            return tag;
        }
    }
    return std::nullopt;
}

void openParentFolder(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}
} // namespace

UiFunctions::UiFunctions(QObject* parent) : QObject(parent) {}

QString UiFunctions::displayName(const QString& kind) {
    const auto parsed = managerKindFromRaw(kind.toStdString());
    return parsed ? qtText(kelvo::displayName(*parsed)) : QString();
}

QString UiFunctions::shortLabel(const QString& kind) {
    const auto parsed = managerKindFromRaw(kind.toStdString());
    return parsed ? qtText(kelvo::shortLabel(*parsed)) : QString();
}

QString UiFunctions::heatColorName(const QVariant& bytes) {
    std::optional<std::int64_t> value;
    if (bytes.isValid() && !bytes.isNull()) {
        bool ok = false;
        const double number = bytes.toDouble(&ok);
        if (ok) {
            value = static_cast<std::int64_t>(number);
        }
    }
    return qtText(kelvo::ui::heatColorName(value));
}

QString UiFunctions::displayText(const QString& text) { return qtText(escapeForTerminal(text.toStdString())); }

QString UiFunctions::abbreviatedPath(const QString& path) {
    return QString::fromStdString(kelvo::ui::abbreviatedPath(path.toStdString(), homeDirectory()));
}

QString UiFunctions::verdictLabel(const QString& tag) {
    const auto parsed = tagFromRaw(tag);
    return parsed ? qtText(kelvo::verdictLabel(*parsed)) : QString();
}

QString UiFunctions::verdictColorName(const QString& tag) {
    const auto parsed = tagFromRaw(tag);
    return parsed ? qtText(kelvo::verdictColorName(*parsed)) : QString();
}

QStringList UiFunctions::managerKinds() {
    QStringList kinds;
    for (ManagerKind kind : allManagerKinds) {
        kinds << qtText(rawValue(kind));
    }
    return kinds;
}

void UiFunctions::copyText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

QString UiFunctions::clipboardText() { return QGuiApplication::clipboard()->text(); }

void UiFunctions::reveal(const QString& path) {
    if (path.isEmpty() || !kelvo::pathExists(path.toStdString())) {
        return;
    }
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), QGuiApplication::instance());
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [path](QDBusPendingCallWatcher* done) {
            if (done->isError()) {
                openParentFolder(path);
            }
            done->deleteLater();
        });
        return;
    }
#endif
    openParentFolder(path);
}

} // namespace kelvo::ui
