#include "dbupdate/DatabaseError.h"
#include "dbupdate/ParameterBlock.h"
#include "dbupdate/ServiceManager.h"
#include "dbupdate/ServiceReport.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <string>
#include <vector>

using namespace dbupdate;

namespace {

// An answer item with a 2-byte length.
std::string Item(char tag, const std::string& text)
{
    return std::string {tag, static_cast<char>(text.size() & 0xFF), static_cast<char>(text.size() >> 8)} + text;
}

}  // namespace

TEST(ServiceAnswer, ReadsItemsAndRefusesWhatDoesNotFitTheAnswer)
{
    const std::string stdin4 {static_cast<char>(isc_info_svc_stdin), 0x10, 0x27, 0, 0};  // 10000 bytes asked
    struct Case {
        std::string answer;
        bool valid;
        bool more;
        std::vector<std::string> data;
        std::uint32_t requested;
    };
    const std::string big(40000, 'x');  // a length whose high byte has its sign bit set
    const std::vector<Case> cases {
        {Item(isc_info_svc_line, "one") + Item(isc_info_svc_line, "two") + char(isc_info_end), true, true,
         {"one", "two"}, 0},
        {Item(isc_info_svc_line, "") + char(isc_info_end), true, false, {}, 0},
        {Item(isc_info_svc_to_eof, big), true, true, {big}, 0},
        {stdin4 + Item(isc_info_svc_line, "") + char(isc_info_end), true, true, {}, 10000},
        {std::string(1, isc_info_svc_timeout) + char(isc_info_end), true, true, {}, 0},
        {std::string(1, isc_info_end) + Item(isc_info_svc_line, "after the end"), true, false, {}, 0},
        {Item(isc_info_svc_line, "cut").substr(0, 4), false, false, {}, 0},
        {std::string(1, isc_info_svc_line) + char(5), false, false, {}, 0},
        {stdin4.substr(0, 3), false, false, {}, 0},
        {std::string(1, 'Z'), false, false, {}, 0},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        // The answer alone in its own buffer: a read past it is one ASan sees.
        const std::vector<char> answer(c.answer.begin(), c.answer.end());
        std::vector<std::string> data;
        std::uint32_t requested = 0;
        const auto read = [&] {
            return ReadServiceAnswer(answer, "Service::Test", requested,
                                     [&](const char* p, std::size_t n) { data.emplace_back(p, n); });
        };
        if (!c.valid) {
            EXPECT_THROW(read(), DatabaseError) << "case " << i;
            continue;
        }
        EXPECT_EQ(read(), c.more) << "case " << i;
        EXPECT_EQ(data, c.data) << "case " << i;
        EXPECT_EQ(requested, c.requested) << "case " << i;
    }
}

// The backup's size comes from the closing line wherever it stands in the
// report (a line after it once gave 0), and failure lines are gathered.
TEST(ServiceReport, TakesTheClosingLineWhereverItStandsAndGathersFailures)
{
    ServiceReport report(kBackupClosingLine);
    for (const char* line : {"gbak:writing data for table PRICES", "gbak:closing file, committing, and finishing. 669184 bytes written",
                             "gbak:a line after it"})
        report.Take(line);
    EXPECT_TRUE(report.Done());
    EXPECT_EQ(BackupSizeOf(report.Closing()), 669184u);
    EXPECT_EQ(report.Last(), "gbak:a line after it");
    EXPECT_EQ(report.Failure(), "");

    ServiceReport failed(kBackupClosingLine);
    failed.Take("gbak: ERROR:I/O error");
    failed.Take("gbak: ERROR:cannot open");
    EXPECT_FALSE(failed.Done());
    EXPECT_EQ(failed.Failure(), "I/O error\r\ncannot open");

    EXPECT_TRUE(ServiceReport().Done());
    EXPECT_EQ(BackupSizeOf("closing file, committing, and finishing."), 0u);
    EXPECT_EQ(BackupSizeOf("closing file, committing, and finishing. 99999999999999999999999 bytes"), 0u);
    EXPECT_EQ(BackupSizeOf("no closing line 123"), 0u);
}

// The verdict once a report has ended: a backup or restore whose report
// lacks the closing line failed, even when every other line came (the
// backup's file may hold all its bytes).
TEST(ServiceReport, WithoutItsClosingLineTheActionFailed)
{
    struct Case {
        const char* closingLine;
        std::vector<std::string> lines;
        const char* error;  // the message's beginning; "" when the action completed
    };
    const std::vector<Case> cases {
        {kBackupClosingLine, {"gbak:writing data for table PRICES", "gbak:closing file, committing, and finishing. 512 bytes written"}, ""},
        {kBackupClosingLine, {"gbak:writing data for table PRICES", "gbak:512 bytes written"},
         "The engine's report ended before the work was complete (gbak:512 bytes written)"},
        {kBackupClosingLine, {}, "The engine's report ended before the work was complete ()"},
        {kRestoreClosingLine, {"gbak:restoring data for table PRICES", "gbak:finishing, closing, and going home"}, ""},
        {kRestoreClosingLine, {"gbak:restoring data for table PRICES", "gbak:adjusting the ONLINE and FORCED WRITES flags"},
         "The engine's report ended before"},
        {kRestoreClosingLine, {"gbak: ERROR:disk full", "gbak:finishing, closing, and going home"}, "disk full"},
        {"", {}, ""},
        {"", {"gbak: ERROR:no such database"}, "no such database"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        ServiceReport report(cases[i].closingLine);
        for (const std::string& line : cases[i].lines)
            report.Take(line);
        std::string error = "<no error>";
        try {
            report.Completed("Service::Test");
        } catch (const DatabaseError& e) {
            error = e.what();
        }
        if (*cases[i].error == '\0')
            EXPECT_EQ(error, "<no error>") << "case " << i;
        else
            EXPECT_NE(error.find(cases[i].error), std::string::npos) << "case " << i << ": " << error;
    }
}

TEST(ParameterBlock, WritesItemsLittleEndian)
{
    std::string block;
    AddString(block, 'a', std::string(300, 'x'));  // 300: 0x2C 0x01
    AddNumber(block, 'n', 0x01020304);
    AddSizedNumber(block, 't', 1);
    const std::string expected = std::string("a\x2C\x01") + std::string(300, 'x') + "n\x04\x03\x02\x01" +
                                 std::string("t\x04\x00\x01\x00\x00\x00", 7);
    EXPECT_EQ(block, expected);
    // A text longer than a 2-byte length can say is cut at 65535 bytes.
    std::string cut;
    AddString(cut, 'a', std::string(70000, 'y'));
    EXPECT_EQ(cut.size(), 3u + 0xFFFF);
    EXPECT_EQ(cut.substr(1, 2), "\xFF\xFF");
    const std::string request = ServiceRequest(isc_action_svc_properties, {{isc_spb_dbname, "db"}}, 0, false);
    const std::string expectedRequest {static_cast<char>(isc_action_svc_properties), static_cast<char>(isc_spb_dbname),
                                       2, 0, 'd', 'b'};
    EXPECT_EQ(request, expectedRequest);
}
