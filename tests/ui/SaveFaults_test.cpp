#include "calibration/CalibPoint.h"
#include "support/WindowFixture.h"
#include "ui/TfrmMain.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace carteva;
using carteva::test::WindowFixture;

namespace {

enum class Fault {
    FileSizeLimit, // writes past a few bytes fail (EFBIG), as on a full disk
    FolderInTheWay, // a folder stands where the calibration file goes
    FolderGone, // the bitmap's folder was removed while the window was open
    LinkLoop, // the calibration file is a link to itself
    ReadOnlyFile,
};

// Limits the size of files this process writes for its lifetime; the signal that would end the
// process at the limit is ignored, so that the write fails with EFBIG instead.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_ {};
    void (*previous_)(int) = nullptr;
};

} // namespace

Q_DECLARE_METATYPE(Fault)

class SaveFaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void failedSaveWarnsAndKeepsTheOldFile_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::newRow("file size limit") << Fault::FileSizeLimit;
        QTest::newRow("folder in the way") << Fault::FolderInTheWay;
        QTest::newRow("folder gone") << Fault::FolderGone;
        QTest::newRow("link loop") << Fault::LinkLoop;
        QTest::newRow("read-only file") << Fault::ReadOnlyFile;
    }

    void failedSaveWarnsAndKeepsTheOldFile()
    {
        QFETCH(Fault, fault);
        WindowFixture f;
        const QByteArray old = test::CalibrationBytes(40, 30, {TCalibPoint {5, 6, 50.5L, 14.25L}});
        const QString calibration = f.Path("map.cali");
        if (fault != Fault::FolderInTheWay && fault != Fault::LinkLoop)
            WindowFixture::WriteFile(calibration, old);
        f.Start(f.WriteBitmap("map.bmp", 40, 30));

        switch (fault) {
        case Fault::FolderInTheWay:
            QVERIFY(QDir(f.folder.path()).mkdir("map.cali"));
            break;
        case Fault::FolderGone:
            QVERIFY(QDir(f.folder.path()).removeRecursively());
            break;
        case Fault::LinkLoop:
            QVERIFY(QFile::link(calibration, calibration));
            break;
        case Fault::ReadOnlyFile:
            QFile::setPermissions(calibration, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
            break;
        case Fault::FileSizeLimit:
            break;
        }
        f.window->Points.push_back(TCalibPoint {20, 10, 49.75L, 15.5L});
        f.platform.messages.clear();
        {
            std::optional<FileSizeLimit> limit;
            if (fault == Fault::FileSizeLimit)
                limit.emplace(old.size() + 8);
            f.window->show();
            QVERIFY(f.window->close());
        }

        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(f.platform.messages[0].text, QString("Cannot save calibration"));
        QCOMPARE(f.platform.messages[0].caption, QString("Error"));
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::Warning);
        QVERIFY(!f.window->isVisible());
        if (fault == Fault::FileSizeLimit || fault == Fault::ReadOnlyFile)
            QCOMPARE(WindowFixture::ReadFile(calibration), old);
        // Nothing half-written is left beside the bitmap.
        const QStringList expected
            = fault == Fault::FolderGone ? QStringList {} : QStringList {"map.bmp", "map.cali"};
        QCOMPARE(
            QDir(f.folder.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name),
            expected);
    }

    void saveAfterAFailedOneWritesTheFile()
    {
        // The warning is not the end: once the disk has room again the next close saves.
        WindowFixture f;
        f.Start(f.WriteBitmap("map.bmp", 40, 30));
        f.window->Points.push_back(TCalibPoint {20, 10, 49.75L, 15.5L});
        {
            FileSizeLimit limit(16);
            f.Close();
        }
        QCOMPARE(f.platform.messages.back().text, QString("Cannot save calibration"));
        QVERIFY(!QFile::exists(f.Path("map.cali")));
        f.Close();
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")),
                 test::CalibrationBytes(40, 30, {TCalibPoint {20, 10, 49.75L, 15.5L}}));
    }
};

QTEST_MAIN(SaveFaultsTest)
#include "SaveFaults_test.moc"
