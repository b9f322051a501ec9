// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/OpenPictureDialog.h"

#include "picture/PictureLoader.h"
#include "ui/PicturePreviewWindow.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPromise>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <utility>

namespace carteva {

namespace {

const QString CaptionText = QStringLiteral("Picture:");
const QString NoPictureText = QStringLiteral("(None)");
constexpr QSize PaneSize(200, 200);

} // namespace

OpenPictureDialog::OpenPictureDialog(QWidget *parent)
    : OpenFileDialog(parent, QStringLiteral("OpenPictureDialog1"),
                     QStringLiteral("Open bitmap to calibrate"), QStringLiteral("Bitmaps (*.bmp)"),
                     QStringLiteral("bmp"))
{

    auto *preview = new QWidget(this);
    auto *column = new QVBoxLayout(preview);
    column->setContentsMargins(0, 0, 0, 0);
    pictureLabel_ = new QLabel(CaptionText, preview);
    pictureLabel_->setObjectName(QStringLiteral("PictureLabel"));
    pane_ = new QLabel(NoPictureText, preview);
    pane_->setObjectName(QStringLiteral("PicturePane"));
    pane_->setFixedSize(PaneSize);
    pane_->setAlignment(Qt::AlignCenter);
    pane_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    previewButton_ = new QPushButton(QStringLiteral("Preview"), preview);
    previewButton_->setObjectName(QStringLiteral("PreviewButton"));
    previewButton_->setAutoDefault(false);
    previewButton_->setEnabled(false);
    column->addWidget(pictureLabel_);
    column->addWidget(pane_);
    column->addWidget(previewButton_, 0, Qt::AlignLeft);
    column->addStretch();
    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addWidget(preview, 1, grid->columnCount());

    decoder_.setMaxThreadCount(1);
    connect(&watcher_, &QFutureWatcher<Decoded>::finished, this, &OpenPictureDialog::ShowDecoded);
    connect(this, &QFileDialog::currentChanged, this, &OpenPictureDialog::ShowPreview);
    connect(previewButton_, &QPushButton::clicked, this, &OpenPictureDialog::OpenPreviewWindow);
}

OpenPictureDialog::~OpenPictureDialog()
{
    // The thread pool waits for its work when destroyed: a queued decoding need not start.
    watcher_.cancel();
}

std::optional<Picture> OpenPictureDialog::TakeDecoded(const QString &fileName)
{
    if (fileName.isEmpty() || fileName != requested_)
        return std::nullopt;
    // Open pressed while the preview still decodes: waiting costs less than decoding again.
    if (!decoded_) {
        watcher_.waitForFinished();
        decoded_ = TakeFinished();
    }
    std::optional<Decoded> taken = std::exchange(decoded_, std::nullopt);
    requested_.clear();
    if (!taken || !taken->picture)
        return std::nullopt;
    const QFileInfo now(fileName);
    if (now.size() != taken->size || now.lastModified() != taken->modified)
        return std::nullopt;
    return std::move(taken->picture);
}

void OpenPictureDialog::done(int result)
{
    if (result != Accepted || selectedFiles().value(0) != requested_)
        DropDecoding();
    ClearPane();
    OpenFileDialog::done(result);
}

OpenPictureDialog::Decoded OpenPictureDialog::Decode(const QString &fileName)
{
    Decoded decoded;
    decoded.fileName = fileName;
    // Stamped before reading: a file changed while it decodes no longer matches on Open.
    const QFileInfo info(fileName);
    decoded.size = info.size();
    decoded.modified = info.lastModified();
    try {
        decoded.picture = LoadPicture(fileName);
        const Picture &picture = *decoded.picture;
        // Pictures smaller than the pane keep their size.
        decoded.thumbnail
            = picture.Width() > PaneSize.width() || picture.Height() > PaneSize.height()
            ? PicturePreviewWindow::ScaledToFit(picture, PaneSize)
            : picture.Image();
    } catch (...) {
        decoded.picture.reset();
        return decoded; // a preview that cannot be made is simply not shown
    }
    return decoded;
}

void OpenPictureDialog::ShowPreview(const QString &fileName)
{
    DropDecoding();
    ClearPane();
    if (!QFileInfo(fileName).isFile())
        return;
    requested_ = fileName;
    auto promise = std::make_shared<QPromise<Decoded>>();
    watcher_.setFuture(promise->future());
    decoder_.start([promise, fileName] {
        promise->start();
        if (!promise->isCanceled())
            promise->addResult(Decode(fileName));
        promise->finish();
    });
}

void OpenPictureDialog::ShowDecoded()
{
    std::optional<Decoded> decoded = TakeFinished();
    if (!decoded)
        return;
    decoded_ = std::move(decoded);
    // A dialog that has closed shows nothing more; it only keeps the chosen file's picture.
    if (!isVisible() || !decoded_->picture)
        return;
    const Picture &picture = *decoded_->picture;
    pictureLabel_->setText(QString::asprintf(" (%dx%d)", picture.Width(), picture.Height()));
    pane_->clear();
    if (decoded_->thumbnail.isNull())
        return;
    pane_->setPixmap(QPixmap::fromImage(std::exchange(decoded_->thumbnail, QImage())));
    previewButton_->setEnabled(true);
}

std::optional<OpenPictureDialog::Decoded> OpenPictureDialog::TakeFinished()
{
    QFuture<Decoded> future = watcher_.future();
    if (!future.isValid() || !future.isFinished() || future.isCanceled()
        || future.resultCount() == 0)
        return std::nullopt;
    Decoded decoded = future.takeResult();
    // A result of an earlier selection is dropped.
    if (decoded.fileName != requested_)
        return std::nullopt;
    return decoded;
}

void OpenPictureDialog::DropDecoding()
{
    std::optional<Decoded> dropped = std::exchange(decoded_, std::nullopt);
    if (!dropped)
        dropped = TakeFinished();
    // A decoding under way finishes unseen; one still queued never starts.
    watcher_.cancel();
    requested_.clear();
    // A large map's pixels are let go on the decoding thread too: that takes a while.
    if (dropped)
        decoder_.start([dropped = std::make_shared<Decoded>(*std::move(dropped))] {});
}

void OpenPictureDialog::ClearPane()
{
    previewButton_->setEnabled(false);
    pictureLabel_->setText(CaptionText);
    pane_->setText(NoPictureText);
}

void OpenPictureDialog::OpenPreviewWindow()
{
    if (!decoded_ || !decoded_->picture || decoded_->picture->Size().isEmpty())
        return;
    PicturePreviewWindow window(*decoded_->picture, QFileInfo(decoded_->fileName).fileName(),
                                this);
    window.exec();
}

} // namespace carteva
