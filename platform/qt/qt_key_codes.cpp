#include "platform/qt/qt_key_codes.hpp"

#include <QKeyEvent>

#include "runtime/window/key_codes.hpp"

namespace zelt::platform {

int KeyCodeOf(const QKeyEvent* e) {
    int code = 0;
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            code = runtime::key::Enter;
            break;
        case Qt::Key_Up:
            code = runtime::key::Up;
            break;
        case Qt::Key_Down:
            code = runtime::key::Down;
            break;
        case Qt::Key_Left:
            code = runtime::key::Left;
            break;
        case Qt::Key_Right:
            code = runtime::key::Right;
            break;
        case Qt::Key_PageUp:
            code = runtime::key::PageUp;
            break;
        case Qt::Key_PageDown:
            code = runtime::key::PageDown;
            break;
        case Qt::Key_Home:
            code = runtime::key::Home;
            break;
        case Qt::Key_End:
            code = runtime::key::End;
            break;
        case Qt::Key_Insert:
            code = runtime::key::Insert;
            break;
        case Qt::Key_Delete:
            code = runtime::key::Delete;
            break;
        case Qt::Key_Escape:
            code = runtime::key::Escape;
            break;
        case Qt::Key_Tab:
            code = runtime::key::Tab;
            break;
        case Qt::Key_Backspace:
            code = runtime::key::Backspace;
            break;
        default:
            if (e->key() >= Qt::Key_F1 && e->key() <= Qt::Key_F12)
                code = runtime::key::F1 + (e->key() - Qt::Key_F1);
            // A letter is a key code only with Ctrl or Alt (typed alone it is a character).
            if (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z &&
                (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
                code = 'A' + (e->key() - Qt::Key_A);
            break;
    }
    if (code == 0) return 0;
    if (e->modifiers() & Qt::ShiftModifier) code += runtime::key::Shift;
    if (e->modifiers() & Qt::ControlModifier) code += runtime::key::Ctrl;
    if (e->modifiers() & Qt::AltModifier) code += runtime::key::Alt;
    return code;
}

}  // namespace zelt::platform
