#include "app/headless/junit_report.hpp"

#include <libxml/xmlwriter.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <memory>

#include "app/headless/console_batch_window.hpp"
#include "app/headless/report_text.hpp"

namespace zelt::app {
namespace {

std::string Seconds(double seconds) {
    std::array<char, 32> text{};
    const auto [end, ec] =
        std::to_chars(text.data(), text.data() + text.size(), seconds, std::chars_format::fixed, 2);
    return ec == std::errc() ? std::string(text.data(), end) : "0.00";
}

std::string Timestamp(const runtime::LocalDateTime& t) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text.data();
}

std::string Host() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) return "localhost";
    return name.data();
}

// The counts of a suite.
struct Counts {
    int tests = 0, failures = 0, errors = 0, skipped = 0;
};

// One testcase as it will be written.
struct Case {
    std::string classname, name, time;
    enum class Kind { Passed, Failure, Error, Skipped } kind = Kind::Passed;
    std::string message;
    std::string events;  // the item's events, a line each
};

std::vector<Case> Cases(const BatchRecord& record, const ProjectOf& project_of) {
    std::vector<Case> cases;
    for (const ItemRecord& item : record.Items()) {
        Case c;
        c.classname = project_of ? project_of(item.app) : "catalogue";
        c.name = ReportText(item.app.Application.Clip());
        c.time = Seconds(
            item.events.empty() ? 0.0 : SecondsBetween(item.events.front(), item.events.back()));
        for (const TempFileRecord& event : item.events)
            c.events += ReportText(EventLine(event, event.Apps.Clip())) + "\n";
        c.message = ReportText(item.reason);
        switch (item.outcome) {
            case ItemOutcome::Finished:
                break;
            case ItemOutcome::Failed:
                c.kind = Case::Kind::Failure;
                break;
            default:
                c.kind = Case::Kind::Skipped;
                break;
        }
        cases.push_back(std::move(c));
    }
    const BatchSummary& summary = record.Summary();
    if (cases.empty() && (summary.could_not_run || summary.aborted || summary.answered_no)) {
        Case c;
        c.classname = "zelt";
        c.name = record.Name();
        c.time = Seconds(record.Seconds());
        if (summary.answered_no) {
            c.kind = Case::Kind::Skipped;
            c.message = "The question was not answered Yes: nothing was done";
        } else if (summary.aborted) {
            c.kind = Case::Kind::Skipped;
            c.message = "Processing Aborted";
        } else {
            c.kind = Case::Kind::Error;
            c.message = "The batch could not run" +
                        (summary.reason.empty() ? "" : ": " + ReportText(summary.reason));
        }
        for (const TempFileRecord& event : record.LooseEvents())
            c.events += ReportText(EventLine(event, event.Apps.Clip())) + "\n";
        cases.push_back(std::move(c));
    }
    return cases;
}

Counts Count(const std::vector<Case>& cases) {
    Counts n;
    for (const Case& c : cases) {
        ++n.tests;
        if (c.kind == Case::Kind::Failure) ++n.failures;
        if (c.kind == Case::Kind::Error) ++n.errors;
        if (c.kind == Case::Kind::Skipped) ++n.skipped;
    }
    return n;
}

using Writer = std::unique_ptr<xmlTextWriter, decltype(&xmlFreeTextWriter)>;

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

void Attribute(xmlTextWriterPtr w, const char* name, const std::string& value) {
    xmlTextWriterWriteAttribute(w, X(name), X(value.c_str()));
}

void CountAttributes(xmlTextWriterPtr w, const Counts& n, const std::string& time) {
    Attribute(w, "tests", std::to_string(n.tests));
    Attribute(w, "failures", std::to_string(n.failures));
    Attribute(w, "errors", std::to_string(n.errors));
    Attribute(w, "skipped", std::to_string(n.skipped));
    Attribute(w, "time", time);
}

void WriteCase(xmlTextWriterPtr w, const Case& c) {
    xmlTextWriterStartElement(w, X("testcase"));
    Attribute(w, "classname", c.classname);
    Attribute(w, "name", c.name);
    Attribute(w, "time", c.time);
    const char* element = nullptr;
    switch (c.kind) {
        case Case::Kind::Failure:
            element = "failure";
            break;
        case Case::Kind::Error:
            element = "error";
            break;
        case Case::Kind::Skipped:
            element = "skipped";
            break;
        case Case::Kind::Passed:
            break;
    }
    if (element) {
        xmlTextWriterStartElement(w, X(element));
        Attribute(w, "message", c.message);
        if (c.kind != Case::Kind::Skipped) {
            Attribute(w, "type", element == std::string("failure") ? "failed" : "could not run");
            xmlTextWriterWriteString(w, X(c.events.c_str()));
        }
        xmlTextWriterEndElement(w);
    }
    if (!c.events.empty()) xmlTextWriterWriteElement(w, X("system-out"), X(c.events.c_str()));
    xmlTextWriterEndElement(w);
}

}  // namespace

std::string JUnitReport(const BatchRecord& record, const ProjectOf& project_of,
                        const runtime::LocalDateTime& started) {
    const std::vector<Case> cases = Cases(record, project_of);
    const Counts counts = Count(cases);
    const std::string time = Seconds(record.Seconds());

    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
    if (!buffer) return {};
    Writer writer(xmlNewTextWriterMemory(buffer.get(), 0), xmlFreeTextWriter);
    if (!writer) return {};
    xmlTextWriterPtr w = writer.get();
    xmlTextWriterSetIndent(w, 1);
    xmlTextWriterSetIndentString(w, X("  "));
    xmlTextWriterStartDocument(w, nullptr, "UTF-8", nullptr);
    xmlTextWriterStartElement(w, X("testsuites"));
    Attribute(w, "name", "zelt");
    CountAttributes(w, counts, time);
    xmlTextWriterStartElement(w, X("testsuite"));
    Attribute(w, "name", ReportText(record.Name()));
    CountAttributes(w, counts, time);
    Attribute(w, "timestamp", Timestamp(started));
    Attribute(w, "hostname", Host());
    for (const Case& c : cases) WriteCase(w, c);
    xmlTextWriterEndDocument(w);  // closes every open element
    writer.reset();               // flushes into the buffer
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

bool WriteReportFile(const std::string& path, const std::string& text, std::string* error) {
    const auto fail = [&](const std::string& what) {
        if (error) *error = what + " " + path;
        return false;
    };
    if (text.empty()) return fail("nothing to write to");
    const std::string partial = path + ".partial";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) return fail("cannot create");
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        return fail("cannot write");
    }
    return true;
}

}  // namespace zelt::app
