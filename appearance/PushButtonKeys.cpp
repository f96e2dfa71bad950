#include "PushButtonKeys.h"

#include <QKeyEvent>
#include <QPushButton>

namespace tidewell {
namespace {

class EnterPressesButton : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !isEnter(*static_cast<QKeyEvent *>(event)))
            return QObject::eventFilter(watched, event);
        auto *button = static_cast<QPushButton *>(watched);
        if (button->isEnabled())
            button->click();
        return true;
    }

private:
    static bool isEnter(const QKeyEvent &key)
    {
        const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
        return modifiers == Qt::NoModifier && (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter);
    }
};

} // namespace

void pressOnEnter(QWidget &window, const QList<QPushButton *> &buttons)
{
    auto *filter = new EnterPressesButton(&window);
    for (QPushButton *button : buttons)
        button->installEventFilter(filter);
}

} // namespace tidewell
