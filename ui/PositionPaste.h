// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QClipboard>
#include <QObject>
#include <QString>

#include <optional>

class QLineEdit;

namespace carteva {

// A position copied from a web map ("50.08123, 14.42076") pasted into the latitude or the
// longitude field fills both. Any other paste, and all typing, the fields handle as always.
class PositionPaste : public QObject
{
    Q_OBJECT
public:
    // Watches both fields; owned by the latitude field.
    PositionPaste(QLineEdit &lat, QLineEdit &lon);

    struct Pair
    {
        QString Lat;
        QString Lon;
        bool operator==(const Pair &) const = default;
    };
    // Two decimal numbers, latitude first unless N/S/E/W letters say otherwise, apart by a comma,
    // a semicolon or spaces, each maybe with a degree sign; the digits as written, S and W as a
    // minus sign. Empty for anything else, positions beyond the poles or the date line included.
    static std::optional<Pair> ParsePair(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Fills both fields when the clipboard holds a pair; false leaves the paste to the field.
    bool PastePair(QClipboard::Mode mode);
    void ShowContextMenu(QLineEdit &field, QPoint globalPos);

    QLineEdit &lat_;
    QLineEdit &lon_;
};

} // namespace carteva
