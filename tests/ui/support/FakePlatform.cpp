// SPDX-License-Identifier: GPL-2.0-or-later
#include "FakePlatform.h"

#include <QFileDialog>

namespace carteva::test {

std::optional<QString> FakePlatform::RunFileDialog(QFileDialog &dialog)
{
    dialogTitles << dialog.windowTitle();
    if (fileAnswers.empty())
        return std::nullopt;
    const bool cancelled = !fileAnswers.front().has_value();
    const QString path = fileAnswers.front().value_or(QString());
    fileAnswers.pop_front();
    if (cancelled)
        return std::nullopt;
    return path;
}

void FakePlatform::ShowMessage(QWidget *, const QString &text, const QString &caption,
                               QMessageBox::Icon icon)
{
    messages.push_back({text, caption, icon, {}});
    if (onMessage)
        onMessage(messages.back());
}

int FakePlatform::Ask(QWidget *, const QString &text, const QString &caption,
                      QMessageBox::Icon icon, const QStringList &buttons)
{
    messages.push_back({text, caption, icon, buttons});
    if (onMessage)
        onMessage(messages.back());
    if (answers.empty())
        return -1;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

} // namespace carteva::test
