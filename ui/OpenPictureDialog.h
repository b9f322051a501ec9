#pragma once

#include "ui/OpenFileDialog.h"

class QLabel;
class QPushButton;

namespace carteva {

// The bitmap dialog (OpenPictureDialog1): Qt's own file dialog with a preview pane beside the
// file list. The pane loads each selected file with LoadPicture and shows it scaled to fit; its
// caption gives the picture's size. A file that does not load shows "(None)" and is never
// reported. Only *.bmp is listed, but a typed name with another picture extension is accepted.
class OpenPictureDialog : public OpenFileDialog
{
    Q_OBJECT
public:
    explicit OpenPictureDialog(QWidget *parent = nullptr);

    QLabel *PictureLabel() const { return pictureLabel_; }
    QLabel *PreviewPane() const { return pane_; }
    QPushButton *PreviewButton() const { return previewButton_; }

    // The dialog keeps no preview once it has closed: a large map's pixels are not held.
    void done(int result) override;

private:
    void ShowPreview(const QString &fileName);
    void ClearPreview();
    void OpenPreviewWindow();

    QLabel *pictureLabel_ = nullptr;
    QLabel *pane_ = nullptr;
    QPushButton *previewButton_ = nullptr;
    QString previewFile_;
};

} // namespace carteva
