#include "MousePointer.h"

#include "CursorFile.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

namespace tidewell {
namespace {
// A move that a child ignored reaches its parent too; only the widget
// actually under the mouse decides the pointer.
bool isDirectlyUnderMouse(QObject *watched, const QMouseEvent *move)
{
    const auto *widget = static_cast<const QWidget *>(watched);
    return widget->childAt(move->position().toPoint()) == nullptr;
}
} // namespace

MousePointerSwitch::MousePointerSwitch(QWidget &window, const QList<QWidget *> &pushButtons,
                                       const QList<QWidget *> &defaultControls)
    : QObject(&window), m_window(window)
{
    watch(&window, pointer::Default);
    for (QWidget *control : defaultControls)
        watch(control, pointer::Default);
    for (QWidget *button : pushButtons)
        watch(button, pointer::Custom);
}

void MousePointerSwitch::watch(QWidget *widget, int pointerValue)
{
    if (!widget)
        return;
    // Without tracking, Qt reports no moves while no button is held.
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
    m_pointerOver.insert(widget, pointerValue);
    connect(widget, &QObject::destroyed, this, [this](QObject *gone) { m_pointerOver.remove(gone); });
    // A scrolling view receives the mouse on its viewport, not on itself.
    if (auto *view = qobject_cast<QAbstractScrollArea *>(widget))
        watch(view->viewport(), pointerValue);
}

bool MousePointerSwitch::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        const auto found = m_pointerOver.constFind(watched);
        if (found != m_pointerOver.constEnd() && isDirectlyUnderMouse(watched, static_cast<QMouseEvent *>(event)))
            setMousePointer(found.value());
    }
    return QObject::eventFilter(watched, event);
}

bool MousePointerSwitch::LoadMouseIcon(const QString &cursorFile)
{
    setMouseIcon(readCursorFile(cursorFile));
    return hasMouseIcon();
}

void MousePointerSwitch::setMouseIcon(std::optional<QCursor> icon)
{
    m_mouseIcon = std::move(icon);
    showPointer();
}

void MousePointerSwitch::setMousePointer(int value)
{
    if (value == m_mousePointer)
        return;
    m_mousePointer = value;
    showPointer();
}

void MousePointerSwitch::showPointer()
{
    if (m_mousePointer != pointer::Custom)
        m_window.unsetCursor();
    else if (m_mouseIcon)
        m_window.setCursor(*m_mouseIcon);
    else
        m_window.setCursor(Qt::PointingHandCursor);
}

} // namespace tidewell
