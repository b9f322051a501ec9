// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ProjectionDialog.h"

#include "calibration/BestFit.h"
#include "calibration/Errors.h"
#include "calibration/MapProjection.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace carteva {

ProjectionDialog::ProjectionDialog(QWidget *parent, const std::string &current,
                                   std::span<const TCalibPoint> points)
    : QDialog(parent)
    , utmDefinition_(MapProjection::UtmFor(points))
{
    setObjectName(QStringLiteral("ProjectionDialog"));
    setWindowTitle(QStringLiteral("Map projection"));
    auto *intro = new QLabel(
        QStringLiteral("The projection the map was drawn in, as its margin often prints it. The "
                       "best fit works in it, where a printed grid is exact."),
        this);
    intro->setWordWrap(true);
    degrees_ = new QRadioButton(QStringLiteral("Degrees (none)"), this);
    webMercator_ = new QRadioButton(
        QStringLiteral("Web Mercator (screenshots of web maps)"), this);
    utm_ = new QRadioButton(utmDefinition_.empty()
                                ? QStringLiteral("UTM, zone taken from the points (no points yet)")
                                : QStringLiteral("UTM, zone taken from the points (%1)")
                                      .arg(QString::fromStdString(utmDefinition_)),
                            this);
    utm_->setEnabled(!utmDefinition_.empty());
    other_ = new QRadioButton(QStringLiteral("EPSG code or definition:"), this);
    typed_ = new QLineEdit(this);
    typed_->setObjectName(QStringLiteral("Definition"));
    typed_->setPlaceholderText(QStringLiteral("EPSG:31468, +proj=lcc …, WKT or PROJJSON"));
    verdict_ = new QLabel(this);
    verdict_->setObjectName(QStringLiteral("Verdict"));
    verdict_->setWordWrap(true);
    auto *group = new QButtonGroup(this);
    for (QRadioButton *button : {degrees_, webMercator_, utm_, other_})
        group->addButton(button);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    for (QWidget *widget : std::initializer_list<QWidget *> {degrees_, webMercator_, utm_, other_,
                                                             typed_, verdict_})
        layout->addWidget(widget);
    layout->addWidget(buttons);

    if (current.empty())
        degrees_->setChecked(true);
    else if (current == MapProjection::WebMercator)
        webMercator_->setChecked(true);
    else if (current == utmDefinition_)
        utm_->setChecked(true);
    else
        other_->setChecked(true);
    if (other_->isChecked())
        typed_->setText(QString::fromStdString(current));
    connect(group, &QButtonGroup::buttonToggled, this, [this] { Check(); });
    connect(typed_, &QLineEdit::textChanged, this, [this] {
        if (!other_->isChecked() && !typed_->text().isEmpty())
            other_->setChecked(true);
        Check();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Check();
}

std::string ProjectionDialog::Definition() const
{
    if (webMercator_->isChecked())
        return MapProjection::WebMercator;
    if (utm_->isChecked())
        return utmDefinition_;
    if (other_->isChecked())
        return typed_->text().trimmed().toStdString();
    return {};
}

QString ProjectionDialog::Problem() const
{
    return problem_;
}

void ProjectionDialog::Check()
{
    problem_.clear();
    const std::string definition = Definition();
    QString verdict;
    if (definition.empty() && other_->isChecked()) {
        problem_ = QStringLiteral("Type an EPSG code or a definition");
    } else if (!definition.empty()) {
        try {
            verdict = QString::fromStdString(MapProjection(definition).Name());
        } catch (const Error &error) {
            problem_ = QString::fromStdString(error.what());
        }
    } else {
        verdict = QStringLiteral("Degrees of latitude and longitude, as before");
    }
    verdict_->setText(problem_.isEmpty() ? verdict : problem_);
    ok_->setEnabled(problem_.isEmpty());
}

} // namespace carteva
