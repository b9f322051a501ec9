// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArrayView>
#include <QtEndian>

namespace carteva {

// Fields of the little-endian file formats (BMP, ICO, WMF, EMF), read from `at` bytes into
// `bytes`; the caller has made sure the field lies inside them.
inline quint16 ReadU16(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.data() + at);
}

inline qint16 ReadS16(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<qint16>(bytes.data() + at);
}

inline quint32 ReadU32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

inline qint32 ReadS32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<qint32>(bytes.data() + at);
}

} // namespace carteva
