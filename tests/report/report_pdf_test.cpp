// A report over a real table file laid out on paper and written to PDF through the
// installed writer: from the headless preview, and straight to a file without a preview.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/pdf/report_pdf_writer.hpp"
#include "platform/spawn/spawn_process.hpp"
#include "tests/report/report_fixture.hpp"

namespace zelt::framework::testing {
namespace {

// What a tool prints on its standard output.
std::string RunTool(const std::vector<std::string>& argv) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {};
    platform::SpawnOptions options;
    options.stdout_fd = fds[1];
    const platform::SpawnOutcome tool = platform::SpawnProcess(argv, options);
    ::close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n = 0;
    while (tool.started() && (n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    if (tool.started()) ::waitpid(tool.pid, nullptr, 0);
    return out;
}

bool Has(const std::string& text, const std::string& pattern) {
    return std::regex_search(text, std::regex(pattern));
}

class ReportPdfTest : public ::testing::Test {
  protected:
    ReportPdfTest() {
        previous_ = runtime::InstallReportPdfWriter(platform::ReportPdfFileWriter());
    }
    ~ReportPdfTest() override { runtime::InstallReportPdfWriter(previous_); }

    void ExpectTwoPages(const std::string& path, int lines_on_first) {
        EXPECT_TRUE(Has(RunTool({"pdfinfo", path}), "Pages:\\s+2\\b"));
        const std::string text = RunTool({"pdftotext", "-layout", path, "-"});
        EXPECT_TRUE(Has(text, "ZELT5\\.5 Activity Log[\\s\\S]*ZELT5\\.5 Activity Log")) << text;
        EXPECT_TRUE(Has(text, "App Name\\s+Date\\s+Time\\s+Action"));
        // Event 12 was logged on day 82001 at 00:00:12 (clock value 1201).
        EXPECT_TRUE(Has(text, "APP12\\.APP\\s+2 Jul 2025\\s+00:00:12\\s+Event 12\\n")) << text;
        // The first page is full; its footer comes before the next event, which starts page 2.
        const auto last_on_first = text.find("Event " + std::to_string(lines_on_first) + "\n");
        const auto footer = text.find("Page   1");
        const auto first_on_second =
            text.find("Event " + std::to_string(lines_on_first + 1) + "\n");
        EXPECT_LT(last_on_first, footer);
        EXPECT_LT(footer, first_on_second);
        EXPECT_NE(text.find("Page   2"), std::string::npos);
    }

    ControllerSession s;
    testing_support::TestDir out;

  private:
    runtime::ReportPdfWriter previous_;
};

TEST_F(ReportPdfTest, ATwoPageReportIsSavedFromThePreviewAndWithoutOne) {
    EventLog probe(s.errors);
    const int per_page =
        runtime::ReportDocument(EventReport::Layout(probe).layout).Metrics().lines_per_page;
    ASSERT_GT(per_page, 20) << "A4 or Letter, landscape, nine points";
    EventLog log(s.errors, per_page + 5);

    const std::string previewed = out.File("previewed.pdf");
    {
        EventReport w(s.errors, log);
        s.session.script.AnswerPreviewSavingPdf(previewed);
        EXPECT_EQ(w.Run(), ResponseCompleted);
        ASSERT_EQ(s.session.script.Previews().size(), 1u);
        EXPECT_EQ(s.session.script.Previews()[0].size(), 2u);
    }
    ExpectTwoPages(previewed, per_page);

    const std::string direct = out.File("direct.pdf");
    {
        EventReport w(s.errors, log, false);
        w.report.OutputFile = direct;
        EXPECT_EQ(w.Run(), ResponseCompleted);
        EXPECT_EQ(s.session.script.Previews().size(), 1u) << "no second preview";
    }
    ExpectTwoPages(direct, per_page);
}

}  // namespace
}  // namespace zelt::framework::testing
