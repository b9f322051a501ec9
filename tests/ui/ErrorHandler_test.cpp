// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CheckedMath.h"
#include "calibration/Errors.h"
#include "support/FakePlatform.h"
#include "ui/ErrorHandler.h"

#include <QApplication>
#include <QtTest>

#include <new>

using namespace carteva;

class ErrorHandlerTest : public QObject
{
    Q_OBJECT
private slots:
    void titleComesFromTheProgramFileName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << "/usr/bin/Carteva"
                               << "Carteva";
        QTest::newRow("exe") << "C:/maps/Carteva.exe"
                             << "Carteva";
        QTest::newRow("capitals") << "/opt/CARTEVA.EXE"
                                  << "Carteva";
        QTest::newRow("two dots") << "Carteva.old.exe"
                                  << "Carteva";
        QTest::newRow("first kept as is") << "/x/carTEVA"
                                          << "carteva";
        QTest::newRow("single letter") << "/x/C.exe"
                                       << "C";
        QTest::newRow("leading dot") << "/x/.hidden"
                                     << "";
        QTest::newRow("non-ASCII") << "/x/ÉCLAIR.bin"
                                   << "Éclair";
    }
    void titleComesFromTheProgramFileName()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(ErrorHandler::ApplicationTitle(path), title);
    }

    void fullStopOnlyAfterCharactersAboveTheDot_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Stream read error"
                                << "Stream read error.";
        QTest::newRow("digit") << "Line 7"
                               << "Line 7.";
        QTest::newRow("question mark") << "why?"
                                       << "why?.";
        QTest::newRow("colon") << "Note:"
                               << "Note:.";
        QTest::newRow("slash") << "a/"
                               << "a/.";
        QTest::newRow("dot") << "done."
                             << "done.";
        QTest::newRow("parenthesis") << "Unknown picture file extension (.jpg)"
                                     << "Unknown picture file extension (.jpg)";
        QTest::newRow("exclamation") << "stop!"
                                     << "stop!";
        QTest::newRow("comma") << "a,"
                               << "a,";
        QTest::newRow("minus") << "a-"
                               << "a-";
        QTest::newRow("quote") << "''12 '' is not a valid integer value"
                               << "''12 '' is not a valid integer value.";
        QTest::newRow("apostrophe") << "it's'"
                                    << "it's'";
        QTest::newRow("space") << "a "
                               << "a ";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("non-ASCII") << "température"
                                   << "température.";
    }
    void fullStopOnlyAfterCharactersAboveTheDot()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ErrorHandler::WithFullStop(message), shown);
    }

    void failuresAreShownWithStopIconAndTitle()
    {
        test::FakePlatform platform;
        Guarded([] { throw EConvertError::NotAnInteger(u"abc"); });
        Guarded([] { throw std::bad_alloc(); });
        Guarded([] { throw 42; });
        QCOMPARE(platform.messages.size(), std::size_t(3));
        const QString title
            = ErrorHandler::ApplicationTitle(QCoreApplication::applicationFilePath());
        QCOMPARE(platform.messages[0].text, QString("''abc'' is not a valid integer value."));
        QCOMPARE(platform.messages[0].caption, title);
        QCOMPARE(platform.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(platform.messages[1].text, QString("Out of memory."));
        QCOMPARE(platform.messages[2].text, QString("Unknown error."));
    }

    void silentAbortShowsNothing()
    {
        test::FakePlatform platform;
        Guarded([] { throw EAbort(); });
        QVERIFY(platform.messages.empty());
    }

    void floatingPointSettingsAreRestoredAfterAFailure()
    {
        test::FakePlatform platform;
        Guarded([] {
            const std::uint16_t truncatingSinglePrecision = 0x0C7F;
            asm volatile("fldcw %0" : : "m"(truncatingSinglePrecision));
            throw EOverflow();
        });
        QVERIFY(FloatingPointSettingsInForce());
        QCOMPARE(platform.messages.at(0).text, QString("Floating point overflow."));
    }
};

QTEST_MAIN(ErrorHandlerTest)
#include "ErrorHandler_test.moc"
