#pragma once

#include "ui/OpenFileDialog.h"

class QComboBox;

namespace carteva {

// The GPX file dialog: one filter, an encoding list that remembers its choice, and the last file
// chosen offered again. The encoding choice does not affect parsing: the parser reads the
// encoding from the file itself.
class OpenGpxDialog : public OpenFileDialog
{
    Q_OBJECT
public:
    explicit OpenGpxDialog(QWidget *parent = nullptr);

    QComboBox *EncodingList() const { return encoding_; }
    // Offers the file chosen last before the dialog is shown again.
    void RememberChoice(const QString &fileName);

private:
    QComboBox *encoding_ = nullptr;
    QString lastFile_;
};

} // namespace carteva
