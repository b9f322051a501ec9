// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"
#include "ui/OpenFileDialog.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QImage>
#include <QThreadPool>

#include <optional>

class QLabel;
class QPushButton;

namespace carteva {

// The bitmap dialog (OpenPictureDialog1): Qt's own file dialog with a preview pane beside the
// file list. The pane loads each selected file with LoadPicture and shows it scaled to fit; its
// caption gives the picture's size. A file that does not load shows "(None)" and is never
// reported. Only *.bmp is listed, but a typed name with another picture extension is accepted.
//
// Previews decode on a thread of their own, so that a large map never stalls the dialog; the
// latest selection wins. The chosen file's picture is kept for the window to take on Open.
class OpenPictureDialog : public OpenFileDialog
{
    Q_OBJECT
public:
    explicit OpenPictureDialog(QWidget *parent = nullptr);
    ~OpenPictureDialog() override;

    // The picture the preview decoded from `fileName`, if the file has not changed since (same
    // size and modification time); waits for a decoding still under way. Taken once.
    std::optional<Picture> TakeDecoded(const QString &fileName);

    // The dialog keeps no preview once it has closed, but the chosen file's picture: a large
    // map's pixels are held only until Open takes them.
    void done(int result) override;

private:
    // What a preview decoding hands back to the dialog: plain data.
    struct Decoded
    {
        QString fileName;
        qint64 size = -1;
        QDateTime modified;
        std::optional<Picture> picture; // nothing when the file does not load
        QImage thumbnail; // the picture scaled to fit the pane
    };

    // Runs on the decoding thread.
    static Decoded Decode(const QString &fileName);

    void ShowPreview(const QString &fileName);
    void ShowDecoded();
    void DropDecoding();
    void ClearPane();
    void OpenPreviewWindow();
    std::optional<Decoded> TakeFinished();

    QLabel *pictureLabel_ = nullptr;
    QLabel *pane_ = nullptr;
    QPushButton *previewButton_ = nullptr;
    QString requested_; // the file whose preview is decoding or decoded
    std::optional<Decoded> decoded_;
    // One decoding at a time: a selection made meanwhile cancels the ones still queued.
    QThreadPool decoder_;
    QFutureWatcher<Decoded> watcher_;
};

} // namespace carteva
