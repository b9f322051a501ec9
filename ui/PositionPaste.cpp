// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PositionPaste.h"

#include "ui/TextCrossing.h"
#include "calibration/NumberText.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>

#include <cmath>

namespace carteva {

namespace {

// Numbers as map sites write them: digits with a decimal point, no exponent.
const QString kNumber = QStringLiteral(R"((\d+(?:\.\d*)?|\.\d+))");
const QString kSignedNumber = QStringLiteral(R"(([+-]?(?:\d+(?:\.\d*)?|\.\d+)))");
const QString kLetter = QStringLiteral(R"(([NSEW]))");
// Between the two parts: a comma or a semicolon, spaces, or both.
const QString kApart = QStringLiteral(R"(\s*(?:[,;]\s*|\s))");

// Two numbers without letters; with a letter after each; with a letter before each.
const QRegularExpression kPlainPair(QLatin1Char('^') + kSignedNumber + kApart + kSignedNumber
                                    + QLatin1Char('$'));
const QRegularExpression kLettersAfter(QLatin1Char('^') + kNumber + R"(\s*)" + kLetter
                                           + R"(\s*[,;]?\s*)" + kNumber + R"(\s*)" + kLetter
                                           + QLatin1Char('$'),
                                       QRegularExpression::CaseInsensitiveOption);
const QRegularExpression kLettersBefore(QLatin1Char('^') + kLetter + R"(\s*)" + kNumber
                                            + R"(\s*[,;]?\s*)" + kLetter + R"(\s*)" + kNumber
                                            + QLatin1Char('$'),
                                        QRegularExpression::CaseInsensitiveOption);

bool Within(const QString &number, double limit)
{
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::fabs(value) <= limit;
}

// The digits, negative in the southern or western half.
QString Signed(const QString &digits, QChar letter, QChar negative)
{
    return (letter.toUpper() == negative ? QStringLiteral("-") : QString()) + digits;
}

} // namespace

PositionPaste::PositionPaste(QLineEdit &lat, QLineEdit &lon)
    : QObject(&lat)
    , lat_(lat)
    , lon_(lon)
{
    lat_.installEventFilter(this);
    lon_.installEventFilter(this);
}

std::optional<PositionPaste::Pair> PositionPaste::ParsePair(const QString &text)
{
    // A position is short; a long text is something else, and is not worth matching.
    if (text.size() > 100)
        return std::nullopt;
    // Degree signs (and the ordinal sign often typed for one) only stand between the parts.
    QString plain = text;
    plain.replace(QChar(0x00B0), QLatin1Char(' ')).replace(QChar(0x00BA), QLatin1Char(' '));
    plain = plain.trimmed();

    std::optional<Pair> pair;
    if (const auto plainMatch = kPlainPair.match(plain); plainMatch.hasMatch()) {
        pair = Pair {plainMatch.captured(1), plainMatch.captured(2)};
    } else {
        auto m = kLettersAfter.match(plain);
        int first = 1, firstLetter = 2, second = 3, secondLetter = 4;
        if (!m.hasMatch()) {
            m = kLettersBefore.match(plain);
            first = 2, firstLetter = 1, second = 4, secondLetter = 3;
        }
        if (!m.hasMatch())
            return std::nullopt;
        const QChar a = m.captured(firstLetter).at(0).toUpper();
        const QChar b = m.captured(secondLetter).at(0).toUpper();
        const auto isLat = [](QChar c) { return c == QLatin1Char('N') || c == QLatin1Char('S'); };
        if (isLat(a) == isLat(b))
            return std::nullopt;
        // The letters say which number is which.
        const bool latFirst = isLat(a);
        pair = Pair {Signed(m.captured(latFirst ? first : second), latFirst ? a : b, u'S'),
                     Signed(m.captured(latFirst ? second : first), latFirst ? b : a, u'W')};
    }
    // Only what Save takes as it stands is worth splitting.
    if (!Within(pair->Lat, 90) || !Within(pair->Lon, 180) || !IsDecimalNumber(Utf16(pair->Lat))
        || !IsDecimalNumber(Utf16(pair->Lon)))
        return std::nullopt;
    return pair;
}

bool PositionPaste::PastePair(QClipboard::Mode mode)
{
    const std::optional<Pair> pair = ParsePair(QGuiApplication::clipboard()->text(mode));
    if (!pair)
        return false;
    // As a paste does, so that undo brings each field's old text back.
    for (auto [field, text] : {std::pair {&lat_, pair->Lat}, std::pair {&lon_, pair->Lon}}) {
        field->selectAll();
        field->insert(text);
    }
    return true;
}

void PositionPaste::ShowContextMenu(QLineEdit &field, QPoint globalPos)
{
    QMenu *menu = field.createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The field's own entry, found by the caption the field gives it in every language.
    const QString caption = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction *action : menu->actions()) {
        if (!action->text().startsWith(caption))
            continue;
        disconnect(action, &QAction::triggered, &field, nullptr);
        connect(action, &QAction::triggered, &field, [this, &field] {
            if (!PastePair(QClipboard::Clipboard))
                field.paste();
        });
    }
    menu->popup(globalPos);
}

bool PositionPaste::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field || field->isReadOnly())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->matches(QKeySequence::Paste))
            return false;
        // Ctrl + Shift + Insert pastes the selection on X11, as in the field itself.
        const bool selection = key->key() == Qt::Key_Insert
            && key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)
            && QGuiApplication::clipboard()->supportsSelection();
        return PastePair(selection ? QClipboard::Selection : QClipboard::Clipboard);
    }
    case QEvent::MouseButtonRelease:
        // The middle button pastes the selection where there is one.
        return static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton
            && QGuiApplication::clipboard()->supportsSelection()
            && PastePair(QClipboard::Selection);
    case QEvent::ContextMenu:
        ShowContextMenu(*field, static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    default:
        return false;
    }
}

} // namespace carteva
