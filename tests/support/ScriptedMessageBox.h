#pragma once

#include "MessageBox.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace tidewell::test {

// Records every message box and answers Yes/No questions from a script
// (Yes when the script has run out).
class ScriptedMessageBox : public MessageBox
{
public:
    struct Shown
    {
        QString prompt;
        int style = 0;
        QString title;
    };

    void answerNext(int answer) { m_answers.push_back(answer); }
    // Runs while a box is "open", as a user's other clicks could.
    void onShow(std::function<void(const Shown &)> hook) { m_hook = std::move(hook); }

    const std::vector<Shown> &shown() const { return m_shown; }
    QStringList prompts() const;
    void clear() { m_shown.clear(); }

protected:
    int present(const QString &prompt, int style, const QString &title) override;

private:
    std::vector<Shown> m_shown;
    std::deque<int> m_answers;
    std::function<void(const Shown &)> m_hook;
};

} // namespace tidewell::test
