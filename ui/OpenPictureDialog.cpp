#include "ui/OpenPictureDialog.h"

#include "picture/PictureLoader.h"
#include "ui/PicturePreviewWindow.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>
#include <optional>

namespace carteva {

namespace {

const QString CaptionText = QStringLiteral("Picture:");
const QString NoPictureText = QStringLiteral("(None)");
constexpr QSize PaneSize(200, 200);

// A preview that cannot be made is simply not shown.
std::optional<Picture> TryLoad(const QString &fileName)
{
    try {
        return LoadPicture(fileName);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

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

    connect(this, &QFileDialog::currentChanged, this, &OpenPictureDialog::ShowPreview);
    connect(previewButton_, &QPushButton::clicked, this, &OpenPictureDialog::OpenPreviewWindow);
}

void OpenPictureDialog::done(int result)
{
    ClearPreview();
    OpenFileDialog::done(result);
}

void OpenPictureDialog::ShowPreview(const QString &fileName)
{
    ClearPreview();
    if (!QFileInfo(fileName).isFile())
        return;
    const std::optional<Picture> picture = TryLoad(fileName);
    if (!picture)
        return;
    const QImage &image = picture->Image();
    pictureLabel_->setText(CaptionText
                           + QString::asprintf(" (%dx%d)", picture->Width(), picture->Height()));
    pane_->clear();
    if (image.isNull())
        return;
    // Pictures smaller than the pane keep their size.
    const QImage shown = image.width() > PaneSize.width() || image.height() > PaneSize.height()
        ? PicturePreviewWindow::ScaledToFit(image, PaneSize)
        : image;
    pane_->setPixmap(QPixmap::fromImage(shown));
    previewFile_ = fileName;
    previewButton_->setEnabled(true);
}

void OpenPictureDialog::ClearPreview()
{
    previewFile_.clear();
    previewButton_->setEnabled(false);
    pictureLabel_->setText(CaptionText);
    pane_->setText(NoPictureText);
}

void OpenPictureDialog::OpenPreviewWindow()
{
    // Loaded again rather than kept: the pane holds only the small copy.
    const std::optional<Picture> picture = TryLoad(previewFile_);
    if (!picture || picture->Image().isNull())
        return;
    PicturePreviewWindow window(picture->Image(), QFileInfo(previewFile_).fileName(), this);
    window.exec();
}

} // namespace carteva
