// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/ProjectionRanking.h"

#include <QDialog>
#include <QFutureWatcher>

#include <memory>
#include <span>
#include <string>
#include <vector>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace carteva {

class ProjectionSearch;

// "Map projection…": the projection the map was drawn in, for the best fit. Degrees (none), Web
// Mercator (screenshots of web maps), UTM with the zone the points lie in, or any EPSG code or
// definition PROJ accepts, checked as it is typed with PROJ's own reason when it is refused. Words
// from the sheet's margin list the systems that match them; "Suggest from the points" ranks the
// systems whose area holds the points by how well the points fit in each, off the window's thread.
class ProjectionDialog : public QDialog
{
    Q_OBJECT
public:
    ProjectionDialog(QWidget *parent, const std::string &current, std::span<const TCalibPoint> points);
    ~ProjectionDialog() override;

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
    // The systems the typed words match: name, code, area of use.
    QTreeWidget &Matches() const { return *matches_; }
    // The ranking: held-out px, worst px, name, code, area of use.
    QTreeWidget &Suggestions() const { return *suggestions_; }
    QPushButton &SuggestButton() const { return *suggest_; }
    // Starts a ranking, cancelling one still running.
    void Suggest();
    // The ranking running or last run, for waiting on it.
    QFuture<std::vector<RankedProjection>> Ranking() const { return watcher_.future(); }

private:
    void Check();
    void Search();
    void ShowRanking();

    std::vector<TCalibPoint> points_;
    std::string utmDefinition_;
    std::unique_ptr<ProjectionSearch> search_;
    QRadioButton *degrees_ = nullptr;
    QRadioButton *webMercator_ = nullptr;
    QRadioButton *utm_ = nullptr;
    QRadioButton *other_ = nullptr;
    QLineEdit *typed_ = nullptr;
    QLabel *verdict_ = nullptr;
    QTreeWidget *matches_ = nullptr;
    QPushButton *suggest_ = nullptr;
    QPushButton *cancel_ = nullptr;
    QProgressBar *progress_ = nullptr;
    QTreeWidget *suggestions_ = nullptr;
    QPushButton *ok_ = nullptr;
    QString problem_;
    QFutureWatcher<std::vector<RankedProjection>> watcher_;
};

} // namespace carteva
