#include "InterfaceLoader.hxx"

#include "ColorWell.hxx"
#include "Log.hxx"
#include "TextArrayView.hxx"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QSpinBox>
#include <QUiLoader>
#include <QWidget>

namespace tessaly {

namespace {

// Qt's loader, taught the widgets of our own that interface files name by class.
class WidgetFactory : public QUiLoader {
public:
    using QUiLoader::QUiLoader;
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (className == QLatin1String("tessaly::ColorWell") ||
            className == QLatin1String("ColorWell")) {
            auto* well = new ColorWell(parent);
            well->setObjectName(name);
            return well;
        }
        if (className == QLatin1String("tessaly::TextArrayView") ||
            className == QLatin1String("TextArrayView")) {
            auto* list = new TextArrayView(parent);
            list->setObjectName(name);
            return list;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};

bool isOutlet(const QMetaProperty& property) {
    const QMetaType type = property.metaType();
    return property.isWritable() && (type.flags() & QMetaType::PointerToQObject) &&
           type.metaObject() && type.metaObject()->inherits(&QWidget::staticMetaObject);
}

} // namespace

QWidget* InterfaceLoader::load(const QString& name, QObject* owner, QWidget* parent,
                               QString* error) {
    problems_.clear();
    const QString fileName = name + QLatin1String(".ui");
    const QString path = resourcePath_ + QLatin1Char('/') + fileName;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("cannot open the interface file %1: %2")
                         .arg(path, file.errorString());
        }
        return nullptr;
    }
    WidgetFactory factory;
    QWidget* view = factory.load(&file, parent);
    if (!view) {
        if (error) {
            *error = QStringLiteral("the interface file %1 is not a valid interface: %2")
                         .arg(path, factory.errorString());
        }
        return nullptr;
    }
    connectOutlets(fileName, view, owner);
    connectActions(fileName, view, owner);
    return view;
}

void InterfaceLoader::connectOutlets(const QString& file, QWidget* view, QObject* owner) {
    const QMetaObject* meta = owner->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!isOutlet(property)) {
            continue;
        }
        const QString outletName = QLatin1String(property.name());
        QWidget* widget =
            view->objectName() == outletName ? view : view->findChild<QWidget*>(outletName);
        if (!widget) {
            report(QStringLiteral("%1: no object named %2 for the outlet of that name")
                       .arg(file, outletName));
            continue;
        }
        if (!widget->metaObject()->inherits(property.metaType().metaObject())) {
            report(QStringLiteral("%1: object %2 is a %3, its outlet wants a %4")
                       .arg(file, outletName, QLatin1String(widget->metaObject()->className()),
                            QLatin1String(property.metaType().metaObject()->className())));
            continue;
        }
        // The variant is made of the outlet's own pointer type, so no conversion is involved.
        property.write(owner, QVariant(property.metaType(), &widget));
    }
}

void InterfaceLoader::connectActions(const QString& file, QWidget* view, QObject* owner) {
    QList<QWidget*> controls = view->findChildren<QWidget*>();
    controls.prepend(view);
    for (QWidget* control : controls) {
        const QVariant action = control->property("action");
        if (!action.isValid()) {
            continue;
        }
        const QByteArray signature =
            QMetaObject::normalizedSignature((action.toString() + "(QObject*)").toLatin1());
        const int index = owner->metaObject()->indexOfSlot(signature.constData());
        if (index < 0) {
            report(QStringLiteral("%1: object %2 names the action %3, which %4 has no slot for")
                       .arg(file, control->objectName(), action.toString(),
                            QLatin1String(owner->metaObject()->className())));
            continue;
        }
        const QMetaMethod slot = owner->metaObject()->method(index);
        auto send = [owner, slot, control] {
            slot.invoke(owner, Qt::DirectConnection, Q_ARG(QObject*, control));
        };
        if (!connectUserChange(control, owner, send)) {
            report(QStringLiteral("%1: object %2 is a %3, which sends no action")
                       .arg(file, control->objectName(),
                            QLatin1String(control->metaObject()->className())));
        }
    }
}

bool connectUserChange(QWidget* control, QObject* context, const std::function<void()>& call) {
    if (auto* well = qobject_cast<ColorWell*>(control)) {
        QObject::connect(well, &ColorWell::colorChosen, context, call);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QObject::connect(combo, &QComboBox::activated, context, call);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QObject::connect(button, &QAbstractButton::clicked, context, call);
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
        QObject::connect(slider, &QAbstractSlider::valueChanged, context, call);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        QObject::connect(spin, &QSpinBox::valueChanged, context, call);
    } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(control)) {
        QObject::connect(spin, &QDoubleSpinBox::valueChanged, context, call);
    } else {
        return false;
    }
    return true;
}

void InterfaceLoader::report(const QString& problem) {
    problems_.append(problem);
    logLine(problem.toStdString());
}

QWidget* viewWithTag(QWidget* view, int tag) {
    if (!view) {
        return nullptr;
    }
    auto hasTag = [tag](const QWidget* widget) {
        const QVariant value = widget->property("tag");
        return value.isValid() && value.toInt() == tag;
    };
    if (hasTag(view)) {
        return view;
    }
    for (QWidget* child : view->findChildren<QWidget*>()) {
        if (hasTag(child)) {
            return child;
        }
    }
    return nullptr;
}

int tagOf(const QObject* object) {
    const QVariant tag = object->property("tag");
    return tag.isValid() ? tag.toInt() : 0;
}

} // namespace tessaly
