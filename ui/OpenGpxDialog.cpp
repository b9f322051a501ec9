#include "ui/OpenGpxDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace carteva {

OpenGpxDialog::OpenGpxDialog(QWidget *parent)
    : QFileDialog(parent)
{
    setObjectName(QStringLiteral("OpenGPXDialog"));
    // Qt's own dialog, so that the encoding row can be added to it.
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(QStringLiteral("Open GPX"));
    setNameFilter(QStringLiteral("GPX file (*.gpx)"));
    setDefaultSuffix(QStringLiteral("gpx"));
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setSizeGripEnabled(true);

    auto *label = new QLabel(QStringLiteral("Encoding:"), this);
    encoding_ = new QComboBox(this);
    encoding_->setObjectName(QStringLiteral("Encoding"));
    encoding_->addItems({QStringLiteral("ANSI"), QStringLiteral("ASCII"), QStringLiteral("Unicode"),
                         QStringLiteral("Big Endian Unicode"), QStringLiteral("UTF-8"),
                         QStringLiteral("UTF-7")});
    encoding_->setCurrentIndex(0);
    label->setBuddy(encoding_);
    if (auto *grid = qobject_cast<QGridLayout *>(layout())) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(encoding_, row, 1);
    }
}

void OpenGpxDialog::RememberChoice(const QString &fileName)
{
    lastFile_ = fileName;
    if (!lastFile_.isEmpty())
        selectFile(lastFile_);
}

void OpenGpxDialog::done(int result)
{
    // A file name accepted with Return while the name completer's list is up leaves that list
    // floating over the main window (seen under X11); close it with the dialog.
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        if (QCompleter *completer = edit->completer(); completer && completer->popup())
            completer->popup()->hide();
    QFileDialog::done(result);
}

} // namespace carteva
