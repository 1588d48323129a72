// A report over a real table file laid out on paper and written to PDF through the Qt
// writer: from the headless preview, and straight to a file without a preview.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>

#include "platform/qt/qt_report.hpp"
#include "tests/report/report_fixture.hpp"

// The font configuration library keeps caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace zelt::framework::testing {
namespace {

void StartGui() {
    static int argc = 1;
    static char name[] = "test_report";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: Qt's clean-up at exit must not run after the test framework's.
    static auto* app = new QGuiApplication(argc, argv);
    (void)app;
}

QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

class ReportPdfTest : public ::testing::Test {
protected:
    ReportPdfTest() {
        StartGui();
        previous_ = runtime::InstallReportPdfWriter(platform::QtReportPdfWriter());
    }
    ~ReportPdfTest() override { runtime::InstallReportPdfWriter(previous_); }

    void ExpectTwoPages(const std::string& path, int lines_on_first) {
        const QString file = QString::fromStdString(path);
        EXPECT_TRUE(RunTool("pdfinfo", {file}).contains(QRegularExpression("Pages:\\s+2\\b")));
        const QString text = RunTool("pdftotext", {"-layout", file, "-"});
        EXPECT_EQ(text.count("ZELT5.5 Activity Log"), 2) << text.toStdString();
        EXPECT_TRUE(text.contains(QRegularExpression("App Name\\s+Date\\s+Time\\s+Action")));
        // Event 12 was logged on day 82001 at 00:00:12 (clock value 1201).
        EXPECT_TRUE(text.contains(QRegularExpression("APP12\\.APP\\s+2 Jul 2025\\s+00:00:12\\s+Event 12")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QRegularExpression("Page\\s+1\\b")));
        EXPECT_TRUE(text.contains(QRegularExpression("Page\\s+2\\b")));
        // The first page is full, the second starts with the next event.
        const auto first = text.indexOf("Event " + QString::number(lines_on_first) + "\n");
        const auto second = text.indexOf("Event " + QString::number(lines_on_first + 1) + "\n");
        EXPECT_LT(text.indexOf("Page   1"), second);
        EXPECT_LT(first, text.indexOf("Page   1"));
    }

    ControllerSession s;
    testing_support::TestDir out;

private:
    runtime::ReportPdfWriter previous_;
};

TEST_F(ReportPdfTest, ATwoPageReportIsSavedFromThePreviewAndWithoutOne) {
    EventLog probe(s.errors);
    const int per_page = runtime::ReportDocument(EventReport::Layout(probe).layout).Metrics().lines_per_page;
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
