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
#include <QPointer>
#include <QSysInfo>
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

bool openParentFolder(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
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
    return QString::fromStdString(kelvo::homeAbbreviated(path.toStdString(), homeDirectory()));
}

QString UiFunctions::projectFolderLabel(const QString& folder) {
    return QString::fromStdString(kelvo::ui::projectFolderLabel(folder.toStdString(), homeDirectory()));
}

QString UiFunctions::projectFoldersNote(int folderCount) {
    return qtText(kelvo::ui::projectFoldersNote(folderCount > 0));
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

QStringList UiFunctions::verdictFilters() {
    QStringList tiers;
    for (const auto filter : kelvo::ui::verdictFilters) {
        tiers << (filter ? qtText(rawValue(*filter)) : QString());
    }
    return tiers;
}

QString UiFunctions::verdictFilterTitle(const QString& tier) {
    return QString::fromStdString(kelvo::ui::verdictFilterTitle(verdictFilterFromRaw(tier.toStdString())));
}

void UiFunctions::copyText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

QString UiFunctions::clipboardText() { return QGuiApplication::clipboard()->text(); }

QString UiFunctions::revealLabel() {
#if defined(Q_OS_MACOS)
    return QStringLiteral("Reveal in Finder");
#else
    return QStringLiteral("Open containing folder");
#endif
}

QString UiFunctions::platformLine() {
#if defined(Q_OS_MACOS)
    return QStringLiteral("macOS 14+ \u00b7 Apple Silicon + Intel");
#else
    QString kernel = QSysInfo::kernelType();
    if (kernel == QLatin1String("linux")) {
        kernel = QStringLiteral("Linux");
    } else if (!kernel.isEmpty()) {
        kernel[0] = kernel[0].toUpper();
    }
    QString cpu = QSysInfo::currentCpuArchitecture();
    if (cpu == QLatin1String("x86_64")) {
        cpu = QStringLiteral("x86-64");
    } else if (cpu == QLatin1String("arm64")) {
        cpu = QStringLiteral("ARM64");
    }
    return kernel + QStringLiteral(" \u00b7 ") + cpu;
#endif
}

void UiFunctions::reveal(const QString& path) {
    if (path.isEmpty() || !kelvo::pathExists(path.toStdString())) {
        return;
    }
    const QPointer<UiFunctions> self(this);
    const auto fallBack = [self, path] {
        if (!openParentFolder(path) && self) {
            emit self->revealFailed(path);
        }
    };
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), QGuiApplication::instance());
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, watcher, [fallBack](QDBusPendingCallWatcher* done) {
                if (done->isError()) {
                    fallBack();
                }
                done->deleteLater();
            });
        return;
    }
#endif
    fallBack();
}

} // namespace kelvo::ui
