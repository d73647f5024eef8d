// The header record: making it from -q values, reading its four values, the
// output file names, and the image step's handling of a later body.
#include "output/tapeoutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "control/console.h"
#include "support/process.h"

namespace cmtgrab {
namespace {

using Bytes = std::vector<uint8_t>;

struct Output {
    explicit Output(const std::string& directory = "") : console(out, err), output(settings, console, directory) {}
    Bytes record()
    {
        const uint8_t* buf = output.tapebuf();
        return Bytes(buf, buf + TapeOutput::header_bytes);
    }

    Settings settings;
    std::ostringstream out, err;
    Console console;
    TapeOutput output;
};

TEST(TapeOutput, QHeaderNameFieldAndValues)
{
    constexpr uint8_t old = 0xEE;  // what an earlier block left in the buffer
    struct Case {
        std::string name;
        Bytes field;  // offsets 1 to 17
    };
    const Bytes sixteen = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P', 0x0D};
    const Case cases[] = {
        {"", {0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, old}},
        {"HELLO", {'H', 'E', 'L', 'L', 'O', 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, old}},
        {"ABCDEFGHIJKLMN", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 0x0D, 0, old}},
        {"ABCDEFGHIJKLMNO", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 0x0D, 0}},
        {"ABCDEFGHIJKLMNOP", sixteen},
        {"ABCDEFGHIJKLMNOPQRST", sixteen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Output o;
        std::fill(o.output.tapebuf(), o.output.tapebuf() + TapeOutput::tapebuf_bytes, old);
        o.settings.qname = c.name;
        o.settings.qmode = 0x1FF;      // only the low byte fits
        o.settings.qstart = 0x12345;   // only the low 16 bits fit
        o.settings.qlen = 0x0030;
        o.settings.qexec = -1;
        o.output.makeqheader();
        const Bytes r = o.record();
        EXPECT_EQ(r[0], 0xFF);
        EXPECT_EQ(Bytes(r.begin() + 1, r.begin() + 18), c.field);
        EXPECT_EQ(Bytes(r.begin() + 18, r.begin() + 24), (Bytes{0x30, 0x00, 0x45, 0x23, 0xFF, 0xFF}));
        EXPECT_EQ(Bytes(r.begin() + 24, r.end()), Bytes(128 - 24, old));
        EXPECT_EQ(o.out.str() + o.err.str(), "");
    }
}

TEST(TapeOutput, HeaderValuesAreLittleEndianAndUnsigned)
{
    Output o;
    const Bytes fields = {0x9A, 0x34, 0x12, 0x78, 0x56, 0xFF, 0xFF};  // mode; len, start, exec at 18, 20, 22
    o.output.tapebuf()[0] = fields[0];
    std::copy(fields.begin() + 1, fields.end(), o.output.tapebuf() + 18);
    const HeaderValues v = o.output.headervalues();
    EXPECT_EQ(v.mode, 0x9A);
    EXPECT_EQ(v.len, 0x1234);
    EXPECT_EQ(v.start, 0x5678);
    EXPECT_EQ(v.exec, 0xFFFF);
}

TEST(TapeOutput, FileNames)
{
    EXPECT_EQ(TapeOutput::headername(0), "header.dat");
    EXPECT_EQ(TapeOutput::headername(1), "header1.dat");
    EXPECT_EQ(TapeOutput::headername(12), "header12.dat");
    EXPECT_EQ(TapeOutput::bodyname(0), "out.dat");
    EXPECT_EQ(TapeOutput::bodyname(1), "out1.dat");
    EXPECT_EQ(TapeOutput::bodyname(12), "out12.dat");
}

TEST(TapeOutput, LaterImageStepLeavesTheImageAndKeepsTheDefaultName)
{
    testsupport::TempDir dir;
    Output o(dir.path());
    o.settings.mztwanted = true;
    std::fill(o.output.tapebuf(), o.output.tapebuf() + 200, 0x5A);
    o.output.writeheader(0);
    o.output.writebody(0, 3);
    o.output.makeimage();
    EXPECT_EQ(o.settings.mztname, "output.mzt");
    EXPECT_EQ(testsupport::readbytes(dir.file("output.mzt")), Bytes(131, 0x5A));
    EXPECT_EQ(testsupport::listdir(dir.path()), std::vector<std::string>{"output.mzt"});

    // A numbered body: header.dat and out.dat are gone, so nothing is joined.
    std::fill(o.output.tapebuf(), o.output.tapebuf() + 200, 0x11);
    o.output.writebody(1, 5);
    o.output.makeimage();
    EXPECT_EQ(o.err.str(), "copy /b header.dat+out.dat output.mzt\ncopy /b header.dat+out.dat output.mzt\n");
    EXPECT_EQ(testsupport::readbytes(dir.file("output.mzt")), Bytes(131, 0x5A));
    EXPECT_EQ(testsupport::readbytes(dir.file("out1.dat")), Bytes(5, 0x11));
}

}  // namespace
}  // namespace cmtgrab
