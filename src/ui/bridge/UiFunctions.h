#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace kelvo::ui {

// Value functions and desktop actions the views share: manager names, heat colours, paths,
// verdict tags, the clipboard and revealing a path in the file manager. Stateless.
class UiFunctions : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Ui)
    QML_SINGLETON
    // The words this platform's users know for showing a file in its folder.
    Q_PROPERTY(QString revealLabel READ revealLabel CONSTANT)
    // The system Kelvo runs on, e.g. "Linux \u00b7 x86-64".
    Q_PROPERTY(QString platformLine READ platformLine CONSTANT)

public:
    explicit UiFunctions(QObject* parent = nullptr);

    Q_INVOKABLE static QString displayName(const QString& kind);
    Q_INVOKABLE static QString shortLabel(const QString& kind);
    // "heat1" … "heat4" for a byte count (null or undefined: heat4).
    Q_INVOKABLE static QString heatColorName(const QVariant& bytes);
    Q_INVOKABLE static QString abbreviatedPath(const QString& path);
    // The settings' texts for the folders searched for projects.
    Q_INVOKABLE static QString projectFolderLabel(const QString& folder);
    Q_INVOKABLE static QString projectFoldersNote(int folderCount);
    // Text from disk or tools as it may be shown: control and bidi-override characters escaped.
    Q_INVOKABLE static QString displayText(const QString& text);
    Q_INVOKABLE static QString verdictLabel(const QString& tag);
    Q_INVOKABLE static QString verdictColorName(const QString& tag);
    Q_INVOKABLE static QStringList managerKinds();
    // The verdict filter's raw tiers in order, "" (all verdicts) first, and the title of each.
    Q_INVOKABLE static QStringList verdictFilters();
    Q_INVOKABLE static QString verdictFilterTitle(const QString& tier);

    // Clears the clipboard and puts `text` on it as plain text.
    Q_INVOKABLE static void copyText(const QString& text);
    Q_INVOKABLE static QString clipboardText();
    static QString revealLabel();
    static QString platformLine();

    // Shows `path` selected in the file manager (freedesktop FileManager1, else its folder with
    // the desktop's default handler); revealFailed(path) when neither answers. Does nothing when
    // the path is gone.
    Q_INVOKABLE void reveal(const QString& path);

signals:
    void revealFailed(const QString& path);
};

} // namespace kelvo::ui
