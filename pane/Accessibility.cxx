#include "Accessibility.hxx"

#include "SettingEdits.hxx"
#include "Tessaly.hxx"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QItemSelectionModel>
#include <QRegularExpression>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

// A problem label. Screen readers on Linux speak a notification the moment it shows (an alert
// they speak only in some toolkits, and Qt's bridge passes on no alert event), so that is its
// role.
class ProblemAccessible : public QAccessibleWidget {
public:
    explicit ProblemAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::Notification) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) {
            return static_cast<QLabel*>(widget())->text();
        }
        return QAccessibleWidget::text(kind);
    }
};

// The check interval: its positions 0 to 12 stand for 1 to 60 minutes, and a screen reader
// should read, and set, the minutes.
class IntervalAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit IntervalAccessible(QSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    QSlider* slider() const { return static_cast<QSlider*>(widget()); }
    float minutes() const { return intervalMinutes(static_cast<float>(slider()->value())); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value || kind == QAccessible::Description) {
            return intervalText(minutes());
        }
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return static_cast<double>(minutes()); }
    // A value set by assistive technology goes to the nearest stop, and is stored as a move of the
    // slider by the user would be.
    void setCurrentValue(const QVariant& value) override {
        slider()->setValue(intervalStopNearest(value.toFloat()));
    }
    QVariant maximumValue() const override {
        return static_cast<double>(intervalMinutes(static_cast<float>(slider()->maximum())));
    }
    QVariant minimumValue() const override {
        return static_cast<double>(intervalMinutes(static_cast<float>(slider()->minimum())));
    }
    // The steps are not even (1, 5 and 10 minutes): none is given.
    QVariant minimumStepSize() const override { return 0.0; }
};

// A popup. Qt's own interface on Linux gives the value as the popup's name, so a screen reader
// finds neither the label's words as its name nor a value it announces. Here the name is the
// label's, and the value, the shown item, is the popup's text as well: a screen reader reads a
// popup's value from its text, or from its list's selected item, and Qt's bridge offers no
// selection to read. The one child is the popup's list, whose selected item keepPopupListInStep
// keeps on the value.
class PopupAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit PopupAccessible(QComboBox* popup) : QAccessibleWidget(popup, QAccessible::ComboBox) {}

    QComboBox* popup() const { return static_cast<QComboBox*>(widget()); }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) {
            return popup()->currentText();
        }
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = popup()->view() && popup()->view()->isVisible();
        return state;
    }

    int childCount() const override { return list() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override { return index == 0 ? list() : nullptr; }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child == list() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QStringList actionNames() const override { return {showMenuAction(), setFocusAction()}; }
    void doAction(const QString& name) override {
        if (name == showMenuAction() || name == pressAction()) {
            popup()->showPopup();
        } else if (name == setFocusAction()) {
            popup()->setFocus(Qt::OtherFocusReason);
        }
    }

    // The text: the shown item, read-only, without a caret or a selection.
    QString text(int start, int end) const override {
        return popup()->currentText().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(popup()->currentText().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    int selectionCount() const override { return 0; }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = offset;
        *end = offset;
        return QString();
    }

private:
    QAccessibleInterface* list() const {
        return popup()->view() ? QAccessible::queryAccessibleInterface(popup()->view()) : nullptr;
    }
};

QAccessibleInterface* createInterface(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox") && !static_cast<QComboBox*>(object)->isEditable()) {
        return new PopupAccessible(static_cast<QComboBox*>(object));
    }
    if (className == QLatin1String("QLabel") && object->property("announce").toBool()) {
        return new ProblemAccessible(static_cast<QLabel*>(object));
    }
    if (className == QLatin1String("QSlider") && object->property("valueInMinutes").toBool()) {
        return new IntervalAccessible(static_cast<QSlider*>(object));
    }
    return nullptr;
}

double relativeLuminance(const QColor& color) {
    auto channel = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

} // namespace

void installWindowAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(createInterface);
        return true;
    }();
    (void)installed;
}

void adoptWindowInterfaces(QWidget* view) {
    // A control is named by its label's words. Qt finds a label only among the control's
    // siblings and otherwise takes a surrounding group's title, which would name every field of
    // the Publishing box "Publishing".
    for (QLabel* label : view->findChildren<QLabel*>()) {
        QWidget* control = label->buddy();
        if (control && control->accessibleName().isEmpty() &&
            !label->property("announce").toBool() && !qobject_cast<QLabel*>(control) &&
            label->objectName() != QLatin1String("intervalLabel")) {
            QString name = label->text();
            name.remove(QRegularExpression(QStringLiteral("&(?!&)")));
            control->setAccessibleName(name.replace(QLatin1String("&&"), QLatin1String("&")));
        }
    }
    for (QWidget* control : view->findChildren<QWidget*>()) {
        const bool ours =
            (qobject_cast<QLabel*>(control) && control->property("announce").toBool()) ||
            (qobject_cast<QSlider*>(control) && control->property("valueInMinutes").toBool()) ||
            qobject_cast<QComboBox*>(control);
        if (!ours) {
            continue;
        }
        QAccessibleInterface* made = QAccessible::queryAccessibleInterface(control);
        if (made && !dynamic_cast<ProblemAccessible*>(made) &&
            !dynamic_cast<IntervalAccessible*>(made) && !dynamic_cast<PopupAccessible*>(made)) {
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
        }
    }
}

void keepPopupListInStep(QComboBox* popup) {
    auto follow = [popup](int index) {
        QAbstractItemView* list = popup->view();
        if (!list || !list->selectionModel()) {
            return;
        }
        const QModelIndex item =
            popup->model()->index(index, popup->modelColumn(), popup->rootModelIndex());
        if (item.isValid()) {
            list->selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
        } else {
            list->selectionModel()->clear();
        }
    };
    QObject::connect(popup, &QComboBox::currentIndexChanged, popup, follow);
    follow(popup->currentIndex());
}

void announceProblem(QLabel* label, const QString& text) {
    if (!label) {
        return;
    }
    const bool wasShown = label->isVisible();
    label->setText(text);
    label->show();
    if (!QAccessible::isActive()) {
        return;
    }
    if (wasShown) {
        // Showing the label announces it by itself; a problem that replaces one already on
        // screen is shown to the screen reader again, which then speaks the new text.
        QAccessibleEvent changed(label, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
        QAccessibleEvent shown(label, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
    // For the bridges that hear alerts as such.
    QAccessibleEvent alert(label, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor problemTextColor(const QPalette& palette) {
    const QColor background = palette.color(QPalette::Active, QPalette::Window);
    const QColor red(0xB0, 0x00, 0x20);
    // Towards white on a dark window, towards black on a light one, in small steps, keeping the
    // hue: the first mix that is readable enough.
    const QColor end = relativeLuminance(background) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
    for (int step = 0; step <= 100; ++step) {
        const double t = step / 100.0;
        const QColor mixed =
            QColor::fromRgbF(static_cast<float>(red.redF() + (end.redF() - red.redF()) * t),
                             static_cast<float>(red.greenF() + (end.greenF() - red.greenF()) * t),
                             static_cast<float>(red.blueF() + (end.blueF() - red.blueF()) * t));
        if (contrastRatio(mixed, background) >= kMinimumTextContrast) {
            return mixed;
        }
    }
    return end;
}

QPalette darkPalette() {
    const QColor window(0x35, 0x35, 0x35);
    const QColor base(0x2A, 0x2A, 0x2A);
    const QColor text(0xF0, 0xF0, 0xF0);
    const QColor disabledText(0x9A, 0x9A, 0x9A);
    QPalette palette(text, window);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    palette.setColor(QPalette::Link, QColor(0x6C, 0xB4, 0xF0));
    palette.setColor(QPalette::PlaceholderText, disabledText);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabledText);
    }
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    return palette;
}

} // namespace tessaly
