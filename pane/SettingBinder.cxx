#include "SettingBinder.hxx"

#include "ColorWell.hxx"
#include "InterfaceLoader.hxx"
#include "Log.hxx"
#include "Numbers.hxx"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QMetaProperty>
#include <QSignalBlocker>

#include <algorithm>

namespace tessaly {

using NSColorExtention::colorWithHTMLString;

namespace {

// A popup and a label have no USER property that fits: a popup shows a value by its selected
// item (and none when no item has it), a label shows it as text. The one real setting, the check
// interval, is shown by the stops of a slider and in words.
bool canShow(const QWidget* control, SettingType type) {
    const bool label = qobject_cast<const QLabel*>(control);
    switch (type) {
    case SettingType::Real:
        return label || qobject_cast<const QAbstractSlider*>(control);
    case SettingType::Date:
        return false;
    default:
        return label || qobject_cast<const QComboBox*>(control) ||
               control->metaObject()->userProperty().isValid();
    }
}

// A slider and a spin box report a user's change by the same signal a value set by the program
// sends: they stay quiet while they are filled, or filling them would save and post.
QObject* quietWhileShown(QWidget* control) {
    if (qobject_cast<QAbstractSlider*>(control) || qobject_cast<QAbstractSpinBox*>(control)) {
        return control;
    }
    return nullptr;
}

// Popup items are titled with the number exactly as "%d" writes it. An item carrying data of its
// own stands for that text (a choice titled in words); otherwise its title is the value.
int popupIndex(const QComboBox* popup, const SettingValue& value) {
    if (const auto* number = std::get_if<std::int32_t>(&value)) {
        return popup->findText(QString::number(*number), Qt::MatchExactly);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        const QString wanted = QString::fromStdString(*text);
        const int byData = popup->findData(wanted);
        return byData >= 0 ? byData : popup->findText(wanted, Qt::MatchExactly);
    }
    return -1;
}

QString labelText(const SettingValue& value) {
    if (const auto* minutes = std::get_if<float>(&value)) {
        return intervalText(*minutes);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return QString::fromStdString(*text);
    }
    return {};
}

// The value in the form the control's USER property takes. A real setting is the interval, whose
// slider stops at positions (intervalMinutes).
QVariant propertyValue(const SettingValue& value) {
    return std::visit(
        [](const auto& item) -> QVariant {
            using Item = std::decay_t<decltype(item)>;
            if constexpr (std::is_same_v<Item, float>) {
                return intervalStopNearest(item);
            } else if constexpr (std::is_same_v<Item, std::string>) {
                return QString::fromStdString(item);
            } else if constexpr (std::is_same_v<Item, std::optional<RgbColor>>) {
                return qColor(item);
            } else {
                return item;
            }
        },
        value);
}

void show(QWidget* control, const SettingValue& value) {
    if (auto* popup = qobject_cast<QComboBox*>(control)) {
        popup->setCurrentIndex(popupIndex(popup, value));
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(labelText(value));
    } else {
        const QSignalBlocker quiet(quietWhileShown(control));
        control->metaObject()->userProperty().write(control, propertyValue(value));
    }
}

// The control's value as its setting's type; none for a control the user cannot change.
std::optional<SettingValue> read(const QWidget* control, SettingType type) {
    if (qobject_cast<const QLabel*>(control)) {
        return std::nullopt;
    }
    QVariant value;
    if (const auto* popup = qobject_cast<const QComboBox*>(control)) {
        if (type == SettingType::Integer) {
            return popupTitleValue(popup->currentText().toStdString());
        }
        value = popup->currentData().isValid() ? popup->currentData() : popup->currentText();
    } else {
        value = control->metaObject()->userProperty().read(control);
    }
    switch (type) {
    case SettingType::Boolean:
        return value.toBool();
    case SettingType::Real:
        return intervalMinutes(value.toFloat());
    case SettingType::Integer:
        // A numeric control's value is read as a float and truncated toward zero.
        return clampToInt32(value.toFloat());
    case SettingType::Text:
        return value.toString().toStdString();
    case SettingType::Color: {
        const QColor color = value.value<QColor>();
        return color.isValid() ? std::optional<RgbColor>(rgbColor(color)) : std::nullopt;
    }
    case SettingType::Date:
        break;
    }
    return std::nullopt;
}

} // namespace

SettingBinder::SettingBinder(QWidget* view, LumibayPref& pref, SettingEdits& edits,
                             std::span<const SettingControl> table)
    : pref_(pref), edits_(edits) {
    for (const SettingControl& row : table) {
        const QString name = QLatin1String(row.objectName);
        QWidget* control = !view                        ? nullptr
                           : view->objectName() == name ? view
                                                        : view->findChild<QWidget*>(name);
        const char* key = settingInfo(row.setting).key;
        QString problem;
        if (!control) {
            problem = QStringLiteral("no control named %1 for the setting %2").arg(name, key);
        } else if (!canShow(control, settingInfo(row.setting).type)) {
            problem = QStringLiteral("the control %1 is a %2, which cannot show the setting %3")
                          .arg(name, QLatin1String(control->metaObject()->className()), key);
        }
        if (!problem.isEmpty()) {
            problems_.append(problem);
            logLine(problem.toStdString());
            continue;
        }
        bound_.push_back({row.setting, control});
    }
}

SettingValue SettingBinder::shownValue(Setting setting) const {
    const SettingInfo& row = settingInfo(setting);
    const bool unreadable = !pref_.hasDictionary();
    switch (row.type) {
    case SettingType::Boolean:
        return unreadable ? row.number != 0 : pref_.booleanSetting(setting);
    case SettingType::Real:
        return unreadable ? static_cast<float>(row.number) : pref_.realSetting(setting);
    case SettingType::Integer:
        return unreadable ? clampToInt32(row.number) : pref_.integerSetting(setting);
    case SettingType::Text:
        return unreadable ? std::string(row.text) : pref_.textSetting(setting).value_or(row.text);
    case SettingType::Color:
        return unreadable ? colorWithHTMLString(row.text) : pref_.colorSetting(setting);
    case SettingType::Date:
        break;
    }
    return std::string();
}

void SettingBinder::updateWidgets() {
    for (const Bound& bound : bound_) {
        if (bound.control) {
            show(bound.control, shownValue(bound.setting));
        }
    }
}

void SettingBinder::updateWidget(Setting setting) {
    for (const Bound& bound : bound_) {
        if (bound.setting == setting && bound.control) {
            show(bound.control, shownValue(setting));
        }
    }
}

std::optional<bool> SettingBinder::updateSetting(QObject* control) {
    const auto changed = std::find_if(bound_.begin(), bound_.end(), [control](const Bound& bound) {
        return bound.control && bound.control == control;
    });
    if (changed == bound_.end()) {
        return std::nullopt;
    }
    const Setting setting = changed->setting;
    const std::optional<SettingValue> value = read(changed->control, settingInfo(setting).type);
    if (!value) {
        return std::nullopt;
    }
    for (const Bound& other : bound_) {
        if (other.setting == setting && other.control && other.control != control) {
            show(other.control, *value);
        }
    }
    return edits_.change(setting, *value);
}

void SettingBinder::forwardUserChanges(QObject* context,
                                       const std::function<void(QObject*)>& changed) {
    for (const Bound& bound : bound_) {
        QWidget* control = bound.control;
        if (control && !control->property("action").isValid()) {
            connectUserChange(control, context, [control, changed] { changed(control); });
        }
    }
}

QWidget* SettingBinder::widget(Setting setting) const {
    for (const Bound& bound : bound_) {
        if (bound.setting == setting) {
            return bound.control;
        }
    }
    return nullptr;
}

QString intervalText(float minutes) {
    if (minutes == 1.0f) {
        return QStringLiteral("1 minute");
    }
    return QStringLiteral("%1 minutes").arg(QString::number(minutes, 'g', 6));
}

} // namespace tessaly
