#include "platform/qt/qt_cell_editor.hpp"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeView>

#include "platform/qt/qt_list_model.hpp"
#include "runtime/window/key_codes.hpp"

namespace zelt::platform {

namespace key = runtime::key;

QtCellEditor::QtCellEditor(runtime::Window& window, runtime::ControlNumber list, QTreeView* view,
                           QueueItemModel* model)
    : QObject(view), window_(window), list_(list), view_(view), model_(model) {}

QtCellEditor::~QtCellEditor() {
    delete entry_.data();
}

void QtCellEditor::Sync() {
    const runtime::ControlState& s = window_.Control(list_);
    if (s.edit_row == 0) {
        if (entry_) {
            const bool had_focus = entry_->hasFocus();
            delete entry_.data();
            if (had_focus) view_->setFocus(Qt::OtherFocusReason);
        }
        row_ = column_ = 0;
        return;
    }
    const QModelIndex row = model_->IndexOfRow(s.edit_row);
    const QModelIndex cell = model_->index(row.row(), s.edit_column - 1, row.parent());
    if (!cell.isValid()) return;
    if (!entry_) {
        entry_ = new QLineEdit(view_->viewport());
        entry_->setObjectName(view_->objectName() + QStringLiteral(":edit"));
        entry_->setFrame(false);
        entry_->installEventFilter(this);
        connect(entry_.data(), &QLineEdit::textEdited, this,
                [this](const QString& text) { window_.UserType(list_, text.toStdString()); });
    }
    view_->scrollTo(cell);
    entry_->setGeometry(view_->visualRect(cell));
    const QString text = QString::fromStdString(s.edit_text);
    if (row_ != s.edit_row || column_ != s.edit_column || entry_->text() != text) {
        entry_->setText(text);
        entry_->selectAll();
    }
    row_ = s.edit_row;
    column_ = s.edit_column;
    entry_->show();
    entry_->setFocus(Qt::OtherFocusReason);
}

bool QtCellEditor::eventFilter(QObject* watched, QEvent* event) {
    // Only key presses: the entry may be half destroyed when other events arrive.
    if (event->type() != QEvent::KeyPress || watched != entry_) return false;
    const auto* e = static_cast<QKeyEvent*>(event);
    int code = 0;
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            code = key::Enter;
            break;
        case Qt::Key_Tab:
            code = key::Tab;
            break;
        case Qt::Key_Backtab:
            code = key::Shift + key::Tab;
            break;
        case Qt::Key_Escape:
            code = key::Escape;
            break;
        case Qt::Key_Up:
            code = key::Up;
            break;
        case Qt::Key_Down:
            code = key::Down;
            break;
        default:
            return false;  // the entry takes the key
    }
    if (code == key::Tab && (e->modifiers() & Qt::ShiftModifier)) code = key::Shift + key::Tab;
    window_.UserType(list_, entry_->text().toStdString());
    window_.UserKey(list_, code);
    return true;
}

}  // namespace zelt::platform
