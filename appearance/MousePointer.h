#pragma once

#include <QCursor>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QWidget;

namespace tidewell {

// A window's mouse pointer values.
namespace pointer {
inline constexpr int Default = 0;
inline constexpr int Custom = 99;
} // namespace pointer

// The cursor file each window loads its custom pointer from, beside the
// executable.
inline const QString cursorFileName = QStringLiteral("HAND-M.CUR");

// Switches a window's pointer as the mouse moves: to the custom pointer over
// its push buttons, back to the default over the window itself and the
// controls listed with it; other controls leave it as it is. Lives as a
// child of the window.
class MousePointerSwitch : public QObject
{
    Q_OBJECT

public:
    MousePointerSwitch(QWidget &window, const QList<QWidget *> &pushButtons, const QList<QWidget *> &defaultControls);

    // Loads the custom pointer's picture from a cursor file. When it cannot
    // be read the window keeps no picture, and the custom pointer shows the
    // desktop's pointing hand.
    bool LoadMouseIcon(const QString &cursorFile);
    void setMouseIcon(std::optional<QCursor> icon);
    bool hasMouseIcon() const { return m_mouseIcon.has_value(); }

    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int value);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watch(QWidget *widget, int pointerValue);
    void showPointer();

    QWidget &m_window;
    std::optional<QCursor> m_mouseIcon;
    int m_mousePointer = pointer::Default;
    QHash<const QObject *, int> m_pointerOver;
};

} // namespace tidewell
