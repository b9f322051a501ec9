// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/TfrmMainControls.h"

#include "ui/PictureScrollArea.h"
#include "ui/PictureView.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace carteva {

namespace {

template<class Control>
Control *Place(Control *control, const char *name, int left, int top, int width, int height)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

} // namespace

void TfrmMainControls::SetupUi(QWidget &frmMain)
{
    Image1 = new PictureView;
    PictureArea = Place(new PictureScrollArea(Image1, &frmMain), "PictureArea", 16, 58, 633, 410);
    Panel1 = Place(new QFrame(&frmMain), "Panel1", 0, 0, 676, 41);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    pnlRightTop = Place(new QFrame(Panel1), "pnlRightTop", 569, 1, 106, 39);
    pnlRightTop->setFrameStyle(QFrame::NoFrame);
    stCurrentPos = Place(new QLabel(pnlRightTop), "stCurrentPos", 8, 13, 81, 17);
    stCurrentPos->setAlignment(Qt::AlignRight | Qt::AlignTop);
    edX = Place(new QLineEdit(Panel1), "edX", 60, 11, 41, 21);
    edY = Place(new QLineEdit(Panel1), "edY", 120, 11, 41, 21);
    edLat = Place(new QLineEdit(Panel1), "edLat", 232, 11, 65, 21);
    edLon = Place(new QLineEdit(Panel1), "edLon", 303, 11, 65, 21);
    Label1 = Place(new QLabel(QStringLiteral("Coords:"), Panel1), "Label1", 16, 14, 38, 13);
    Label2 = Place(new QLabel(QStringLiteral("x"), Panel1), "Label2", 107, 14, 6, 13);
    Label3 = Place(new QLabel(QStringLiteral("Lat / Lon:"), Panel1), "Label3", 180, 14, 46, 13);
    btSave = Place(new QPushButton(QStringLiteral("Save"), Panel1), "btSave", 374, 9, 43, 25);
    btSave->setCursor(Qt::PointingHandCursor);
    BitBtn1 = Place(new QPushButton(QStringLiteral("Open map"), Panel1), "BitBtn1", 423, 9, 59, 25);
    btOpenGPX = Place(new QPushButton(QStringLiteral("GPX"), Panel1), "btOpenGPX", 488, 9, 33, 25);
    for (QPushButton *button : {btSave, BitBtn1, btOpenGPX}) {
        // No default button: Enter and Escape trigger nothing.
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    for (QLabel *label : {Label1, Label2, Label3, stCurrentPos})
        label->setFocusPolicy(Qt::NoFocus);
    // The labels size themselves to their text: with a substitute for Tahoma the designed widths
    // would clip it.
    for (QLabel *label : {Label1, Label2, Label3})
        label->adjustSize();
    Panel1->setFocusPolicy(Qt::NoFocus);
    pnlRightTop->setFocusPolicy(Qt::NoFocus);
    QWidget::setTabOrder(edX, edY);
    QWidget::setTabOrder(edY, edLat);
    QWidget::setTabOrder(edLat, edLon);
    QWidget::setTabOrder(edLon, btSave);
    QWidget::setTabOrder(btSave, BitBtn1);
    QWidget::setTabOrder(BitBtn1, btOpenGPX);
    edX->setFocus();
}

} // namespace carteva
