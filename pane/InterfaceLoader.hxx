// Loads an interface file by name from a bundle's Resources folder and connects it to its owner,
// the way the pane and every sheet are built:
//  - outlets: each writable property of the owner whose type is a pointer to a widget class is
//    set to the descendant of that objectName;
//  - actions: a control with the dynamic property `action` sends its action to the owner's slot of
//    that name taking the sending control (`void doChangeColor(QObject* sender)`);
//  - tags: the dynamic property `tag`, looked up with viewWithTag.
// What cannot be resolved is logged with the file and the object's name and left unconnected; it
// never stops the load.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;
class QWidget;

namespace tessaly {

class InterfaceLoader {
public:
    explicit InterfaceLoader(QString resourcePath) : resourcePath_(std::move(resourcePath)) {}

    // Resources/<name>.ui, or null with `error` set when the file is missing or not a valid
    // interface file.
    QWidget* load(const QString& name, QObject* owner, QWidget* parent, QString* error);

    // What the last load could not resolve, one line each, as logged.
    const QStringList& problems() const { return problems_; }

private:
    void connectOutlets(const QString& file, QWidget* view, QObject* owner);
    void connectActions(const QString& file, QWidget* view, QObject* owner);
    void report(const QString& problem);

    QString resourcePath_;
    QStringList problems_;
};

// Connects the signal by which a control of this kind reports a change the user made: a popup's
// activated, a button's clicked, a colour well's colorChosen. The setters that show a value emit
// none of these, except a slider's and a spin box's, which are set with their signals blocked.
// False for a kind of control that reports no change.
bool connectUserChange(QWidget* control, QObject* context, const std::function<void()>& call);

// The view itself or the first of its descendants whose `tag` property is `tag`; null when none.
QWidget* viewWithTag(QWidget* view, int tag);
// The `tag` property of an object, 0 when it has none.
int tagOf(const QObject* object);

} // namespace tessaly
