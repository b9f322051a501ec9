// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"
#include "calibration/MapModel.h"
#include "ui/CalibrationStore.h"
#include "ui/RecordChange.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class QUndoStack;
class QWidget;

namespace carteva {

class MappingChoice;
class PointListCommand;

// The open map as the window edits it: the model (points, file, mapping, georeferencing), the undo
// history and the chosen mapping's actions. Every change of the points is one call here, one
// transaction of the model and one report, which the store tells the user; views and tool windows
// read the model here and follow PointsChanged.
class CalibrationDocument : public QObject
{
    Q_OBJECT
public:
    // `owner` owns the boxes the document shows.
    explicit CalibrationDocument(QWidget &owner);
    ~CalibrationDocument() override;

    // The map whose calibration this is: takes the lock of its file. `pictureSize` goes into the
    // file's header.
    void Open(const QString &bitmapFileName, QSize pictureSize);
    void SetPictureSize(QSize pictureSize)
    {
        model_.SetPictureSize(pictureSize.width(), pictureSize.height());
    }
    // Reads the file; why it could not (naming the file), empty when it could.
    QString Load();
    const QString &BitmapFileName() const { return bitmapFileName_; }
    QString CalibrationFileName() const;

    const std::vector<TCalibPoint> &Points() const { return model_.Points(); }
    const MapModel &Model() const { return model_; }
    MappingChoice &Mapping() const { return *mapping_; }

    // The changes, each one undo step written at once.
    // What Save does with converted fields: corrects the first point of that pixel, or appends one.
    void Save(std::int32_t x, std::int32_t y, Extended lat, Extended lon);
    // Removes the points at these indexes (in any order; repeats count once).
    void Remove(std::vector<std::size_t> indexes);
    // Sets a point's latitude or longitude from text, parsed as Save parses it; refused text throws
    // the same error Save shows and changes nothing.
    void SetCoordinate(std::size_t index, bool latitude, const QString &text);
    void Undo();
    void Redo();

    // Writes the points as they are (the close); another writer's change comes in.
    void Write();
    // The last write could keep the points nowhere else.
    bool PointsOnlyInMemory() const { return store_.PointsOnlyInMemory(); }
    // After the close's write: may the window close? Asks first when points would be lost.
    bool MayClose() const;
    // Lets go of the file's lock, when the window closes.
    void Release() { store_.Release(); }

    // Points put into memory without a write, for tests of what a later write does.
    std::vector<TCalibPoint> &PointsForTest() { return model_.PointsForTest(); }

signals:
    // After every change, another writer's too. `marksOnly`: a Save's first doing, which the
    // picture shows by painting the marks over what it shows, as a Save always has; otherwise the
    // picture is painted again for the list as it is now.
    void PointsChanged(bool marksOnly);

private:
    // Makes the step's changes on the list as it is: `made` gets what it did, `missing` the
    // records it was meant for and did not find.
    using Build
        = std::function<void(std::vector<TCalibPoint> &points, std::vector<RecordChange> &made,
                             std::vector<RecordChange::Ref> &missing)>;

    void Push(const QString &text, Build build, bool save);
    void Run(PointListCommand &step, bool undo, const Build &build, bool save);
    // One change of the list, written with it; true when another writer's change came in.
    bool Change(const std::function<void(std::vector<TCalibPoint> &)> &edit);
    void TellSkipped(const QString &step, const std::vector<RecordChange::Ref> &missing) const;

    QWidget &owner_;
    MapModel model_;
    QString bitmapFileName_;
    CalibrationStore store_;
    QUndoStack *stack_ = nullptr;
    MappingChoice *mapping_ = nullptr;
};

} // namespace carteva
