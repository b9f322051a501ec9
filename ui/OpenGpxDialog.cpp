#include "ui/OpenGpxDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

namespace carteva {

OpenGpxDialog::OpenGpxDialog(QWidget *parent)
    : OpenFileDialog(parent, QStringLiteral("OpenGPXDialog"), QStringLiteral("Open GPX"),
                     QStringLiteral("GPX file (*.gpx)"), QStringLiteral("gpx"))
{

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

} // namespace carteva
