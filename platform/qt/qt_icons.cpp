#include "platform/qt/qt_icons.hpp"

#include <QApplication>
#include <QStyle>

namespace zelt::platform {

namespace {
struct Known {
    const char* name;
    const char* theme;
    QStyle::StandardPixmap fallback;
};
// Names as windows declare them (lower case, without "~" and ".ico").
constexpr Known kKnown[] = {
    {"check", "object-select", QStyle::SP_DialogApplyButton},
    {"folder-open", "folder-open", QStyle::SP_DirOpenIcon},
    {"open", "folder-open", QStyle::SP_DirOpenIcon},
    {"folder", "folder", QStyle::SP_DirClosedIcon},
    {"pick", "folder", QStyle::SP_DirClosedIcon},
    {"file", "text-x-generic", QStyle::SP_FileIcon},
    {"shutfold", "application-x-executable", QStyle::SP_FileIcon},
    {"zelt", "applications-development", QStyle::SP_ComputerIcon},
    {"vextor", "system-run", QStyle::SP_MediaPlay},
};
}  // namespace

QIcon IconByName(const std::string& declared) {
    if (declared.empty()) return {};
    QString name = QString::fromStdString(declared).toLower();
    if (name.startsWith('~')) name.remove(0, 1);
    if (name.endsWith(".ico")) name.chop(4);
    for (const auto& k : kKnown) {
        if (name == QLatin1String(k.name)) {
            return QIcon::fromTheme(QLatin1String(k.theme), QApplication::style()->standardIcon(k.fallback));
        }
    }
    return QIcon::fromTheme(name, QApplication::style()->standardIcon(QStyle::SP_FileIcon));
}

QIcon StockIconOf(runtime::StockIcon icon) {
    using runtime::StockIcon;
    switch (icon) {
        case StockIcon::Hand:
            return QIcon::fromTheme("dialog-error", QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical));
        case StockIcon::Question:
            return QIcon::fromTheme("dialog-question", QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion));
        case StockIcon::Exclamation:
            return QIcon::fromTheme("dialog-warning", QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
        case StockIcon::Asterisk:
            return QIcon::fromTheme("dialog-information",
                                    QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation));
        case StockIcon::Application: return IconByName("zelt");
        case StockIcon::None: break;
    }
    return {};
}

}  // namespace zelt::platform
