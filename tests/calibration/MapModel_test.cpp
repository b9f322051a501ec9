// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/MapModel.h"

#include "calibration/ProjectionFile.h"

#include "support/ScratchFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace carteva {
namespace {

using Outcome = CalibrationKeeper::Outcome;

const TCalibPoint A {10, 20, 49.5L, 15.25L};
const TCalibPoint B {400, 300, 49.25L, 15.75L};
const TCalibPoint C {800, 50, 49.75L, 16.0L};

std::vector<TCalibPoint::Record> Sorted(const std::vector<TCalibPoint> &points)
{
    std::vector<TCalibPoint::Record> records;
    for (const TCalibPoint &point : points)
        records.push_back(point.ToRecord());
    std::sort(records.begin(), records.end());
    return records;
}

void Append(std::vector<TCalibPoint> &list, const TCalibPoint &point)
{
    list.push_back(point);
}

void Drop(std::vector<TCalibPoint> &list, const TCalibPoint &point)
{
    std::erase_if(list, [&](const TCalibPoint &p) { return p.ToRecord() == point.ToRecord(); });
}

// One change of a map whose file holds `start`, after another window changed the file first.
struct ChangeRow
{
    const char *name;
    std::vector<TCalibPoint> start;
    CalibrationKeeper::Edit other; // another window's change, written before ours; none: no other
    CalibrationKeeper::Edit edit; // ours; none: a plain write
    bool folderGone; // the file's folder is gone when we write
    std::vector<TCalibPoint> after; // our list after the change, in any order
    bool changed;
    bool cameIn;
    bool failed;
    Outcome outcome;
};

TEST(MapModel, EachChangeIsOneTransactionAndReportsWhatHappened)
{
    const std::vector<ChangeRow> rows {
        {"SaveWritesTheNewPoint", {A}, {}, [](auto &l) { Append(l, B); }, false, {A, B}, true,
         false, false, Outcome::Written},
        {"RemovalWritesTheShorterList", {A, B}, {}, [](auto &l) { Drop(l, A); }, false, {B}, true,
         false, false, Outcome::Written},
        {"PlainWriteOfTheSameListChangesNothing", {A}, {}, {}, false, {A}, false, false, false,
         Outcome::Written},
        {"AnotherWritersPointComesInBesideOurs", {A}, [](auto &l) { Append(l, C); },
         [](auto &l) { Append(l, B); }, false, {A, B, C}, true, true, false, Outcome::Merged},
        // An undo of our save finds our record in the list as the other writer left it.
        {"UndoAcrossAnotherWritersChangeKeepsTheirPoint", {A, B}, [](auto &l) { Append(l, C); },
         [](auto &l) { Drop(l, B); }, false, {A, C}, true, true, false, Outcome::Merged},
        {"AnotherWritersRemovalComesIn", {A, B}, [](auto &l) { Drop(l, A); }, {}, false, {B},
         true, true, false, Outcome::Merged},
        {"FailedWriteKeepsTheEditInMemoryAndSaysWhy", {}, {}, [](auto &l) { Append(l, A); }, true,
         {A}, true, false, true, Outcome::Written},
    };
    for (const ChangeRow &row : rows) {
        SCOPED_TRACE(row.name);
        test::ScratchFolder scratch;
        const std::filesystem::path folder = scratch.path / "maps";
        std::filesystem::create_directory(folder);
        const std::filesystem::path file = folder / "map.cal";
        if (!row.start.empty())
            WriteCalibrationFile(file, 1000, 800, row.start);

        MapModel ours;
        ours.Open(file, 1000, 800);
        ours.Load();
        if (row.other) {
            MapModel other;
            other.Open(file, 1000, 800);
            other.Load();
            ASSERT_FALSE(other.Change(row.other).Failure);
        }
        if (row.folderGone)
            std::filesystem::remove_all(folder);
        const std::uint64_t revision = ours.Revision();

        const MapChangeReport report = ours.Change(row.edit);

        EXPECT_EQ(Sorted(ours.Points()), Sorted(row.after));
        EXPECT_EQ(report.Changed, row.changed);
        EXPECT_EQ(report.CameIn, row.cameIn);
        EXPECT_EQ(report.Failure.has_value(), row.failed);
        ASSERT_TRUE(report.Write);
        EXPECT_EQ(report.Write->outcome, row.outcome);
        EXPECT_EQ(ours.Revision() != revision, row.changed);
        if (row.failed)
            continue;
        MapModel reader;
        reader.Open(file, 1000, 800);
        ASSERT_EQ(reader.Load(), CalibrationReadResult::Complete);
        EXPECT_EQ(Sorted(reader.Points()), Sorted(row.after));
    }
}

TEST(MapModel, APointKeepsItsIdentityThroughEditsAndAnotherWritersInsertions)
{
    test::ScratchFolder scratch;
    const std::filesystem::path file = scratch.path / "map.cal";
    WriteCalibrationFile(file, 1000, 800, std::vector {A, B});
    MapModel model;
    model.Open(file, 1000, 800);
    model.Load();
    const PointId a = model.Ids()[0], b = model.Ids()[1];
    EXPECT_NE(a, b);

    MapModel other;
    other.Open(file, 1000, 800);
    other.Load();
    other.Change([](auto &l) { l.insert(l.begin(), C); });
    // Corrected at the same pixel, it is still the same point.
    model.Change([](auto &l) {
        for (TCalibPoint &p : l)
            if (p.X == A.X && p.Y == A.Y)
                p.Lat = 48.0L;
    });
    ASSERT_EQ(model.Points().size(), 3u);
    ASSERT_TRUE(model.Find(a));
    EXPECT_EQ(model.Points()[*model.Find(a)].Lat, 48.0L);
    ASSERT_TRUE(model.Find(b));
    EXPECT_EQ(model.Points()[*model.Find(b)].ToRecord(), B.ToRecord());

    model.Change([](auto &l) { Drop(l, B); });
    EXPECT_FALSE(model.Find(b));
    EXPECT_TRUE(model.Find(a));
}

TEST(MapModel, TheGeoreferencingFollowsThePointsAndTheRule)
{
    MapModel model; // no file: changes stay in memory
    EXPECT_FALSE(model.Georeferencing().Reason().empty());
    model.Change([](auto &l) { l = {A, B, C}; });
    const std::uint64_t revision = model.Revision();
    ASSERT_TRUE(model.Georeferencing().Reason().empty());
    const std::optional<Pixel> pixel = model.Georeferencing().GeoToPixel(B.Lat, B.Lon);
    ASSERT_TRUE(pixel);
    EXPECT_EQ(pixel->X, B.X);
    EXPECT_EQ(pixel->Y, B.Y);

    model.SetKind(MappingKind::BestFit);
    EXPECT_GT(model.Revision(), revision);
    EXPECT_EQ(model.Georeferencing().Kind(), MappingKind::BestFit);
}

TEST(MapModel, TheProjectionBesideTheMapIsReadOnceForEveryReader)
{
    struct Row
    {
        const char *name;
        const char *text; // of the projection file; null: no file
        bool projection;
        bool problem;
    };
    const Row rows[] {
        {"NoFileMeansDegrees", nullptr, false, false},
        {"TheRankingsWordForNoneMeansDegrees", "Degrees\n", false, false},
        {"ADefinitionProjAcceptsIsUsed", "+proj=utm +zone=33 +datum=WGS84\n", true, false},
        {"ADefinitionProjRefusesLeavesDegreesAndSaysWhy", "+proj=nonsense\n", false, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::ScratchFolder scratch;
        const std::filesystem::path file = scratch.path / "map.cali";
        if (row.text)
            test::WriteBytes(ProjectionFile::NameFor(file),
                             test::Bytes(row.text, row.text + std::strlen(row.text)));
        MapModel model;
        EXPECT_EQ(model.OpenProjection(file), row.projection);
        EXPECT_EQ(model.Setup().Projection != nullptr, row.projection);
        EXPECT_EQ(model.ProjectionProblem().find("map.prj") != std::string::npos, row.problem);
    }
}

} // namespace
} // namespace carteva
