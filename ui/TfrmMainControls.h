// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace carteva {

class OpenGpxDialog;
class OpenPictureDialog;
class PictureScrollArea;
class PictureView;

// The main window's controls and dialogs, named and placed as in its layout: the shape of a class
// that Qt's uic generates from a form. The window creates the dialogs when first needed.
struct TfrmMainControls
{
    PictureView *Image1 = nullptr;
    // Holds Image1 at 16, 58 and reaches to the window's right and bottom edges: scroll bars show
    // only where the zoomed picture does not fit.
    PictureScrollArea *PictureArea = nullptr;
    QFrame *Panel1 = nullptr;
    QFrame *pnlRightTop = nullptr;
    QLabel *stCurrentPos = nullptr;
    QLineEdit *edX = nullptr;
    QLineEdit *edY = nullptr;
    QLineEdit *edLat = nullptr;
    QLineEdit *edLon = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QPushButton *btSave = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *btOpenGPX = nullptr;
    OpenGpxDialog *OpenGPXDialog = nullptr;
    OpenPictureDialog *OpenPictureDialog1 = nullptr;

    // Creates the controls on `frmMain`, with their tab order and the focus in edX.
    void SetupUi(QWidget &frmMain);
};

} // namespace carteva
