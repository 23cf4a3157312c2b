#include "qt/accessibility.h"

#include "qt/frm_about.h"
#include "qt/frm_orvane.h"
#include "qt/frm_splash.h"
#include "qt/product_frame.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>

#include <functional>

namespace orvane {

namespace {

bool isDivider(const QWidget* w)
{
    const auto* frame = qobject_cast<const QFrame*>(w);
    return frame && (frame->frameShape() == QFrame::HLine || frame->frameShape() == QFrame::VLine);
}

// A program window as a frame. Its divider lines only draw: a screen reader
// has nothing to say about them, so they are left out of its children.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget* w)
        : QAccessibleWidget(w, QAccessible::Window)
    {
    }

    int childCount() const override { return int(children().size()); }

    QAccessibleInterface* child(int index) const override
    {
        const QList<QWidget*> list = children();
        return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list.at(index)) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child ? int(children().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
    }

private:
    QList<QWidget*> children() const
    {
        QList<QWidget*> list;
        for (QWidget* w : widget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!w->isWindow() && !isDivider(w))
                list.append(w);
        }
        return list;
    }
};

// A button with an action a screen reader can run: the same as a click.
class PressableAccessible : public QAccessibleWidget {
public:
    PressableAccessible(QWidget* w, QAccessible::Role role, std::function<void()> press)
        : QAccessibleWidget(w, role)
        , press_(std::move(press))
    {
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction() && widget()->isEnabled())
            press_();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    std::function<void()> press_;
};

// "Date" and "Name" are one choice, so they are radio buttons to a screen
// reader, although neither clears the other by itself.
class OptionAccessible : public PressableAccessible {
public:
    explicit OptionAccessible(OptionButton* b)
        : PressableAccessible(b, QAccessible::RadioButton, [b] { b->click(); })
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        if (t != QAccessible::Name || !own.isEmpty())
            return own;
        return button()->text().remove(QLatin1Char('&'));
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->isChecked();
        return s;
    }

private:
    OptionButton* button() const { return static_cast<OptionButton*>(widget()); }
};

class LinkAccessible : public PressableAccessible {
public:
    explicit LinkAccessible(LinkLabel* l)
        : PressableAccessible(l, QAccessible::Link, [l] { l->activate(); })
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        return t == QAccessible::Name && own.isEmpty() ? static_cast<LinkLabel*>(widget())->text() : own;
    }
};

// Qt asks once for each class of the object, the most derived first; only
// that first question is answered here.
QAccessibleInterface* accessibleFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType() || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    if (auto* option = qobject_cast<OptionButton*>(object))
        return new OptionAccessible(option);
    if (auto* link = qobject_cast<LinkLabel*>(object))
        return new LinkAccessible(link);
    if (auto* group = qobject_cast<OptionGroup*>(object))
        return new QAccessibleWidget(group, QAccessible::Grouping);
    // Not a window in a window, as a plain frame would read: only what holds
    // the product's name.
    if (auto* frame = qobject_cast<ProductFrame*>(object))
        return new QAccessibleWidget(frame, QAccessible::Grouping);
    if (qobject_cast<frmOrvane*>(object) || qobject_cast<frmAbout*>(object) || qobject_cast<frmSplash*>(object))
        return new WindowAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)installed;
}

} // namespace orvane
