#include "TextArrayViewAccessible.hxx"

#include "TextArrayView.hxx"

#include <QAccessibleWidget>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

QString shownLine(const TextArrayView& view, int index) {
    QString text = view.getTextFromArray(index).value_or(QString());
    while (!text.isEmpty() &&
           (text.back() == u'\n' || text.back() == u'\r' || text.back() == QChar(0x0085) ||
            text.back() == QChar(0x2028) || text.back() == QChar(0x2029))) {
        text.chop(1);
    }
    return text;
}

// One line. It reads the view each time it is asked, so it stays right when the lines change,
// and is simply invalid once its line is gone.
class LineAccessible : public QAccessibleInterface {
public:
    LineAccessible(TextArrayView* view, int index) : view_(view), index_(index) {}

    bool isValid() const override { return view_ && view_->getTextFromArray(index_).has_value(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text kind) const override {
        if (!isValid() || kind != QAccessible::Name) {
            return QString();
        }
        return shownLine(*view_, index_);
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) {
            return QRect();
        }
        const int top = static_cast<int>(index_ * view_->lineHeight());
        const int height = static_cast<int>(std::ceil(view_->lineHeight()));
        return QRect(view_->mapToGlobal(QPoint(0, top)), QSize(view_->width(), height));
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.selectable = true;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selected = view_->getSelectLine() == index_;
        state.focusable = true;
        state.focused = state.selected && view_->hasFocus();
        return state;
    }

    int index() const { return index_; }

private:
    QPointer<TextArrayView> view_;
    int index_;
};

class ViewAccessible : public QAccessibleWidget {
public:
    explicit ViewAccessible(TextArrayView* view) : QAccessibleWidget(view, QAccessible::List) {}
    ~ViewAccessible() override {
        for (QAccessible::Id id : std::as_const(lines_)) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    TextArrayView* view() const { return static_cast<TextArrayView*>(widget()); }

    // The list lies inside its scroll area, away from its label: Qt looks for a label only among
    // a control's siblings, so the label is looked for in the whole window.
    QLabel* label() const {
        for (QLabel* candidate : view()->window()->findChildren<QLabel*>()) {
            if (candidate->buddy() == view()) {
                return candidate;
            }
        }
        return nullptr;
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && view()->accessibleName().isEmpty()) {
            if (QLabel* shown = label()) {
                QString name = shown->text();
                // The mnemonic's marker is not part of what the label says.
                name.remove(QRegularExpression(QStringLiteral("&(?!&)")));
                return name.replace(QLatin1String("&&"), QLatin1String("&"));
            }
        }
        return QAccessibleWidget::text(kind);
    }
    QList<std::pair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        auto found = QAccessibleWidget::relations(match);
        if (match & QAccessible::Label) {
            if (QLabel* shown = label()) {
                QAccessibleInterface* labelInterface = QAccessible::queryAccessibleInterface(shown);
                const bool known = std::any_of(found.cbegin(), found.cend(), [&](const auto& r) {
                    return r.first == labelInterface;
                });
                if (labelInterface && !known) {
                    found.append({labelInterface, QAccessible::Label});
                }
            }
        }
        return found;
    }

    int childCount() const override {
        const auto& lines = view()->getTextArray();
        return lines ? static_cast<int>(lines->size()) : 0;
    }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) {
            return nullptr;
        }
        // Qt keeps one interface per line, under the id it hands to the screen reader.
        if (auto id = lines_.constFind(index); id != lines_.constEnd()) {
            return QAccessible::accessibleInterface(*id);
        }
        auto* line = new LineAccessible(view(), index);
        lines_.insert(index, QAccessible::registerAccessibleInterface(line));
        return line;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        auto* line = dynamic_cast<const LineAccessible*>(child);
        return line && line->isValid() && line->parent() == this ? line->index() : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint point = view()->mapFromGlobal(QPoint(x, y));
        if (!view()->rect().contains(point) || view()->lineHeight() <= 0) {
            return nullptr;
        }
        return child(static_cast<int>(point.y() / view()->lineHeight()));
    }

private:
    mutable QHash<int, QAccessible::Id> lines_;
};

QAccessibleInterface* createInterface(const QString& className, QObject* object) {
    if (className == QLatin1String("tessaly::TextArrayView")) {
        if (auto* view = qobject_cast<TextArrayView*>(object)) {
            return new ViewAccessible(view);
        }
    }
    return nullptr;
}

} // namespace

void installTextArrayViewAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(createInterface);
        return true;
    }();
    (void)installed;
}

} // namespace tessaly
