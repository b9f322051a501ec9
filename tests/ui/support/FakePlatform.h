// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "ui/Platform.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace carteva::test {

// Answers dialogs from a queue and records message boxes, opened addresses and quit requests.
// Installed for its lifetime.
class FakePlatform : public Platform
{
public:
    struct Message
    {
        QString text;
        QString caption;
        QMessageBox::Icon icon;
        QStringList buttons; // of a question; empty for a plain message
    };

    FakePlatform() { Install(this); }
    ~FakePlatform() override { Install(nullptr); }

    std::optional<QString> RunFileDialog(QFileDialog &dialog) override;
    void ShowMessage(QWidget *owner, const QString &text, const QString &caption,
                     QMessageBox::Icon icon) override;
    int Ask(QWidget *owner, const QString &text, const QString &caption, QMessageBox::Icon icon,
            const QStringList &buttons) override;
    bool OpenUrl(const QUrl &url) override
    {
        urls.push_back(url);
        return browserStarts;
    }
    void Quit(int exitCode) override { quitCode = exitCode; }

    // Answers for the next file dialogs; nothing queued means Cancel.
    std::deque<std::optional<QString>> fileAnswers;
    QStringList dialogTitles;
    std::vector<Message> messages;
    // Answers for the next questions, as button indices; nothing queued means Escape (-1).
    std::deque<int> answers;
    std::vector<QUrl> urls;
    bool browserStarts = true;
    std::optional<int> quitCode;
    // Runs while a message box would be up (e.g. to look at the window meanwhile).
    std::function<void(const Message &)> onMessage;
};

} // namespace carteva::test
