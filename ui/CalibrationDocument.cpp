// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/CalibrationDocument.h"

#include "calibration/CalibrationFile.h"
#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "picture/PathCrossing.h"
#include "ui/CalibrationLog.h"
#include "ui/ErrorHandler.h"
#include "ui/MappingChoice.h"
#include "ui/Platform.h"
#include "ui/PointListCommand.h"
#include "ui/TextCrossing.h"

#include <QLoggingCategory>
#include <QUndoStack>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace carteva {

namespace {

QString PixelText(std::int32_t x, std::int32_t y)
{
    return FromUtf16(FormatInteger(x)) + QStringLiteral(" x ") + FromUtf16(FormatInteger(y));
}

} // namespace

CalibrationDocument::CalibrationDocument(QWidget &owner)
    : QObject(&owner)
    , owner_(owner)
    , store_(model_.Keeper())
{
    stack_ = new QUndoStack(this);
    mapping_ = new MappingChoice(model_, this);
}

CalibrationDocument::~CalibrationDocument()
{
    // The steps call back into the document: they go first.
    delete stack_;
}

void CalibrationDocument::Open(const QString &bitmapFileName, QSize pictureSize)
{
    bitmapFileName_ = bitmapFileName;
    model_.Open(StdPath(CalibrationFileName()), pictureSize.width(), pictureSize.height());
    store_.Claim(&owner_, CalibrationFileName());
    mapping_->OpenMap(StdPath(CalibrationFileName()));
}

QString CalibrationDocument::CalibrationFileName() const
{
    return FromUtf16(carteva::CalibrationFileName(Utf16(bitmapFileName_)));
}

QString CalibrationDocument::Load()
{
    QString reason;
    if (model_.Load() != CalibrationReadResult::Complete)
        reason = QString::fromStdString(model_.Keeper().ReadFailure());
    store_.TellOpening(&owner_, CalibrationFileName());
    emit PointsChanged(true);
    return reason;
}

void CalibrationDocument::Save(std::int32_t x, std::int32_t y, Extended lat, Extended lon)
{
    // Only the point this window shows at that pixel is corrected. Another writer's version of it
    // since is overruled as in a merge (and kept elsewhere); a point this window never showed
    // stays beside the new one.
    const int shown = FindPoint(model_.Points(), x, y);
    const std::optional<RecordChange::Ref> target = shown < 0
        ? std::nullopt
        : std::optional(RecordChange::RefAt(model_.Points(), std::size_t(shown)));
    CalibrationKeeper &keeper = model_.Keeper();
    const Build build = [x, y, lat, lon, target, &keeper](std::vector<TCalibPoint> &points,
                                                          std::vector<RecordChange> &made,
                                                          std::vector<RecordChange::Ref> &) {
        std::optional<std::size_t> at;
        if (target) {
            at = RecordChange::Find(points, *target);
            for (const CalibrationKeeper::ChangeThere &change : keeper.ChangedThere()) {
                if (at || change.from.ToRecord() != target->Bytes)
                    continue;
                at = RecordChange::Find(points, {change.to.ToRecord(), 0});
                if (at)
                    keeper.Overrule(change.to);
            }
        }
        TCalibPoint point = at ? points[*at] : TCalibPoint {x, y, 0, 0};
        point.Lat = lat;
        point.Lon = lon;
        made.push_back(at ? RecordChange::Replace(points, *at, point)
                          : RecordChange::Insert(points, points.size(), point));
    };
    Push(QStringLiteral("Save point %1").arg(PixelText(x, y)), build, true);
}

void CalibrationDocument::Remove(std::vector<std::size_t> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    std::erase_if(indexes, [this](std::size_t i) { return i >= model_.Points().size(); });
    const std::vector<RecordChange::Ref> targets = RecordChange::RefsAt(model_.Points(), indexes);
    if (targets.empty())
        return;
    const TCalibPoint &first = model_.Points()[indexes.front()];
    const QString text = targets.size() == 1
        ? QStringLiteral("Remove point %1").arg(PixelText(first.X, first.Y))
        : QStringLiteral("Remove %1 points").arg(targets.size());
    const Build build = [targets](std::vector<TCalibPoint> &points, std::vector<RecordChange> &made,
                                  std::vector<RecordChange::Ref> &missing) {
        const std::vector<std::optional<std::size_t>> at
            = RecordChange::FindAll(points, targets, true);
        std::vector<std::size_t> places;
        for (std::size_t k = 0; k < targets.size(); ++k) {
            if (at[k])
                places.push_back(*at[k]);
            else
                missing.push_back(targets[k]);
        }
        std::sort(places.begin(), places.end());
        made = RecordChange::RemoveAll(points, places);
    };
    Push(text, build, false);
}

void CalibrationDocument::SetCoordinate(std::size_t index, bool latitude, const QString &text)
{
    const std::vector<TCalibPoint> &shown = model_.Points();
    if (index >= shown.size())
        return;
    if (!IsDecimalNumber(Utf16(text)))
        throw EConvertError::NotAFloat(Utf16(text));
    const Extended value = ParseDecimal(Utf16(text));
    TCalibPoint point = shown[index];
    (latitude ? point.Lat : point.Lon) = value;
    if (point.ToRecord() == shown[index].ToRecord())
        return;
    const RecordChange::Ref target = RecordChange::RefAt(model_.Points(), index);
    const Build build = [target, latitude, value](std::vector<TCalibPoint> &points,
                                                  std::vector<RecordChange> &made,
                                                  std::vector<RecordChange::Ref> &missing) {
        const std::optional<std::size_t> at = RecordChange::Find(points, target);
        if (!at) {
            missing.push_back(target);
            return;
        }
        TCalibPoint changed = points[*at];
        (latitude ? changed.Lat : changed.Lon) = value;
        made.push_back(RecordChange::Replace(points, *at, changed));
    };
    Push(QStringLiteral("Edit point %1").arg(PixelText(point.X, point.Y)), build, false);
}

void CalibrationDocument::Undo()
{
    stack_->undo();
}

void CalibrationDocument::Redo()
{
    stack_->redo();
}

void CalibrationDocument::Push(const QString &text, Build build, bool save)
{
    auto step = std::make_unique<PointListCommand>(
        text, [this, build = std::move(build), save](PointListCommand &step, bool undo) {
            // The store reports its own failures; nothing may unwind through the stack.
            Guarded([&] { Run(step, undo, build, save); });
        });
    // The first doing comes before the push: a step that found nothing to do is not pushed, which
    // would cut the redo history off.
    step->redo();
    if (step->isObsolete())
        return;
    step->FirstDoingMade();
    stack_->push(step.release());
}

void CalibrationDocument::Run(PointListCommand &step, bool undo, const Build &build, bool save)
{
    const bool first = !step.Made();
    std::vector<RecordChange::Ref> missing;
    const bool merged = Change([&](std::vector<TCalibPoint> &points) {
        missing.clear();
        if (!first) {
            step.Apply(points, undo, missing);
            return;
        }
        std::vector<RecordChange> made;
        build(points, made, missing);
        step.SetChanges(std::move(made));
    });
    step.Commit();
    emit PointsChanged(save && first && !merged);
    if (missing.empty())
        return;
    const QString quoted = QLatin1Char('"') + step.text() + QLatin1Char('"');
    TellSkipped(first ? quoted
                      : (undo ? QStringLiteral("Undo of ") : QStringLiteral("Redo of ")) + quoted,
                missing);
}

bool CalibrationDocument::Change(const std::function<void(std::vector<TCalibPoint> &)> &edit)
{
    const MapChangeReport report = model_.Change(edit);
    // Without a chosen bitmap there is no file, and nothing to tell.
    if (!report.Write)
        return false;
    return store_.Tell(&owner_, CalibrationFileName(), report, model_.PictureWidth(),
                       model_.PictureHeight(), model_.Points());
}

void CalibrationDocument::Write()
{
    if (Change({}))
        emit PointsChanged(false);
}

bool CalibrationDocument::MayClose() const
{
    return store_.MayClose(&owner_, model_.Points());
}

void CalibrationDocument::TellSkipped(const QString &step,
                                      const std::vector<RecordChange::Ref> &missing) const
{
    // Never another record in its stead: the user hears which point the step passed over, and why.
    QString text;
    for (const RecordChange::Ref &ref : missing) {
        const TCalibPoint point = TCalibPoint::FromRecord(ref.Bytes);
        QString which = PixelText(point.X, point.Y);
        try {
            which += QStringLiteral(" (%1, %2)")
                         .arg(FromUtf16(FormatCoordinate(6, point.Lat)),
                              FromUtf16(FormatCoordinate(6, point.Lon)));
        } catch (const Error &) {
            // A value no text can show: the pixel alone names the point.
        }
        const bool changed = FindPoint(model_.Points(), point.X, point.Y) >= 0;
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QStringLiteral("%1 was skipped for point %2: it was %3 outside this window.")
                    .arg(step, which,
                         changed ? QStringLiteral("changed") : QStringLiteral("removed"));
    }
    qCWarning(lcCalibration, "%s", qUtf8Printable(text));
    Platform::Current().ShowMessage(&owner_, text, ErrorHandler::OwnCaption(),
                                    QMessageBox::Warning);
}

} // namespace carteva
