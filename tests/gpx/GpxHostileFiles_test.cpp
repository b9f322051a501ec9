// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxLoader.h"

#include "NodeRecorder.h"
#include "calibration/Errors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

namespace carteva {
namespace {

namespace fs = std::filesystem;

// Watches a folder with inotify and tells whether anything in it was opened or read since the
// last call: the proof that a file was left alone does not depend on how the parser reaches it.
class AccessWatch
{
public:
    explicit AccessWatch(const fs::path &folder)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(fd_, folder.c_str(), IN_OPEN | IN_ACCESS);
    }
    ~AccessWatch() { close(fd_); }
    AccessWatch(const AccessWatch &) = delete;
    AccessWatch &operator=(const AccessWatch &) = delete;

    bool Touched()
    {
        alignas(inotify_event) char buffer[4096];
        bool touched = false;
        while (read(fd_, buffer, sizeof buffer) > 0)
            touched = true;
        return touched;
    }

private:
    int fd_;
};

class GpxHostileFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path()
            / ("carteva-hostile-" + std::to_string(getpid()) + "-" + test->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "gpx");
        fs::create_directories(root_ / "private");
        std::ofstream(root_ / "private" / "secret.xml")
            << "<wpt lat=\"66.6\" lon=\"66.6\" note=\"SECRET\"/>";
        std::ofstream(root_ / "private" / "secret.dtd") << "<!ENTITY s \"SECRET\">";
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path Write(const std::string &xml)
    {
        const fs::path path = root_ / "gpx" / "hostile.gpx";
        std::ofstream(path, std::ios::binary) << xml;
        return path;
    }

    fs::path root_;
};

std::string Everything(const NodeRecorder &document)
{
    std::string all(document.RootName());
    for (std::size_t i = 0; i < document.ChildCount(); ++i) {
        all += document.ChildName(i);
        for (const auto &attribute : document.ChildAttributes(i))
            all += attribute.second;
    }
    return all;
}

TEST_F(GpxHostileFiles, ReferencesToOtherFilesAreNeverOpened)
{
    const std::string secret = (root_ / "private" / "secret.xml").string();
    const std::string dtd = (root_ / "private" / "secret.dtd").string();
    const std::string rows[] = {
        "<!DOCTYPE gpx [<!ENTITY s SYSTEM 'file://" + secret + "'>]><gpx>&s;</gpx>",
        "<!DOCTYPE gpx [<!ENTITY s SYSTEM '" + secret + "'>]><gpx>&s;</gpx>",
        "<!DOCTYPE gpx [<!ENTITY s SYSTEM '../private/secret.xml'>]><gpx><wpt lat='&s;'/></gpx>",
        "<!DOCTYPE gpx PUBLIC '-//x//y' 'file://" + secret + "'><gpx/>",
        "<!DOCTYPE gpx SYSTEM '" + dtd + "'><gpx><wpt lat='&s;'/></gpx>",
        "<!DOCTYPE gpx [<!ENTITY % p SYSTEM '" + dtd + "'> %p;]><gpx>&s;</gpx>",
        "<!DOCTYPE gpx [<!ENTITY % p SYSTEM '../private/secret.dtd'> %p;]><gpx/>",
        "<!DOCTYPE gpx [<!ENTITY s SYSTEM '" + secret + "' NDATA x>]><gpx/>",
        "<gpx xmlns:xi='http://www.w3.org/2001/XInclude'><xi:include href='" + secret + "'/></gpx>",
        "<?xml-stylesheet type='text/xsl' href='" + secret + "'?><gpx/>",
        "<gpx xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' xsi:schemaLocation='x " + secret
            + "'/>",
    };
    AccessWatch watch(root_ / "private");
    for (const std::string &xml : rows) {
        GpxLoader loader;
        std::string seen;
        try {
            seen = Everything(NodeRecorder::Load(loader, Write(xml)));
        } catch (const Error &error) {
            seen = error.what();
        }
        EXPECT_FALSE(watch.Touched()) << xml;
        EXPECT_EQ(seen.find("SECRET"), std::string::npos) << xml;
        EXPECT_EQ(seen.find("66.6"), std::string::npos) << xml;
    }
    // The watch does see a read.
    std::ifstream(secret).get();
    EXPECT_TRUE(watch.Touched());
}

// AddressSanitizer keeps freed blocks in quarantine: memory bounds only hold without it.
#ifdef __SANITIZE_ADDRESS__
constexpr bool MemoryIsMeasurable = false;
#else
constexpr bool MemoryIsMeasurable = true;
#endif

long PeakResidentKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(GpxHostileFiles, EntityBombsFailQuicklyWithoutSwellingMemory)
{
    std::string laughs;
    for (int i = 1; i <= 12; ++i) {
        std::string ten;
        for (int k = 0; k < 10; ++k)
            ten += "&l" + std::to_string(i - 1) + ";";
        laughs += "<!ENTITY l" + std::to_string(i) + " '" + ten + "'>";
    }
    laughs = "<!ENTITY l0 'ha'>" + laughs;
    // One large entity used many times: each use is small, the sum is not.
    const std::string big = "<!ENTITY b '" + std::string(100000, 'B') + "'>";
    std::string quadratic;
    for (int i = 0; i < 4000; ++i)
        quadratic += "&b;";
    const std::string rows[] = {
        "<!DOCTYPE gpx [" + laughs + "]><gpx>&l12;</gpx>",
        "<!DOCTYPE gpx [" + laughs + "]><gpx><wpt lat='&l12;' lon='1'/></gpx>",
        "<!DOCTYPE gpx [" + big + "]><gpx>" + quadratic + "</gpx>",
        "<!DOCTYPE gpx [" + big + "]><gpx><wpt lat='" + quadratic + "'/></gpx>",
        // The parser stops inside the first attribute; the others must not be read after that.
        "<!DOCTYPE gpx [" + big + "]><gpx><wpt lat='" + quadratic.substr(0, 3 * 40)
            + "' lon='1' ele='2' name='three'/></gpx>",
        "<!DOCTYPE gpx [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><gpx>&a;</gpx>",
        // Found by fuzzing: a loop whose entities refer to each other several times over took
        // minutes to fail.
        "<!DOCTYPE gpx [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&c;&a;&a;6a;'>"
        "<!ENTITY c '&b;&b;&b;&b;</wpt>&b;$b;&b;&b;'>]><gpx>x='&c;'/>&c;</gpx>",
        "<!DOCTYPE gpx [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&c;&a;&a;'>"
        "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;'>]><gpx><wpt lat='1' lon='2'/>&c;</gpx>",
        "<!DOCTYPE gpx [<!ENTITY % p '<!ENTITY x \"&#37;p;\">'> %p;]><gpx>&x;</gpx>",
    };
    const long before = PeakResidentKilobytes();
    for (const std::string &xml : rows) {
        GpxLoader loader;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(loader.Load(Write(xml)), Error) << xml.substr(0, 80);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took.count(), 5.0) << xml.substr(0, 80);
    }
    // Fully expanded, the first two would take terabytes and the next two 400 MB.
    if (MemoryIsMeasurable) {
        EXPECT_LT(PeakResidentKilobytes() - before, 200 * 1024);
    }
}

} // namespace
} // namespace carteva
