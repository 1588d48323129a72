#include "platform/qt/qt_icons.hpp"

#include <QApplication>
#include <QFile>
#include <QStyle>

// The resource of the shipped icons lives in this library; naming its initialiser here keeps
// it in every program that asks for an icon.
static void InitShippedIcons() {
    Q_INIT_RESOURCE(zelt_icons);
}

namespace zelt::platform {

namespace {
struct Known {
    const char* name;
    const char* theme;
    QStyle::StandardPixmap fallback;
    bool shipped;  // the project ships the theme icon (":/zelt/icons/<theme>-<size>.png")
};
// Names as windows declare them (lower case, without "~" and ".ico").
constexpr Known kKnown[] = {
    {"check", "object-select", QStyle::SP_DialogApplyButton, false},
    {"folder-open", "folder-open", QStyle::SP_DirOpenIcon, true},
    {"open", "folder-open", QStyle::SP_DirOpenIcon, true},
    {"folder", "folder", QStyle::SP_DirClosedIcon, true},
    {"pick", "folder", QStyle::SP_DirClosedIcon, true},
    {"file", "text-x-generic", QStyle::SP_FileIcon, false},
    {"shutfold", "application-x-executable", QStyle::SP_FileIcon, true},
    {"zelt", "zelt", QStyle::SP_ComputerIcon, true},
    {"vextor", "system-run", QStyle::SP_MediaPlay, false},
};

QIcon Fallback(const Known& k) {
    if (!k.shipped) return QApplication::style()->standardIcon(k.fallback);
    static const bool initialised = (InitShippedIcons(), true);
    (void)initialised;
    QIcon icon;
    for (int size : {16, 32, 48}) {
        const QString file =
            QStringLiteral(":/zelt/icons/%1-%2.png").arg(QLatin1String(k.theme)).arg(size);
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    return icon;
}
}  // namespace

QIcon IconByName(const std::string& declared) {
    if (declared.empty()) return {};
    QString name = QString::fromStdString(declared).toLower();
    if (name.startsWith('~')) name.remove(0, 1);
    if (name.endsWith(".ico")) name.chop(4);
    for (const auto& k : kKnown) {
        if (name == QLatin1String(k.name))
            return QIcon::fromTheme(QLatin1String(k.theme), Fallback(k));
    }
    return QIcon::fromTheme(name, QApplication::style()->standardIcon(QStyle::SP_FileIcon));
}

QIcon StockIconOf(runtime::StockIcon icon) {
    using runtime::StockIcon;
    switch (icon) {
        case StockIcon::Hand:
            return QIcon::fromTheme(
                "dialog-error", QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical));
        case StockIcon::Question:
            return QIcon::fromTheme("dialog-question", QApplication::style()->standardIcon(
                                                           QStyle::SP_MessageBoxQuestion));
        case StockIcon::Exclamation:
            return QIcon::fromTheme("dialog-warning", QApplication::style()->standardIcon(
                                                          QStyle::SP_MessageBoxWarning));
        case StockIcon::Asterisk:
            return QIcon::fromTheme("dialog-information", QApplication::style()->standardIcon(
                                                              QStyle::SP_MessageBoxInformation));
        case StockIcon::Application:
            return IconByName("zelt");
        case StockIcon::None:
            break;
    }
    return {};
}

}  // namespace zelt::platform
