// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/picture/SparseBitmap.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PicturePreviewWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <optional>

using namespace carteva;

namespace {

// The preview's parts, found by name as a user finds them by sight.
QLabel *Caption(const QDialog &dialog)
{
    return dialog.findChild<QLabel *>(QStringLiteral("PictureLabel"));
}

QLabel *Pane(const QDialog &dialog)
{
    return dialog.findChild<QLabel *>(QStringLiteral("PicturePane"));
}

QPushButton *PreviewButton(const QDialog &dialog)
{
    return dialog.findChild<QPushButton *>(QStringLiteral("PreviewButton"));
}

void SaveBitmap(const QString &path, QSize size, QRgb colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "BMP"));
}

void CopySample(const QString &name, const QString &path)
{
    QVERIFY(QFile::copy(QStringLiteral(CARTEVA_TEST_DATA_DIR "/") + name, path));
}

// Closes whatever is still up after a while, so that a dialog that does not accept fails the
// test instead of hanging it.
void CloseLater(QDialog &dialog)
{
    QTimer::singleShot(10000, &dialog, [&dialog] {
        if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != &dialog)
            modal->close();
        dialog.reject();
    });
}

void WritePreviewFiles(const QTemporaryDir &dir)
{
    SaveBitmap(dir.filePath(QStringLiteral("first.bmp")), {7, 3}, qRgb(1, 1, 1));
    SaveBitmap(dir.filePath(QStringLiteral("map.bmp")), {40, 30}, qRgb(0, 128, 0));
    CopySample(QStringLiteral("simple.emf"), dir.filePath(QStringLiteral("simple.emf")));
    CopySample(QStringLiteral("multi.ico"), dir.filePath(QStringLiteral("multi.ico")));
    CopySample(QStringLiteral("garbage.emf"), dir.filePath(QStringLiteral("garbage.emf")));
    QFile notes(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture");
}

// Clicks the file in the dialog's list, as a user picks it.
void ClickFile(OpenPictureDialog &dialog, const QString &name)
{
    auto *list = dialog.findChild<QListView *>(QStringLiteral("listView"));
    QVERIFY(list);
    QModelIndex index;
    const auto found = [&] {
        const QAbstractItemModel *model = list->model();
        for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
            index = model->index(row, 0, list->rootIndex());
            if (index.data().toString() == name)
                return true;
        }
        return false;
    };
    QVERIFY(QTest::qWaitFor(found, 5000));
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

// Calls back when a key press reaches the watched widget.
class KeyWatch : public QObject
{
public:
    explicit KeyWatch(std::function<void()> onKey)
        : onKey_(std::move(onKey))
    { }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            onKey_();
        return false;
    }

private:
    std::function<void()> onKey_;
};

} // namespace

class OpenPictureDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void TypedPathIsAccepted_data();
    void TypedPathIsAccepted();
    void PreviewCaptionGivesPictureSize_data();
    void PreviewCaptionGivesPictureSize();
    void PreviewWindowShowsPictureScaledAndCentred();
    void KeysAreHandledWhileAHugePreviewDecodes();
    void OpenTakesThePreviewOfAnUnchangedFile_data();
    void OpenTakesThePreviewOfAnUnchangedFile();
};

void OpenPictureDialogTest::TypedPathIsAccepted_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("bitmap") << "map.bmp"
                            << "map.bmp";
    QTest::newRow("no extension gets .bmp") << "map"
                                            << "map.bmp";
    QTest::newRow("icon, though not listed") << "icon.ico"
                                             << "icon.ico";
    QTest::newRow("enhanced metafile") << "drawing.emf"
                                       << "drawing.emf";
    QTest::newRow("metafile") << "drawing.wmf"
                              << "drawing.wmf";
}

void OpenPictureDialogTest::TypedPathIsAccepted()
{
    QFETCH(QString, typed);
    QFETCH(QString, chosen);
    QTemporaryDir dir;
    SaveBitmap(dir.filePath(QStringLiteral("map.bmp")), {8, 6}, qRgb(0, 0, 255));
    CopySample(QStringLiteral("single48.ico"), dir.filePath(QStringLiteral("icon.ico")));
    CopySample(QStringLiteral("simple.emf"), dir.filePath(QStringLiteral("drawing.emf")));
    CopySample(QStringLiteral("placeable96.wmf"), dir.filePath(QStringLiteral("drawing.wmf")));

    OpenPictureDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Open bitmap to calibrate"));
    QTimer::singleShot(0, &dialog, [&] {
        auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        // Typing goes to the focused name box, as a user's would.
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        name->setFocus();
        QTest::keyClicks(name, dir.filePath(typed));
        if (name->completer() && name->completer()->popup())
            name->completer()->popup()->hide();
        auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QPushButton *open = buttons->button(QDialogButtonBox::Open);
        QVERIFY(QTest::qWaitFor([open] { return open->isEnabled(); }, 5000));
        QTest::keyClick(name, Qt::Key_Return);
    });
    CloseLater(dialog);

    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.selectedFiles().value(0), dir.filePath(chosen));
    QCOMPARE(Caption(dialog)->text(), QStringLiteral("Picture:"));
}

void OpenPictureDialogTest::PreviewCaptionGivesPictureSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("shown");
    QTest::newRow("bitmap") << "map.bmp"
                            << " (40x30)" << true;
    QTest::newRow("enhanced metafile") << "simple.emf"
                                       << " (320x200)" << true;
    QTest::newRow("icon") << "multi.ico"
                          << " (256x256)" << true;
    QTest::newRow("not a metafile") << "garbage.emf"
                                    << "Picture:" << false;
    QTest::newRow("not a picture kind") << "notes.txt"
                                        << "Picture:" << false;
}

void OpenPictureDialogTest::PreviewCaptionGivesPictureSize()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, shown);
    QTemporaryDir dir;
    WritePreviewFiles(dir);

    // Another picture first, so that the caption has to change. Only bitmaps are listed; the
    // others come as the list's current file would.
    OpenPictureDialog dialog;
    dialog.setDirectory(dir.path());
    dialog.show();
    ClickFile(dialog, QStringLiteral("first.bmp"));
    QTRY_COMPARE(Caption(dialog)->text(), QStringLiteral(" (7x3)"));
    QVERIFY(PreviewButton(dialog)->isEnabled());

    emit dialog.currentChanged(dir.filePath(name));
    QTRY_COMPARE(Caption(dialog)->text(), caption);
    QCOMPARE(Pane(dialog)->pixmap().isNull(), !shown);
    QCOMPARE(Pane(dialog)->text(), shown ? QString() : QStringLiteral("(None)"));
    QCOMPARE(PreviewButton(dialog)->isEnabled(), shown);
    QVERIFY(Pane(dialog)->pixmap().width() <= Pane(dialog)->width());
}

void OpenPictureDialogTest::PreviewWindowShowsPictureScaledAndCentred()
{
    QTemporaryDir dir;
    SaveBitmap(dir.filePath(QStringLiteral("strip.bmp")), {40, 10}, qRgb(0, 0, 255));
    OpenPictureDialog dialog;
    dialog.setDirectory(dir.path());
    dialog.show();
    ClickFile(dialog, QStringLiteral("strip.bmp"));
    QTRY_VERIFY(PreviewButton(dialog)->isEnabled());

    QImage shown;
    QString title;
    QTimer::singleShot(0, &dialog, [&] {
        auto *window = qobject_cast<PicturePreviewWindow *>(QApplication::activeModalWidget());
        QVERIFY(window);
        title = window->windowTitle();
        window->resize(200, 150);
        shown = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        window->close();
    });
    CloseLater(dialog);
    QTest::mouseClick(PreviewButton(dialog), Qt::LeftButton);

    QCOMPARE(title, QStringLiteral("strip.bmp"));
    QCOMPARE(shown.size(), QSize(200, 150));
    // 40 x 10 fits 200 x 150 as 200 x 50, from y = 50.
    QCOMPARE(shown.pixel(100, 75), qRgb(0, 0, 255));
    QCOMPARE(shown.pixel(0, 51), qRgb(0, 0, 255));
    QCOMPARE(shown.pixel(199, 98), qRgb(0, 0, 255));
    QVERIFY(shown.pixel(100, 20) != qRgb(0, 0, 255));
    QVERIFY(shown.pixel(100, 130) != qRgb(0, 0, 255));
}

void OpenPictureDialogTest::KeysAreHandledWhileAHugePreviewDecodes()
{
    QTemporaryDir dir;
    const QString huge = dir.filePath(QStringLiteral("huge.bmp"));
    QVERIFY(test::WriteSparseBitmap(huge, 12000, 9000));
    SaveBitmap(dir.filePath(QStringLiteral("map.bmp")), {40, 30}, qRgb(0, 128, 0));
    OpenPictureDialog dialog;
    dialog.show();
    auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    QString captionAtKey;
    KeyWatch watch([&] { captionAtKey = Caption(dialog)->text(); });
    name->installEventFilter(&watch);

    // Queued as a user's selections and key press are: each waits for the handlers before it.
    const auto select = [&](const QString &path) {
        QMetaObject::invokeMethod(
            &dialog, [&dialog, path] { emit dialog.currentChanged(path); }, Qt::QueuedConnection);
    };
    select(huge);
    QCoreApplication::postEvent(name, new QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, {}));
    select(dir.filePath(QStringLiteral("map.bmp")));

    QTRY_COMPARE(captionAtKey, QStringLiteral("Picture:"));
    // The huge picture decodes first; its preview is dropped for the later selection's.
    QTRY_COMPARE_WITH_TIMEOUT(Caption(dialog)->text(), QStringLiteral(" (40x30)"), 30000);
    QVERIFY(!dialog.TakeDecoded(huge));
}

void OpenPictureDialogTest::OpenTakesThePreviewOfAnUnchangedFile_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("taken");
    QTest::newRow("unchanged") << "" << true;
    QTest::newRow("unchanged, preview still decoding") << "open at once" << true;
    QTest::newRow("rewritten with another size") << "rewrite" << false;
    QTest::newRow("modification time changed") << "touch" << false;
    QTest::newRow("another file opened") << "other" << false;
}

void OpenPictureDialogTest::OpenTakesThePreviewOfAnUnchangedFile()
{
    QFETCH(QString, change);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    WritePreviewFiles(dir);
    const QString path = dir.filePath(QStringLiteral("map.bmp"));
    OpenPictureDialog dialog;
    dialog.setDirectory(dir.path());
    dialog.show();
    ClickFile(dialog, QStringLiteral("map.bmp"));
    if (change != QStringLiteral("open at once"))
        QTRY_COMPARE(Caption(dialog)->text(), QStringLiteral(" (40x30)"));
    if (change == QStringLiteral("rewrite"))
        SaveBitmap(path, {41, 30}, qRgb(0, 128, 0));
    if (change == QStringLiteral("touch")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(file.fileTime(QFileDevice::FileModificationTime).addSecs(2),
                                 QFileDevice::FileModificationTime));
    }
    static_cast<QDialog &>(dialog).accept(); // as the Open button does
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const QString opened = change == QStringLiteral("other") ? dir.filePath("first.bmp") : path;
    const std::optional<Picture> picture = dialog.TakeDecoded(opened);
    QCOMPARE(picture.has_value(), taken);
    if (taken)
        QCOMPARE(picture->Image().pixel(39, 29), qRgb(0, 128, 0));
    QVERIFY(!dialog.TakeDecoded(opened));
}

QTEST_MAIN(OpenPictureDialogTest)
#include "OpenPictureDialog_test.moc"
