// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PointsWindow.h"

#include "calibration/Errors.h"
#include "calibration/GeoToPixel.h"
#include "calibration/MapProjection.h"
#include "calibration/NumberText.h"
#include "calibration/Residuals.h"
#include "ui/CalibrationDocument.h"
#include "ui/EnteredPoint.h"
#include "ui/ErrorHandler.h"
#include "ui/MappingChoice.h"
#include "ui/MappingFigures.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureView.h"
#include "ui/PointsTableModel.h"
#include "ui/TextCrossing.h"
#include "ui/TfrmMainControls.h"
#include "ui/ToolWindowPlace.h"
#include "ui/UserSettings.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace carteva {

namespace {

const QString kGeometryKey = QStringLiteral("pointsWindow/geometry");

QString Rounded(double value)
{
    const double clamped = std::clamp(std::round(value), double(INT_MIN), double(INT_MAX));
    return FromUtf16(FormatInteger(std::int32_t(clamped)));
}

// "Best fit: quadratic, 9 points, in WGS 84 / UTM zone 33N"
QString MappingName(const MappingSetup &setup, const ResidualReport &report)
{
    if (setup.Kind == MappingKind::TwoNearest)
        return QStringLiteral("Two nearest points");
    QString name = QStringLiteral("Best fit");
    if (!report.Model.empty())
        name += QStringLiteral(": ") + QString::fromStdString(report.Model);
    if (setup.Projection)
        name += QStringLiteral(", in ") + QString::fromStdString(setup.Projection->Name());
    return name;
}

struct Offset
{
    double Metres;
    double Pixels;
};

// How far a point not saved yet lies from where the other points put it; nothing while the fields
// do not hold a complete new point, or the other points give no mapping.
std::optional<Offset> OffsetFromOthers(const MapModel &map, const TfrmMainControls &ui)
{
    const std::vector<TCalibPoint> &points = map.Points();
    try {
        // Refused text is no point yet: Save would refuse it too.
        const EnteredPoint entered = EnteredPoint::Read(ui);
        const std::int32_t x = entered.X, y = entered.Y;
        const Extended lat = entered.Lat, lon = entered.Lon;
        const int same = FindPoint(points, x, y);
        if (same >= 0 && points[std::size_t(same)].Lat == lat
            && points[std::size_t(same)].Lon == lon)
            return std::nullopt; // what Save would store is stored already
        // A new pixel is judged by the map's own georeferencing; a corrected one by the others.
        std::optional<Mapping> others;
        if (same >= 0) {
            std::vector<TCalibPoint> rest = points;
            rest.erase(rest.begin() + same);
            others.emplace(map.Setup(), rest);
        }
        const Mapping &mapping = others ? *others : map.Georeferencing();
        if (!mapping.Reason().empty())
            return std::nullopt;
        const std::optional<PixelPoint> pixel = mapping.GeoToPixelExact(lat, lon);
        const std::optional<GeoPosition> position = mapping.PixelToGeo(x, y);
        if (!pixel || !position)
            return std::nullopt;
        const double pixels = std::hypot(pixel->X - x, pixel->Y - y);
        const double metres = GreatCircleMetres(lat, lon, position->Lat, position->Lon);
        if (!std::isfinite(pixels) || !std::isfinite(metres))
            return std::nullopt;
        return Offset {metres, pixels};
    } catch (const Error &) {
        // Text that is no number yet, or a pair of points the nearest-pair rule cannot divide by.
        return std::nullopt;
    }
}

} // namespace

PointsWindow::PointsWindow(QWidget &window, const TfrmMainControls &ui,
                           CalibrationDocument &document, const QList<QAction *> &keys)
    : QWidget(&window, Qt::Tool)
    , window_(window)
    , ui_(ui)
    , document_(document)
    , view_(ui.Image1)
{
    setObjectName(QStringLiteral("PointsWindow"));
    setWindowTitle(QStringLiteral("Points"));
    model_ = new PointsTableModel(
        document.Points(),
        [&document](std::size_t row, bool latitude, const QString &text) {
            document.SetCoordinate(row, latitude, text);
        },
        this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // A double click shows the point on the picture; a cell is edited by typing, F2 or a click on
    // a selected cell.
    table_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed
                            | QAbstractItemView::AnyKeyPressed);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    // Sized to what they show (Qt looks at the first thousand rows, so a long list costs no more).
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("Summary"));
    summary_->setWordWrap(true);
    pointer_ = new QLabel(this);
    pointer_->setObjectName(QStringLiteral("Pointer"));
    distance_ = new QLabel(this);
    distance_->setObjectName(QStringLiteral("Distance"));
    residualScale_ = new QLabel(this);
    residualScale_->setObjectName(QStringLiteral("ResidualScale"));
    residualScale_->hide();
    delete_ = new QPushButton(QStringLiteral("Delete"), this);
    delete_->setEnabled(false);
    projection_ = new QPushButton(document.Mapping().ProjectionAction()->text(), this);
    projection_->setObjectName(QStringLiteral("MapProjection"));
    figures_ = new MappingFigures(this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(pointer_, 1);
    buttons->addWidget(projection_);
    buttons->addWidget(delete_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addWidget(summary_);
    layout->addWidget(figures_);
    layout->addWidget(residualScale_);
    layout->addLayout(buttons);
    layout->addWidget(distance_);
    resize(640, 320);

    addActions(keys);
    // The table's own key; a cell being edited keeps Delete for its text.
    table_->installEventFilter(this);
    connect(delete_, &QPushButton::clicked, this, &PointsWindow::RemoveSelected);
    connect(projection_, &QPushButton::clicked, document.Mapping().ProjectionAction(), &QAction::trigger);
    connect(figures_, &MappingFigures::SuspectFound, this, [this](int row) { table_->selectRow(row); });
    connect(figures_, &MappingFigures::SwitchRequested, this,
            [this](MappingKind kind) { Guarded([&] { document_.Mapping().SetKind(kind); }); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PointsWindow::OutlineSelection);
    connect(model_, &QAbstractItemModel::modelReset, this, &PointsWindow::OutlineSelection);
    connect(table_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { ShowPoint(index.row()); });
    connect(&document, &CalibrationDocument::PointsChanged, this, &PointsWindow::Refresh);
    connect(&document.Mapping(), &MappingChoice::Changed, this, &PointsWindow::Refresh);
    connect(ui.Image1, &PictureView::MouseMoved, this,
            [this](Qt::KeyboardModifiers, int x, int y) { ShowPointer(x, y); });
    for (QLineEdit *field : {ui.edX, ui.edY, ui.edLat, ui.edLon})
        connect(field, &QLineEdit::textChanged, this, &PointsWindow::ShowDistance);
}

PointsWindow::~PointsWindow()
{
    if (isVisible())
        SavePlace();
}

void PointsWindow::Refresh()
{
    // Hidden, the window costs nothing; showing it refreshes it.
    if (!isVisible())
        return;
    const MappingSetup kind = document_.Mapping().Setup();
    model_->Refresh(kind);
    refreshed_ = true;
    const ResidualReport &report = model_->Report();
    figures_->Show(kind, document_.Points(), report);
    QString text = MappingName(kind, report) + QStringLiteral(": ");
    if (!report.Reason.empty())
        text += QString::fromStdString(report.Reason);
    else if (report.RmsPixels)
        text += QStringLiteral("RMS %1 px").arg(FromUtf16(FormatCoordinate(1, *report.RmsPixels)))
            + (report.RmsMetres
                   ? QStringLiteral(" / %1 m").arg(FromUtf16(FormatCoordinate(1, *report.RmsMetres)))
                   : QString());
    else
        text += QStringLiteral("too few points for an RMS");
    if (!document_.Mapping().ProjectionProblem().isEmpty())
        text += QStringLiteral("\nMap projection: ") + document_.Mapping().ProjectionProblem()
            + QStringLiteral("; the fit works in degrees");
    summary_->setText(text);
    const QPoint pointer = ui_.Image1->LastPixel();
    ShowPointer(pointer.x(), pointer.y());
    ShowDistance();
    OutlineSelection();
}

void PointsWindow::RemoveSelected()
{
    std::vector<std::size_t> rows;
    for (const QModelIndex &index : table_->selectionModel()->selectedRows())
        rows.push_back(std::size_t(index.row()));
    // Removal writes the file; a failure there is reported inside it.
    Guarded([&] { document_.Remove(std::move(rows)); });
}

void PointsWindow::ShowPointer(int x, int y)
{
    // The nearest-pair rule walks every point: nothing is worked out for a hidden window.
    if (!refreshed_ || !isVisible())
        return;
    const Mapping &mapping = document_.Model().Georeferencing();
    QString text = QStringLiteral("Pointer %1 x %2: ").arg(FromUtf16(FormatInteger(x)),
                                                            FromUtf16(FormatInteger(y)));
    const std::optional<GeoPosition> position
        = mapping.Reason().empty() ? mapping.PixelToGeo(x, y) : std::nullopt;
    if (position)
        text += FromUtf16(FormatCoordinate(6, position->Lat)) + QStringLiteral(", ")
            + FromUtf16(FormatCoordinate(6, position->Lon));
    else
        text += QStringLiteral("no mapping");
    pointer_->setText(text);
}

void PointsWindow::ShowDistance()
{
    if (!isVisible())
        return;
    const std::optional<Offset> offset
        = OffsetFromOthers(document_.Model(), ui_);
    distance_->setText(offset ? QStringLiteral("%1 m / %2 px from the other points")
                                    .arg(Rounded(offset->Metres), Rounded(offset->Pixels))
                              : QString());
}

void PointsWindow::OutlineSelection()
{
    std::vector<QPoint> pixels;
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    for (const QModelIndex &index : rows) {
        const auto row = std::size_t(index.row());
        if (row < document_.Points().size())
            pixels.emplace_back(document_.Points()[row].X, document_.Points()[row].Y);
    }
    if (view_)
        view_->SetOutlined(std::move(pixels));
    delete_->setEnabled(!rows.isEmpty());
}

void PointsWindow::ShowResidualScale(const QString &text)
{
    residualScale_->setText(text);
    residualScale_->setVisible(!text.isEmpty());
}

void PointsWindow::ShowPoint(int row)
{
    if (row < 0 || std::size_t(row) >= document_.Points().size())
        return;
    const TCalibPoint &point = document_.Points()[std::size_t(row)];
    PictureScrollArea &area = *ui_.PictureArea;
    if (area.View().Zoom() < 4)
        area.ZoomTo(4, area.ViewCentre());
    // The point goes to the middle of what this window leaves of the picture in sight: the
    // largest strip of the viewport beside the part it covers.
    QWidget &viewport = *area.viewport();
    QRect free = viewport.rect();
    const QRect covered
        = QRect(viewport.mapFromGlobal(frameGeometry().topLeft()), frameGeometry().size()) & free;
    if (isVisible() && !covered.isEmpty()) {
        const QRect strips[] = {
            QRect(QPoint(free.left(), free.top()), QPoint(covered.left() - 1, free.bottom())),
            QRect(QPoint(covered.right() + 1, free.top()), free.bottomRight()),
            QRect(free.topLeft(), QPoint(free.right(), covered.top() - 1)),
            QRect(QPoint(free.left(), covered.bottom() + 1), free.bottomRight()),
        };
        free = *std::max_element(std::begin(strips), std::end(strips),
                                 [](const QRect &a, const QRect &b) {
                                     return qint64(std::max(a.width(), 0)) * std::max(a.height(), 0)
                                         < qint64(std::max(b.width(), 0)) * std::max(b.height(), 0);
                                 });
    }
    const PictureView &view = area.View();
    const QPointF at = QPointF(view.pos()) + QPointF(point.X + 0.5, point.Y + 0.5) * view.Zoom();
    const QPointF by = at - QRectF(free).center();
    area.horizontalScrollBar()->setValue(area.horizontalScrollBar()->value() + qRound(by.x()));
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->value() + qRound(by.y()));
    // Near the picture's edge scrolling may not get it clear: then this window steps aside, as
    // little as it takes, staying on its screen.
    const QPoint shown = view.mapToGlobal(
        (QPointF(point.X + 0.5, point.Y + 0.5) * view.Zoom()).toPoint());
    const QRect frame = frameGeometry();
    if (!isVisible() || !frame.contains(shown) || !screen())
        return;
    const QRect screenArea = screen()->availableGeometry();
    constexpr int Clearance = 12; // the mark and a little room around it
    const QPoint moves[] = {QPoint(0, shown.y() + Clearance - frame.top()),
                            QPoint(0, shown.y() - Clearance - frame.bottom()),
                            QPoint(shown.x() + Clearance - frame.left(), 0),
                            QPoint(shown.x() - Clearance - frame.right(), 0)};
    std::optional<QPoint> best;
    for (const QPoint &move : moves)
        if (screenArea.contains(frame.translated(move))
            && (!best || move.manhattanLength() < best->manhattanLength()))
            best = move;
    if (best)
        this->move(pos() + *best);
}

bool PointsWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == table_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Delete)) {
        RemoveSelected();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PointsWindow::showEvent(QShowEvent *event)
{
    if (!placed_) {
        placed_ = true;
        // The picture's middle, the pointer readout and the entry fields stay in sight.
        const auto global = [](const QWidget &widget) {
            return QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size());
        };
        const QWidget &viewport = *ui_.PictureArea->viewport();
        QList<QRect> keepClear = {QRect(viewport.mapToGlobal(viewport.rect().center()), QSize(1, 1)),
                                  global(*ui_.pnlRightTop)};
        for (const QWidget *field : {ui_.edX, ui_.edY, ui_.edLat, ui_.edLon})
            keepClear << global(*field);
        ToolWindowPlace::Apply(*this, window_, UserSettings().value(kGeometryKey).toByteArray(),
                               keepClear);
    }
    QWidget::showEvent(event);
    Refresh();
}

void PointsWindow::hideEvent(QHideEvent *event)
{
    SavePlace();
    // The main window's end may have taken the picture already.
    if (view_)
        view_->SetOutlined({});
    QWidget::hideEvent(event);
}

void PointsWindow::SavePlace()
{
    UserSettings().setValue(kGeometryKey, saveGeometry());
}

} // namespace carteva
