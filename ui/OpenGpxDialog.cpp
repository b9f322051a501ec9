// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/OpenGpxDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

namespace carteva {

OpenGpxDialog::OpenGpxDialog(QWidget *parent)
    : OpenFileDialog(parent, QStringLiteral("OpenGPXDialog"), QStringLiteral("Open GPX"),
                     QStringLiteral("GPX file (*.gpx)"), QStringLiteral("gpx"))
    , drawLines_(new QCheckBox(QStringLiteral("Draw tracks and routes"), this))
{
    drawLines_->setObjectName(QStringLiteral("DrawTracksAndRoutes"));
    auto *label = new QLabel(QStringLiteral("Encoding:"), this);
    auto *encoding = new QComboBox(this);
    encoding->setObjectName(QStringLiteral("Encoding"));
    encoding->addItems({QStringLiteral("ANSI"), QStringLiteral("ASCII"), QStringLiteral("Unicode"),
                        QStringLiteral("Big Endian Unicode"), QStringLiteral("UTF-8"),
                        QStringLiteral("UTF-7")});
    encoding->setCurrentIndex(0);
    label->setBuddy(encoding);
    if (auto *grid = qobject_cast<QGridLayout *>(layout())) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(encoding, row, 1);
        grid->addWidget(drawLines_, row, 2);
    }
}

void OpenGpxDialog::ShareDrawLines(QAction &drawLines)
{
    drawLines_->setChecked(drawLines.isChecked());
    connect(drawLines_, &QCheckBox::toggled, &drawLines, &QAction::setChecked);
    connect(&drawLines, &QAction::toggled, drawLines_, &QCheckBox::setChecked);
}

void OpenGpxDialog::RememberChoice(const QString &fileName)
{
    if (!fileName.isEmpty())
        selectFile(fileName);
}

} // namespace carteva
