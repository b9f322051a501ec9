// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxLoader.h"

#include "NodeRecorder.h"
#include "calibration/Errors.h"
#include "gpx/LineExcerpt.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {
// Set on a thread whose every allocation is to fail.
thread_local bool allocationsFail = false;
} // namespace

void *operator new(std::size_t size)
{
    if (allocationsFail)
        throw std::bad_alloc();
    if (void *block = std::malloc(size != 0 ? size : 1))
        return block;
    throw std::bad_alloc();
}
// The pair of the above; GCC takes std::free here for a mismatch with the new-expressions it sees.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void *block) noexcept
{
    std::free(block);
}
void operator delete(void *block, std::size_t) noexcept
{
    std::free(block);
}
#pragma GCC diagnostic pop

namespace carteva {
namespace {

namespace fs = std::filesystem;

// Reads fail with EIO once `readable` bytes have been read.
class FailingReads : public FileOps
{
public:
    explicit FailingReads(std::size_t readable)
        : readable_(readable)
    { }
    ssize_t Read(int fd, void *buffer, std::size_t size) override
    {
        if (read_ >= readable_) {
            errno = EIO;
            return -1;
        }
        const ssize_t got = FileOps::Read(fd, buffer, std::min(size, readable_ - read_));
        read_ += got > 0 ? static_cast<std::size_t>(got) : 0;
        return got;
    }

private:
    std::size_t readable_;
    std::size_t read_ = 0;
};

// No thread can be started: Start throws what `fail` throws.
template<class Fail> class NoThreads : public ThreadStarter
{
public:
    std::thread Start(Role, std::function<void()>) override { Fail()(); return {}; }
};
struct ThrowSystemError
{
    void operator()() const { throw std::system_error(EAGAIN, std::generic_category()); }
};
struct ThrowAnything
{
    void operator()() const { throw 42; }
};

// The builder's thread runs out of memory at its first allocation.
class StarvedBuilder : public ThreadStarter
{
public:
    std::thread Start(Role role, std::function<void()> body) override
    {
        if (role != Role::Builder)
            return ThreadStarter::Start(role, std::move(body));
        return std::thread([body = std::move(body)] {
            allocationsFail = true;
            body();
        });
    }
};

class GpxLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path()
            / ("carteva-gpx-" + std::to_string(getpid()) + "-" + test->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path Write(std::string_view bytes, const fs::path &name = "test.gpx")
    {
        const fs::path path = folder_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
        return path;
    }
    NodeRecorder Parse(std::string_view bytes) { return NodeRecorder::Load(loader_, Write(bytes)); }
    std::string ErrorOf(const fs::path &path)
    {
        try {
            loader_.Load(path);
        } catch (const Error &error) {
            return error.what();
        }
        return "(loaded)";
    }
    std::string ErrorOf(std::string_view bytes) { return ErrorOf(Write(bytes)); }

    fs::path folder_;
    GpxLoader loader_;
};

// "root: child child ...", with "?" before a processing instruction's target.
std::string Shape(const NodeRecorder &document)
{
    std::string shape = std::string(document.RootName()) + ":";
    for (std::size_t i = 0; i < document.ChildCount(); ++i) {
        shape += ' ';
        if (document.ChildKind(i) == GpxNodeKind::ProcessingInstruction)
            shape += '?';
        shape += document.ChildName(i);
    }
    return shape;
}

// Every name and value the document holds, to look for text that must not be there.
std::string Everything(const NodeRecorder &document)
{
    std::string all(document.RootName());
    for (std::size_t i = 0; i < document.ChildCount(); ++i) {
        all += document.ChildName(i);
        for (const auto &[name, value] : document.ChildAttributes(i))
            all += name + "=" + value;
    }
    return all;
}

TEST_F(GpxLoaderTest, KeepsTheRootsDirectChildrenInDocumentOrder)
{
    const struct
    {
        const char *xml;
        const char *shape;
    } rows[] = {
        {"<gpx><trk><trkseg><trkpt lat='1' lon='2'/></trkseg></trk><rte><rtept/></rte></gpx>",
         "gpx: trk rte"},
        {"<gpx/>", "gpx:"},
        {"<points><wpt lat='1' lon='2'/><wpt/></points>", "points: wpt wpt"},
        {"<gpx xmlns:g='urn:g'><g:wpt/><WPT/><wpt/></gpx>", "gpx: g:wpt WPT wpt"},
        {"<gpx><extensions><wpt lat='1' lon='2'/></extensions></gpx>", "gpx: extensions"},
        {"<gpx>\n  <!-- c -->\n  <?wpt lat='1'?>\r\n\t<wpt/>\n</gpx>", "gpx: #comment ?wpt wpt"},
        {"<gpx>a &amp; b<!--c-->c<![CDATA[d]]><![CDATA[]]> </gpx>",
         "gpx: #text #comment #text #cdata-section #cdata-section"},
        {"<!DOCTYPE gpx [<!ENTITY w '<wpt lat=\"1\" lon=\"2\"/>'>]><gpx>&w;<wpt/>&w;</gpx>",
         "gpx: wpt"},
        {"<?xml version='1.0'?><!--a--><?pi x?><gpx/><!--b--><?pi y?>", "gpx:"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Shape(Parse(row.xml)), row.shape) << std::string(row.xml).substr(0, 80);

    // Many times what is read or handed between threads at once, with text and comments at the
    // seams, a value larger than a block of them and an element with more attributes than one.
    std::string xml = "<gpx>", shape = "gpx:";
    for (int i = 1; i <= 9000; ++i) {
        xml += "<wpt lat='1' lon='2'/>";
        shape += " wpt";
        if (i % 1000 == 0) {
            xml += "t<!--c-->";
            shape += " #text #comment";
        }
    }
    xml += "<big v='" + std::string(1 << 20, 'v') + "'/><many";
    for (int i = 0; i < 10000; ++i)
        xml += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
    xml += "/><extensions><!--" + std::string(5 << 20, 'x') + "--></extensions></gpx>";
    const fs::path path = Write(xml);
    FileOps files;
    ThreadStarter threads;
    NoThreads<ThrowSystemError> noThreads;
    NoThreads<ThrowAnything> failingStart;
    for (ThreadStarter *starter : {&threads, static_cast<ThreadStarter *>(&noThreads),
                                   static_cast<ThreadStarter *>(&failingStart)}) {
        GpxLoader loader(files, *starter);
        const NodeRecorder large = NodeRecorder::Load(loader, path);
        EXPECT_EQ(Shape(large), shape + " big many extensions");
        EXPECT_EQ(large.ChildAttribute(large.ChildCount() - 3, "v"), std::string(1 << 20, 'v'));
        EXPECT_EQ(large.ChildAttributes(large.ChildCount() - 2).size(), 10000u);
        EXPECT_EQ(large.ChildAttribute(large.ChildCount() - 2, "a9999"), "9999");
    }

    // A failure on the builder's thread fails the load with the ordinary message: there the
    // waypoints' positions are kept.
    std::string dense = "<gpx>";
    for (int i = 0; i < 100000; ++i)
        dense += "<wpt lat='1' lon='2'/>";
    const fs::path swollen = Write(dense + "</gpx>", "dense.gpx");
    StarvedBuilder starved;
    std::string message;
    try {
        GpxLoader(files, starved).Load(swollen);
    } catch (const Error &error) {
        message = error.what();
    }
    EXPECT_EQ(message.substr(0, message.find('\r')), "Out of memory");
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 2);
}

TEST_F(GpxLoaderTest, AttributeValuesAreNormalisedAndEntitiesExpanded)
{
    const NodeRecorder document
        = Parse("<!DOCTYPE gpx [<!ENTITY la '50.5'><!ENTITY twice '&la;&la;'>"
                "<!ENTITY refs '&#x54;&#104;&lt;&#38;#38;'>"
                "<!ATTLIST wpt ele CDATA '7' sym NMTOKEN #IMPLIED>]>\n"
                "<gpx xmlns='urn:gpx'><wpt xmlns:g='urn:g' lat='&la;' lon='a&amp;b&#38;c&lt;&#x41;'"
                " g:lat='1' LAT='2' desc='\t1\r\n2 ' sym='  a  ' name='&twice;'/>"
                // The parser leaves "&#38;" for "&amp;": at either end of a short value and
                // beyond it.
                "<wpt e0='' e2='ab' e5='&amp;' e9='abcd&amp;' e16='abcdefghijk&amp;'"
                " e17='abcdefghijkl&amp;' p16='abcdefghijklmnop' lat='&la;' refs='&refs;'/></gpx>");
    ASSERT_EQ(document.ChildCount(), 2u);
    const struct
    {
        std::size_t child;
        const char *name;
        const char *value;
    } rows[] = {
        {0, "lat", "50.5"},
        {0, "lon", "a&b&c<A"},
        {0, "g:lat", "1"},
        {0, "LAT", "2"},
        {0, "desc", " 1 2 "},
        {0, "sym", "a"},
        {0, "ele", "7"},
        {0, "xmlns:g", "urn:g"},
        {0, "name", "50.550.5"},
        {1, "e0", ""},
        {1, "e2", "ab"},
        {1, "e5", "&"},
        {1, "e9", "abcd&"},
        {1, "e16", "abcdefghijk&"},
        {1, "e17", "abcdefghijkl&"},
        {1, "p16", "abcdefghijklmnop"},
        {1, "lat", "50.5"},
        {1, "refs", "Th<&"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(document.ChildAttribute(row.child, row.name), row.value) << row.name;
    EXPECT_EQ(document.ChildAttribute(0, "Lat"), std::nullopt);
    EXPECT_EQ(document.RootAttribute("xmlns"), "urn:gpx");
}

TEST_F(GpxLoaderTest, ReadsTheEncodingTheFileDeclares)
{
    const struct
    {
        const char *file;
        const char *creator;
        const char *name;
        const char *value;
    } rows[] = {
        {"utf16le-bom.gpx", "Kůň", "název", "Žluťoučký kůň"},
        {"utf16be-bom.gpx", "Kůň", "název", "Žluťoučký kůň"},
        {"iso-8859-1.gpx", "Café", "année", "Ærø, Señor"},
        {"windows-1252.gpx", "Café", "prix", "€ 5 – Œuvre"},
    };
    for (const auto &row : rows) {
        const NodeRecorder document
            = NodeRecorder::Load(loader_, fs::path(CARTEVA_TEST_DATA_DIR) / "gpx" / row.file);
        EXPECT_EQ(Shape(document), "gpx: wpt wpt") << row.file;
        EXPECT_EQ(document.RootAttribute("creator"), row.creator) << row.file;
        EXPECT_EQ(document.ChildAttribute(0, row.name), row.value) << row.file;
        EXPECT_EQ(document.ChildAttribute(1, "lon"), "14.0") << row.file;
    }
}

std::string Utf16(std::u16string_view text, bool bigEndian)
{
    std::string bytes;
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

TEST_F(GpxLoaderTest, MalformedFileFailsWithDescriptionLineAndExcerpt)
{
    const std::string longLine = "<wpt lat=\"1\" lon=\"2\" desc=\"" + std::string(60, 'a') + "\" <";
    // A character of two UTF-16 units straddles the 40-unit cut, so it is left out whole.
    const std::string straddling = "<wpt desc=\"" + std::string(28, 'x') + "\U0001F600 tail\">";
    std::string crowded = "<wpt";
    for (int i = 0; i < 20000; ++i)
        crowded += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    crowded += "/>";
    std::string swelling;
    for (int i = 0; i < 3000; ++i)
        swelling += "<x>&b;</x>\n";
    const struct
    {
        const char *what;
        std::string bytes;
        std::string message;
    } rows[] = {
        {"mismatched end tag", "<gpx>\n  <wpt lat=\"1\" lon=\"2\">\n</gpx>\n",
         "Opening and ending tag mismatch: wpt line 2 and gpx\r\nLine: 3\r\n</gpx>"},
        {"CR LF line ends", "<gpx>\r\n<a></b>\r\n</gpx>\r\n",
         "Opening and ending tag mismatch: a line 2 and b\r\nLine: 2\r\n<a></b>"},
        {"long line", "<gpx>\n" + longLine + "</gpx>\n",
         "error parsing attribute name\r\nLine: 2\r\n" + longLine.substr(0, 40)},
        {"character at the cut", "<gpx>\n" + straddling + "</gpx>\n",
         "Opening and ending tag mismatch: wpt line 2 and gpx\r\nLine: 2\r\n"
             + straddling.substr(0, 39)},
        {"UTF-16 LE", Utf16(u"\uFEFF<gpx>\n<wpt name=\"Kůň\">text</gpx>\n", false),
         "Opening and ending tag mismatch: wpt line 2 and gpx\r\nLine: 2\r\n"
         "<wpt name=\"Kůň\">text</gpx>"},
        {"UTF-16 BE", Utf16(u"\uFEFF<gpx>\n<wpt name=\"Kůň\">text</gpx>\n", true),
         "Opening and ending tag mismatch: wpt line 2 and gpx\r\nLine: 2\r\n"
         "<wpt name=\"Kůň\">text</gpx>"},
        {"ISO-8859-1",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<gpx>\n<a n=\"Caf\xE9\"></b>",
         "Opening and ending tag mismatch: a line 3 and b\r\nLine: 3\r\n<a n=\"Café\"></b>"},
        {"not UTF-8", "<?xml version=\"1.0\"?>\n<gpx name=\"caf\xE9\"/>\n",
         "Input is not proper UTF-8, indicate encoding !\nBytes: 0xE9 0x22 0x2F 0x3E\r\nLine: 2\r\n"
         "<gpx name=\"caf\uFFFD\"/>"},
        {"undecodable byte",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<gpx>\n<wpt name=\"a\x81z\"/>\n</gpx>",
         "input conversion failed due to input error, bytes 0x81 0x7A 0x22 0x2F\r\nLine: 3\r\n"
         "<wpt name=\"a"},
        {"empty file", "", "Document is empty\r\nLine: 1\r\n"},
        // Decoders differ between libxml2 series in what they accept and how they word it.
        {"undefined windows-1252 byte",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<gpx>\n<wpt name=\"\x9D\"/>\n"
         "<a></b>\n",
         "input conversion failed due to input error, bytes 0x9D 0x22 0x2F 0x3E\r\nLine: 3\r\n"
         "<wpt name=\""},
        {"not UTF-8 beyond the first read",
         "<gpx>\n" + std::string(100000, ' ') + "\n<!-- \xC3\x28 -->\n</gpx>",
         "Input is not proper UTF-8, indicate encoding !\nBytes: 0xC3 0x28 0x20 0x2D\r\nLine: 3\r\n"
         "<!-- \uFFFD( -->"},
        {"UTF-8 cut at the end", "<gpx>\n</gpx><!-- \xE2\x82",
         "Comment not terminated\r\nLine: 2\r\n</gpx><!-- \uFFFD\uFFFD"},
        // Entity content is parsed in a context of its own or on an input of its own.
        {"fault in an entity's content", "<!DOCTYPE gpx [<!ENTITY e '<a>'>]>\n<gpx>\n\n&e;</gpx>",
         "Premature end of data in tag a line 1\r\nLine: 4\r\n&e;</gpx>"},
        {"entities of entities swell",
         "<!DOCTYPE gpx [<!ENTITY a '" + std::string(1000, 'a')
             + "'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'>]>\n<gpx>\n" + swelling + "</gpx>",
         "Detected an entity reference loop\r\nLine: 57\r\n<x>&b;</x>"},
        {"too many attributes", "<gpx>\n<wpt/>\n" + crowded + "\n</gpx>\n",
         "An element has too many attributes\r\nLine: 3\r\n" + crowded.substr(0, 40)},
        {"too many attributes, UTF-16",
         Utf16(u"\uFEFF<gpx>\n", false) + Utf16(std::u16string(crowded.begin(), crowded.end()), false),
         "An element has too many attributes\r\nLine: 2\r\n" + crowded.substr(0, 40)},
        {"plain text", "hello world\n",
         "Start tag expected, '<' not found\r\nLine: 1\r\nhello world"},
        {"undeclared prefix", "<gpx><g:wpt lat=\"1\" lon=\"2\"/></gpx>",
         "Namespace prefix g on wpt is not defined\r\nLine: 1\r\n<gpx><g:wpt lat=\"1\" "
         "lon=\"2\"/></gpx>"},
    };
    ::testing::internal::CaptureStderr();
    for (const auto &row : rows)
        EXPECT_EQ(ErrorOf(std::string_view(row.bytes)), row.message) << row.what;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(GpxLoaderTest, ExcerptIsTheStartOfTheLineEvenFarIntoALargeFile)
{
    std::string xml = "<gpx>\n";
    for (int i = 0; i < 20000; ++i)
        xml += "<wpt lat=\"49.5\" lon=\"14.5\"><name>point</name></wpt>\n";
    const std::string line = "<wpt lat=\"1\" lon=\"2\">" + std::string(5000, 'x') + "</gpx>";
    xml += line + "\n";
    EXPECT_EQ(ErrorOf(std::string_view(xml)),
              "Opening and ending tag mismatch: wpt line 20002 and gpx\r\nLine: 20002\r\n"
                  + line.substr(0, 40));
}

TEST_F(GpxLoaderTest, FileThatCannotBeReadFailsWithItsPathAndLineZero)
{
    const fs::path locked = Write("<gpx/>", "locked.gpx");
    fs::permissions(locked, fs::perms::none);
    const fs::path fifo = folder_ / "fifo.gpx";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Reading fails half-way, after chunks have gone to the parser.
    std::string waypoints = "<gpx>\n";
    while (waypoints.size() < (6u << 20))
        waypoints += "<wpt lat='49.5' lon='14.5'/>\n";
    const fs::path large = Write(waypoints + "</gpx>\n", "large.gpx");
    FailingReads halfway(waypoints.size() / 2);
    ThreadStarter threads;
    NoThreads<ThrowAnything> noThreads;
    GpxLoader failingReads(halfway, threads);
    FailingReads halfwayAlone(waypoints.size() / 2);
    GpxLoader failingReadsAlone(halfwayAlone, noThreads);
    const struct
    {
        fs::path path;
        const char *reason;
        GpxLoader *loader = nullptr;
        const char *what = "Cannot open file";
    } rows[] = {
        {folder_ / "missing.gpx", "No such file or directory"},
        {folder_, "Is a directory"},
        {fifo, "Not a regular file"}, // without a writer: must not block
        {"/dev/null", "Not a regular file"},
        {locked, geteuid() == 0 ? nullptr : "Permission denied"}, // root reads it anyway
        {large, "Input/output error", &failingReads, "Cannot read file"},
        {large, "Input/output error", &failingReadsAlone, "Cannot read file"},
    };
    for (const auto &row : rows) {
        if (row.reason == nullptr)
            continue;
        std::string message = "(loaded)";
        try {
            (row.loader != nullptr ? *row.loader : loader_).Load(row.path);
        } catch (const Error &error) {
            message = error.what();
        }
        EXPECT_EQ(message,
                  std::string(row.what) + " \"" + row.path.string() + "\". " + row.reason
                      + "\r\nLine: 0\r\n");
    }
}

TEST_F(GpxLoaderTest, PathsWithSpacesAndNonAsciiLoad)
{
    const fs::path path
        = Write("<gpx><wpt lat='1' lon='2'/></gpx>", "mapy a trasy/výlet Žďár 1.gpx");
    EXPECT_EQ(Shape(NodeRecorder::Load(loader_, path)), "gpx: wpt");
}

int spyLoaderCalls = 0;
xmlParserInputPtr SpyLoader(const char *, const char *, xmlParserCtxtPtr)
{
    ++spyLoaderCalls;
    return nullptr;
}

TEST_F(GpxLoaderTest, NothingOutsideTheFileIsEverRead)
{
    const fs::path secret
        = Write("<wpt lat=\"66.6\" lon=\"66.6\" note=\"SECRET-8472\"/>", "secret.txt");
    const std::string url = "file://" + secret.string();
    const std::string documents[] = {
        "<!DOCTYPE gpx [<!ENTITY s SYSTEM 'secret.txt'>]><gpx>&s;<wpt/>&s;</gpx>",
        "<!DOCTYPE gpx [<!ENTITY s SYSTEM '" + url + "'>]><gpx>&s;</gpx>",
        "<!DOCTYPE gpx SYSTEM 'secret.txt'><gpx/>",
        "<!DOCTYPE gpx [<!ENTITY % p SYSTEM 'secret.txt'> %p;]><gpx/>",
        "<!DOCTYPE gpx [<!ENTITY % p SYSTEM 'http://127.0.0.1:9/p.dtd'> %p;]><gpx/>",
        "<!DOCTYPE gpx [<!ENTITY s SYSTEM 'secret.txt'>]><gpx><wpt lat='&s;'/></gpx>",
        "<?xml-stylesheet href='secret.txt'?><gpx xmlns:xi='http://www.w3.org/2001/XInclude'>"
        "<xi:include href='secret.txt' parse='xml'/></gpx>",
    };
    const xmlExternalEntityLoader previous = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(SpyLoader);
    for (const std::string &xml : documents) {
        std::string seen;
        try {
            seen = Everything(Parse(xml));
        } catch (const Error &error) {
            seen = error.what();
        }
        EXPECT_EQ(seen.find("SECRET"), std::string::npos) << xml;
        EXPECT_EQ(seen.find("66.6"), std::string::npos) << xml;
        EXPECT_TRUE(loader_.RefusedResources().empty()) << xml;
        EXPECT_EQ(xmlGetExternalEntityLoader(), SpyLoader) << "loader not restored: " << xml;
    }
    EXPECT_EQ(spyLoaderCalls, 0);
    xmlSetExternalEntityLoader(previous);
}

TEST_F(GpxLoaderTest, EntityExpansionAttacksFailFast)
{
    std::string laughs = "<!ENTITY l0 'lol'>";
    for (int i = 1; i <= 9; ++i) {
        const std::string ref = "&l" + std::to_string(i - 1) + ";";
        std::string ten;
        for (int k = 0; k < 10; ++k)
            ten += ref;
        laughs += "<!ENTITY l" + std::to_string(i) + " '" + ten + "'>";
    }
    const std::string big = "<!ENTITY a '" + std::string(50000, 'A') + "'>";
    std::string manyInAttributes, manyInContent;
    for (int i = 0; i < 20000; ++i) {
        manyInAttributes += "<wpt lat='&a;&a;&a;&a;&a;&a;&a;&a;' lon='1'/>\n";
        manyInContent += "<x>&a;&a;&a;&a;&a;&a;&a;&a;</x>\n";
    }
    const struct
    {
        std::string xml;
        std::string description;
    } rows[] = {
        {"<!DOCTYPE gpx [" + laughs + "]>\n<gpx>&l9;</gpx>", "Detected an entity reference loop"},
        {"<!DOCTYPE gpx [" + laughs + "]>\n<gpx><wpt lat='&l9;'/></gpx>",
         "Detected an entity reference loop"},
        {"<!DOCTYPE gpx [" + big + "]>\n<gpx>\n" + manyInAttributes + "</gpx>",
         "Maximum entity amplification factor exceeded"},
        {"<!DOCTYPE gpx [" + big + "]>\n<gpx>\n" + manyInContent + "</gpx>",
         "Maximum entity amplification factor exceeded"},
    };
    for (const auto &row : rows) {
        const auto start = std::chrono::steady_clock::now();
        const std::string message = ErrorOf(std::string_view(row.xml));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(message.substr(0, message.find('\r')), row.description);
        EXPECT_LT(took.count(), 1.0) << row.description;
    }
}

TEST(Utf16Prefix, CutsOnCharacterBoundariesAndRepairsBadBytes)
{
    const struct
    {
        std::string_view utf8;
        std::size_t units;
        std::string_view expected;
    } rows[] = {
        {"abc", 2, "ab"},
        {"žluť", 4, "žluť"},
        {"a\U0001F600", 2, "a"},
        {"\U0001F600b", 2, "\U0001F600"},
        {"caf\xE9!", 10, "caf\uFFFD!"},
        {"\xC0\xAF", 10, "\uFFFD\uFFFD"}, // overlong
        {"\xED\xA0\x80", 10, "\uFFFD\uFFFD\uFFFD"}, // surrogate
        {"a\xE2\x82", 10, "a\uFFFD\uFFFD"}, // cut short
        {std::string_view("a\0b", 3), 10, "a\uFFFDb"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Utf16Prefix(row.utf8, row.units), row.expected) << row.utf8;
}

} // namespace
} // namespace carteva
