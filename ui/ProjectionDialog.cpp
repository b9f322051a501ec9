// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ProjectionDialog.h"

#include "calibration/Errors.h"
#include "calibration/LongitudeSpan.h"
#include "calibration/MapProjection.h"
#include "calibration/ProjectionCatalogue.h"
#include "calibration/ProjectionSearch.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace carteva {

namespace {

constexpr int DefinitionRole = Qt::UserRole;

QTreeWidget *List(QWidget *parent, const QStringList &columns, const QString &name)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->header()->setStretchLastSection(true);
    list->setMinimumHeight(120);
    return list;
}

QString AreaText(const std::optional<AreaOfUse> &area)
{
    return area && !area->Name.empty() ? QString::fromStdString(area->Name)
                                       : QStringLiteral("no area given");
}

// The text typed is a definition rather than words: a PROJ string, WKT or PROJJSON.
bool LooksLikeDefinition(const QString &text)
{
    return text.startsWith('+') || text.startsWith('{') || text.contains('[');
}

} // namespace

ProjectionDialog::ProjectionDialog(QWidget *parent, const std::string &current,
                                   std::span<const TCalibPoint> points)
    : QDialog(parent)
    , points_(points.begin(), points.end())
    , utmDefinition_(MapProjection::UtmFor(points))
{
    setObjectName(QStringLiteral("ProjectionDialog"));
    setWindowTitle(QStringLiteral("Map projection"));
    setSizeGripEnabled(true);
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
    other_ = new QRadioButton(
        QStringLiteral("EPSG code, definition, or words from the map's margin:"), this);
    typed_ = new QLineEdit(this);
    typed_->setObjectName(QStringLiteral("Definition"));
    typed_->setPlaceholderText(
        QStringLiteral("EPSG:31468, 2056, +proj=lcc …, WKT, PROJJSON, or \"Swiss grid\""));
    verdict_ = new QLabel(this);
    verdict_->setObjectName(QStringLiteral("Verdict"));
    verdict_->setWordWrap(true);
    matches_ = List(this, {QStringLiteral("System"), QStringLiteral("Code"),
                           QStringLiteral("Area of use")},
                    QStringLiteral("Matches"));
    suggest_ = new QPushButton(QStringLiteral("&Suggest from the points"), this);
    suggest_->setEnabled(points_.size() >= ProjectionRanking::MinimumPoints);
    if (!suggest_->isEnabled())
        suggest_->setToolTip(QStringLiteral("Needs %1 points").arg(ProjectionRanking::MinimumPoints));
    cancel_ = new QPushButton(QStringLiteral("Cancel suggesting"), this);
    cancel_->setVisible(false);
    progress_ = new QProgressBar(this);
    progress_->setVisible(false);
    suggestions_ = List(this, {QStringLiteral("Held out px"), QStringLiteral("Worst px"),
                               QStringLiteral("System"), QStringLiteral("Code"),
                               QStringLiteral("Area of use")},
                        QStringLiteral("Suggestions"));
    suggestions_->setVisible(false);
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
    layout->addWidget(matches_, 1);
    auto *suggestRow = new QHBoxLayout;
    suggestRow->addWidget(suggest_);
    suggestRow->addWidget(progress_, 1);
    suggestRow->addWidget(cancel_);
    suggestRow->addStretch();
    layout->addLayout(suggestRow);
    layout->addWidget(suggestions_, 2);
    layout->addWidget(buttons);
    resize(720, 520);

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
        Search();
        Check();
    });
    connect(matches_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        typed_->setText(item->data(0, DefinitionRole).toString());
    });
    connect(suggestions_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        const QString definition = item->data(0, DefinitionRole).toString();
        if (definition.isEmpty())
            degrees_->setChecked(true);
        else
            typed_->setText(definition);
    });
    connect(suggest_, &QPushButton::clicked, this, &ProjectionDialog::Suggest);
    connect(cancel_, &QPushButton::clicked, this, [this] { watcher_.cancel(); });
    connect(&watcher_, &QFutureWatcherBase::progressRangeChanged, progress_,
            &QProgressBar::setRange);
    connect(&watcher_, &QFutureWatcherBase::progressValueChanged, progress_,
            &QProgressBar::setValue);
    connect(&watcher_, &QFutureWatcherBase::finished, this, &ProjectionDialog::ShowRanking);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    matches_->setVisible(false);
    Check();
}

ProjectionDialog::~ProjectionDialog()
{
    // The worker holds copies only; it is stopped so as not to outlive the window for nothing.
    watcher_.cancel();
    watcher_.waitForFinished();
}

std::string ProjectionDialog::Definition() const
{
    if (webMercator_->isChecked())
        return MapProjection::WebMercator;
    if (utm_->isChecked())
        return utmDefinition_;
    if (other_->isChecked())
        return ProjectionSearch::CodeOf(typed_->text().trimmed().toStdString());
    return {};
}

QString ProjectionDialog::Problem() const
{
    return problem_;
}

void ProjectionDialog::Search()
{
    const QString text = typed_->text().trimmed();
    matches_->clear();
    if (text.isEmpty() || LooksLikeDefinition(text)) {
        matches_->setVisible(false);
        return;
    }
    if (!search_)
        search_ = std::make_unique<ProjectionSearch>(ProjectionCatalogue::Read());
    QList<QTreeWidgetItem *> items;
    for (const ProjectionSearch::Hit &hit :
         search_->Find(text.toStdString(), LongitudeSpan::Of(points_))) {
        auto *item = new QTreeWidgetItem({QString::fromStdString(hit.Entry.Name),
                                          QString::fromStdString(hit.Entry.Code),
                                          QString::fromStdString(hit.Entry.AreaName)});
        item->setData(0, DefinitionRole, QString::fromStdString(hit.Entry.Code));
        items.append(item);
    }
    matches_->addTopLevelItems(items);
    matches_->resizeColumnToContents(0);
    matches_->setVisible(!items.isEmpty());
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
            const MapProjection projection(definition);
            const QString name = QString::fromStdString(projection.OneLine());
            if (projection.IsGeographic())
                problem_ = QStringLiteral(
                               "%1 is no projection but degrees of latitude and longitude on a "
                               "datum of its own. For a map drawn in degrees choose Degrees "
                               "(none); otherwise choose a projected system.")
                               .arg(name);
            else
                verdict = QStringLiteral("%1: a projection, for %2")
                              .arg(name, AreaText(projection.Area()));
        } catch (const Error &error) {
            problem_ = QString::fromStdString(error.what());
            if (matches_->topLevelItemCount() > 0)
                problem_ = QStringLiteral("No system is defined so: choose one of the %1 below "
                                          "that match the words")
                               .arg(matches_->topLevelItemCount());
        }
    } else {
        verdict = QStringLiteral("Degrees of latitude and longitude, as before");
    }
    verdict_->setText(problem_.isEmpty() ? verdict : problem_);
    ok_->setEnabled(problem_.isEmpty());
}

void ProjectionDialog::Suggest()
{
    // A second request cancels the first: its result would only be replaced.
    watcher_.cancel();
    suggestions_->clear();
    progress_->setRange(0, 0);
    progress_->setVisible(true);
    cancel_->setVisible(true);
    watcher_.setFuture(QtConcurrent::run(
        [](QPromise<std::vector<RankedProjection>> &promise, std::vector<TCalibPoint> points) {
            std::optional<std::vector<RankedProjection>> ranking = ProjectionRanking::Rank(
                points, [&promise](std::size_t done, std::size_t total) {
                    promise.setProgressRange(0, int(total));
                    promise.setProgressValue(int(done));
                    return !promise.isCanceled();
                });
            if (ranking)
                promise.addResult(std::move(*ranking));
        },
        points_));
}

void ProjectionDialog::ShowRanking()
{
    progress_->setVisible(false);
    cancel_->setVisible(false);
    const QFuture<std::vector<RankedProjection>> future = watcher_.future();
    if (future.isCanceled() || future.resultCount() == 0)
        return;
    QList<QTreeWidgetItem *> items;
    for (const RankedProjection &row : future.result()) {
        QString name = QString::fromStdString(row.Name);
        if (row.Others > 0)
            name += QStringLiteral(" and %1 other%2").arg(row.Others).arg(row.Others == 1 ? "" : "s");
        auto *item = new QTreeWidgetItem({QString::number(row.HeldOutRms, 'f', 3),
                                          QString::number(row.HeldOutWorst, 'f', 3), name,
                                          QString::fromStdString(row.Definition),
                                          QString::fromStdString(row.Area)});
        item->setData(0, DefinitionRole, QString::fromStdString(row.Definition));
        item->setToolTip(2, QString::fromStdString(row.Model));
        items.append(item);
    }
    suggestions_->addTopLevelItems(items);
    for (int column = 0; column < 3; ++column)
        suggestions_->resizeColumnToContents(column);
    suggestions_->setVisible(true);
}

} // namespace carteva
