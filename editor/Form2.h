#pragma once

#include "Connection.h"
#include "MessageBox.h"

#include <QString>

class QWidget;

namespace tidewell {

// The "Add / Remove Feeds" dialog. The object lives as long as the program
// and keeps the editing state; its controls are made afresh at each opening.
class Form2
{
public:
    struct Environment
    {
        MessageBox &messageBox;
        Connection &dbConn;
        QString programFolder;
    };

    explicit Form2(Environment environment);
    ~Form2();
    Form2(const Form2 &) = delete;
    Form2 &operator=(const Form2 &) = delete;

    // Shows the dialog modally over `owner` and returns when it is closed.
    void Show(QWidget *owner);

private:
    MessageBox &m_messageBox;
    Connection &m_dbConn;
    QString m_programFolder;
};

} // namespace tidewell
