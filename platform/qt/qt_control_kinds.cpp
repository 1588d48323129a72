#include "platform/qt/qt_control_kinds.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "platform/qt/qt_chart.hpp"
#include "platform/qt/qt_icons.hpp"
#include "platform/qt/qt_list_control.hpp"
#include "platform/qt/qt_window.hpp"
#include "runtime/window/binding.hpp"
#include "runtime/window/popup_menu.hpp"

namespace zelt::platform {

using runtime::ControlNumber;
using runtime::ControlState;

int QtCharWidth(const QWidget* w) {
    return w->fontMetrics().horizontalAdvance(QLatin1Char('x'));
}

namespace {

const runtime::ControlDeclaration& Declared(QtWindow& window, ControlNumber n) {
    return *window.Model().Declared(n);
}

QString TextOf(QtWindow& window, ControlNumber n) {
    return QString::fromStdString(Declared(window, n).text);
}

// ---- Sheets and their pages ------------------------------------------------------------

QWidget* MakeSheet(QtWindow& window, ControlNumber n) {
    auto* tabs = new QTabWidget;
    QObject::connect(tabs, &QTabWidget::currentChanged, &window, [&window, n](int index) {
        if (window.Syncing()) return;
        const auto pages = window.Model().Declaration().Children(n);
        if (index >= 0 && index < static_cast<int>(pages.size()))
            window.Model().UserPress(pages[static_cast<std::size_t>(index)]);
        window.Sync(n);  // a tab the model refused goes back
    });
    return tabs;
}

void SyncSheet(QtWindow&, ControlNumber, QWidget* w, const ControlState& s) {
    auto* tabs = static_cast<QTabWidget*>(w);
    if (s.choice >= 1 && s.choice - 1 != tabs->currentIndex()) tabs->setCurrentIndex(s.choice - 1);
}

QWidget* MakePage(QtWindow&, ControlNumber) {
    return new QWidget;
}

// A page shows its state on its sheet's bar.
void SyncPage(QtWindow& window, ControlNumber n, QWidget* w, const ControlState& s) {
    auto* tabs = static_cast<QTabWidget*>(window.Widget(Declared(window, n).parent));
    const int index = tabs->indexOf(w);
    if (index < 0) return;
    tabs->setTabText(index, QString::fromStdString(s.text));
    tabs->setTabVisible(index, !s.hidden);
    tabs->setTabEnabled(index, !s.disabled);
    tabs->setTabToolTip(index, QString::fromStdString(s.tip));
}

// ---- Frames and option groups ----------------------------------------------------------

QWidget* MakeGroup(QtWindow& window, ControlNumber n) {
    return new QGroupBox(TextOf(window, n));
}

QWidget* MakeOption(QtWindow& window, ControlNumber n) {
    auto* box = new QGroupBox(TextOf(window, n));
    new QButtonGroup(box);  // its radios join it
    return box;
}

void SyncGroup(QtWindow&, ControlNumber, QWidget* w, const ControlState& s) {
    static_cast<QGroupBox*>(w)->setTitle(QString::fromStdString(s.text));
}

QWidget* MakeRadio(QtWindow& window, ControlNumber n) {
    auto* radio = new QRadioButton(TextOf(window, n));
    if (QWidget* option = window.Widget(Declared(window, n).parent)) {
        if (auto* group = option->findChild<QButtonGroup*>(QString(), Qt::FindDirectChildrenOnly))
            group->addButton(radio);
    }
    QObject::connect(radio, &QRadioButton::clicked, &window, [&window, n] {
        if (!window.Syncing()) window.Model().UserPress(n);
    });
    return radio;
}

void SyncRadio(QtWindow& window, ControlNumber n, QWidget* w, const ControlState& s) {
    auto* radio = static_cast<QRadioButton*>(w);
    radio->setText(QString::fromStdString(s.text));
    const ControlNumber option = Declared(window, n).parent;
    const auto radios = window.Model().Declaration().Children(option);
    const int choice = window.Model().Choice(option);
    const bool on = choice >= 1 && choice <= static_cast<int>(radios.size()) &&
                    radios[static_cast<std::size_t>(choice - 1)] == n;
    if (radio->isChecked() == on) return;
    // An exclusive group cannot uncheck its checked button directly.
    auto* group = radio->group();
    if (group) group->setExclusive(false);
    radio->setChecked(on);
    if (group) group->setExclusive(true);
}

// ---- Texts shown -----------------------------------------------------------------------

QWidget* MakePrompt(QtWindow& window, ControlNumber n) {
    return new QLabel(TextOf(window, n));
}

void SyncPrompt(QtWindow&, ControlNumber, QWidget* w, const ControlState& s) {
    // Without a control to go to, the accelerator is only shown as text.
    auto* label = static_cast<QLabel*>(w);
    label->setText(
        QString::fromStdString(label->buddy() ? s.text : runtime::StripAccelerator(s.text)));
}

QWidget* MakeString(QtWindow& window, ControlNumber n) {
    const auto& d = Declared(window, n);
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    if (d.width > 0) label->setMinimumWidth(QtCharWidth(label) * std::min(d.width, 40));
    if (d.text.empty()) {
        // A text the program shows as it works (a status, a count) has the room declared for
        // it and never widens its window.
        label->setSizePolicy(QSizePolicy::Ignored, label->sizePolicy().verticalPolicy());
        if (d.width == 0) label->setMinimumWidth(QtCharWidth(label) * 20);
    }
    return label;
}

void SyncString(QtWindow& window, ControlNumber n, QWidget* w, const ControlState& s) {
    static_cast<QLabel*>(w)->setText(
        QString::fromStdString(Declared(window, n).use ? s.value : s.text));
}

QWidget* MakeImage(QtWindow& window, ControlNumber n) {
    auto* label = new QLabel;
    label->setPixmap(IconByName(Declared(window, n).icon).pixmap(32, 32));
    return label;
}

QWidget* MakeProgress(QtWindow& window, ControlNumber n) {
    const auto& d = Declared(window, n);
    auto* bar = new QProgressBar;
    bar->setRange(d.low, d.high);
    return bar;
}

void SyncProgress(QtWindow&, ControlNumber, QWidget* w, const ControlState& s) {
    static_cast<QProgressBar*>(w)->setValue(static_cast<int>(runtime::ParseBoundNumber(s.value)));
}

QWidget* MakeRegion(QtWindow&, ControlNumber) {
    return new QWidget;
}

// ---- Inputs ----------------------------------------------------------------------------

QWidget* MakeText(QtWindow&, ControlNumber) {
    return new QPlainTextEdit;
}

void SyncText(QtWindow&, ControlNumber, QWidget* w, const ControlState& s) {
    auto* edit = static_cast<QPlainTextEdit*>(w);
    const QString value = QString::fromStdString(s.value);
    if (edit->toPlainText() != value) edit->setPlainText(value);
    edit->setReadOnly(s.read_only);
}

// Multi-line text is taken when the focus leaves it.
void TextFocusOut(QtWindow& window, ControlNumber n, QObject* watched) {
    auto* edit = static_cast<QPlainTextEdit*>(watched);
    const std::string text = edit->toPlainText().toStdString();
    if (text != window.Model().Value(n)) window.Model().UserType(n, text);
}

QWidget* MakeEntry(QtWindow& window, ControlNumber n) {
    const auto& d = Declared(window, n);
    auto* edit = new QLineEdit;
    if (d.width > 0) {
        edit->setMaxLength(d.width);
        edit->setMinimumWidth(QtCharWidth(edit) * std::min(d.width, 40));
        // A short value (a number of a few digits) gets a short box.
        if (d.width <= 6) edit->setMaximumWidth(QtCharWidth(edit) * (d.width + 4));
    }
    QObject::connect(edit, &QLineEdit::editingFinished, &window, [&window, n, edit] {
        if (window.Syncing() || !edit->isModified()) return;
        edit->setModified(false);
        window.Model().UserType(n, edit->text().toStdString());
    });
    return edit;
}

void SyncEntry(QtWindow&, ControlNumber, QWidget* w, const ControlState& s) {
    auto* edit = static_cast<QLineEdit*>(w);
    const QString value = QString::fromStdString(s.value);
    if (edit->text() != value) edit->setText(value);
    edit->setModified(false);
    edit->setReadOnly(s.read_only);
}

QWidget* MakeSpin(QtWindow& window, ControlNumber n) {
    const auto& d = Declared(window, n);
    auto* spin = new QSpinBox;
    spin->setRange(d.low, d.high);
    spin->setSingleStep(d.step);
    QObject::connect(spin, &QSpinBox::valueChanged, &window, [&window, n](int value) {
        if (!window.Syncing()) window.Model().UserChange(n, std::to_string(value));
    });
    return spin;
}

void SyncSpin(QtWindow&, ControlNumber, QWidget* w, const ControlState& s) {
    auto* spin = static_cast<QSpinBox*>(w);
    const int v = static_cast<int>(runtime::ParseBoundNumber(s.value));
    if (spin->value() != v) spin->setValue(v);
    spin->setReadOnly(s.read_only);
}

QWidget* MakeCheck(QtWindow& window, ControlNumber n) {
    auto* check = new QCheckBox(TextOf(window, n));
    QObject::connect(check, &QCheckBox::clicked, &window, [&window, n] {
        if (window.Syncing()) return;
        window.Model().UserPress(n);
        window.Sync(n);
    });
    return check;
}

void SyncCheck(QtWindow& window, ControlNumber n, QWidget* w, const ControlState& s) {
    auto* check = static_cast<QCheckBox*>(w);
    check->setText(QString::fromStdString(s.text));
    check->setChecked(s.value == Declared(window, n).true_value);
}

QWidget* MakeButton(QtWindow& window, ControlNumber n) {
    const auto& d = Declared(window, n);
    auto* button = new QPushButton(TextOf(window, n));
    if (!d.icon.empty()) button->setIcon(IconByName(d.icon));
    button->setDefault(d.default_button);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, &window, [&window, n] {
        if (!window.Syncing()) window.Model().UserPress(n);
    });
    return button;
}

void SyncButton(QtWindow&, ControlNumber, QWidget* w, const ControlState& s) {
    static_cast<QPushButton*>(w)->setText(QString::fromStdString(s.text));
}

// ---- Lists and trees -------------------------------------------------------------------

QWidget* MakeList(QtWindow& window, ControlNumber n) {
    return window.AddList(n);
}

void SyncList(QtWindow& window, ControlNumber n, QWidget*, const ControlState& s) {
    window.List(n)->Sync(s);
}

bool ListKey(QtWindow& window, ControlNumber n, QKeyEvent* e) {
    return window.List(n)->Key(e);
}

constexpr std::size_t kKinds = static_cast<std::size_t>(runtime::ControlKind::Chart) + 1;

constexpr QtKindAdapter kListAdapter{.make = MakeList,
                                     .sync = SyncList,
                                     .key = ListKey,
                                     .placement = QtPlacement::Grows,
                                     .named = false,
                                     .watched = false,
                                     .fills_page = true,
                                     .prompt_target = true};

// In the order of runtime::ControlKind.
constexpr std::array<QtKindAdapter, kKinds> kAdapters = {{
    {.make = MakeSheet,
     .sync = SyncSheet,
     .placement = QtPlacement::Sheet,
     .fills_page = true,
     .prompt_target = true},
    {.make = MakePage,
     .sync = SyncPage,
     .placement = QtPlacement::Page,
     .watched = false,
     .own_state = false},
    {.make = MakeGroup, .sync = SyncGroup, .placement = QtPlacement::Container},
    {.make = MakeOption, .sync = SyncGroup, .placement = QtPlacement::Container},
    {.make = MakeRadio, .sync = SyncRadio, .prompt_target = true},
    {.make = MakePrompt, .sync = SyncPrompt, .placement = QtPlacement::Prompt},
    {.make = MakeString, .sync = SyncString, .form_input = true},
    {.make = MakeText,
     .sync = SyncText,
     .focus_out = TextFocusOut,
     .placement = QtPlacement::Grows,
     .form_input = true,
     .fills_page = true,
     .prompt_target = true},
    {.make = MakeEntry, .sync = SyncEntry, .form_input = true, .prompt_target = true},
    {.make = MakeSpin, .sync = SyncSpin, .form_input = true, .prompt_target = true},
    {.make = MakeCheck, .sync = SyncCheck, .prompt_target = true},
    {.make = MakeButton,
     .sync = SyncButton,
     .placement = QtPlacement::Button,
     .prompt_target = true},
    kListAdapter,
    kListAdapter,
    {.make = MakeImage},
    {.make = MakeProgress, .sync = SyncProgress},
    {.make = MakeRegion},
    {.make = MakeChart, .sync = SyncChart, .placement = QtPlacement::Grows, .fills_page = true},
}};

}  // namespace

const QtKindAdapter& QtKind(runtime::ControlKind kind) {
    return kAdapters[static_cast<std::size_t>(kind)];
}

}  // namespace zelt::platform
