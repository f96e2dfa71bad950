#include "ScriptedMessageBox.h"

namespace tidewell::test {

QStringList ScriptedMessageBox::prompts() const
{
    QStringList result;
    for (const Shown &shown : m_shown)
        result << shown.prompt;
    return result;
}

int ScriptedMessageBox::present(const QString &prompt, int style, const QString &title)
{
    m_shown.push_back({prompt, style, title});
    if (m_hook)
        m_hook(m_shown.back());
    if ((style & 0x0f) != msgbox::YesNo)
        return msgbox::Ok;
    if (m_answers.empty())
        return msgbox::Yes;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

} // namespace tidewell::test
