// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <QDialog>

#include <span>
#include <string>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace carteva {

// "Map projection…": the projection the map was drawn in, for the best fit. Degrees (none), Web
// Mercator (screenshots of web maps), UTM with the zone the points lie in, or any EPSG code or
// definition PROJ accepts, checked as it is typed with PROJ's own reason when it is refused.
class ProjectionDialog : public QDialog
{
    Q_OBJECT
public:
    ProjectionDialog(QWidget *parent, const std::string &current, std::span<const TCalibPoint> points);

    // The definition chosen; empty for degrees.
    std::string Definition() const;
    // Why the typed definition cannot be taken; empty when it can.
    QString Problem() const;

    QRadioButton &Degrees() const { return *degrees_; }
    QRadioButton &WebMercator() const { return *webMercator_; }
    QRadioButton &Utm() const { return *utm_; }
    QRadioButton &Other() const { return *other_; }
    QLineEdit &Typed() const { return *typed_; }
    QLabel &Verdict() const { return *verdict_; }
    QPushButton &OkButton() const { return *ok_; }

private:
    void Check();

    std::string utmDefinition_;
    QRadioButton *degrees_ = nullptr;
    QRadioButton *webMercator_ = nullptr;
    QRadioButton *utm_ = nullptr;
    QRadioButton *other_ = nullptr;
    QLineEdit *typed_ = nullptr;
    QLabel *verdict_ = nullptr;
    QPushButton *ok_ = nullptr;
    QString problem_;
};

} // namespace carteva
