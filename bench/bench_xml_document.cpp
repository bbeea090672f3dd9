// Parsing, walking, editing and encoding a 10 MB document.
//   build/bench/bench_xml_document
#include "platform/code_pages.h"
#include "xml/xml_document.h"
#include "xml/xml_file_codec.h"

#include <benchmark/benchmark.h>

#include <QRandomGenerator>

namespace {

constexpr qsizetype kTargetSize = 10 * 1000 * 1000;

// Layer-like records, one element per line, until the text reaches 10 MB.
const QString &generatedDocument()
{
    static const QString text = [] {
        QString t = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root>\r\n");
        t.reserve(kTargetSize + 4096);
        for (int i = 0; t.size() < kTargetSize; ++i) {
            t += QStringLiteral("<Layer>\r\n<Name>layer %1</Name>\r\n<Text>Caf&eacute; &amp; "
                                "co &#169; 2026</Text>\r\n<Color>16777215</Color>\r\n"
                                "<Empty/>\r\n<Location>4</Location>\r\n</Layer>\r\n")
                     .arg(i);
        }
        t += QStringLiteral("</Root>\r\n");
        return t;
    }();
    return text;
}

void BM_Parse(benchmark::State &state)
{
    const QString &text = generatedDocument();
    for (auto _ : state) {
        CXmlDocument doc;
        benchmark::DoNotOptimize(doc.SetDocumentText(text));
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

// Every element found by name and every text read and unescaped.
void BM_Walk(benchmark::State &state)
{
    CXmlDocument doc;
    doc.SetDocumentText(generatedDocument());
    for (auto _ : state) {
        doc.ResetPosition();
        qsizetype total = 0;
        doc.FindElement(u"Root");
        doc.EnterElement();
        while (doc.FindElement(u"Layer")) {
            doc.EnterElement();
            for (const char16_t *name : {u"Name", u"Text", u"Color", u"Empty", u"Location"}) {
                if (doc.FindElement(name))
                    total += doc.GetElementText().size();
            }
            doc.LeaveElement();
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Walk)->Unit(benchmark::kMillisecond);

// 10,000 edits spread over the document: text changes, additions, removals.
void BM_TenThousandEdits(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        CXmlDocument doc;
        doc.SetDocumentText(generatedDocument());
        QRandomGenerator random(42);
        state.ResumeTiming();
        int done = 0;
        while (done < 10000) {
            doc.ResetPosition();
            doc.FindElement(u"Root");
            doc.EnterElement();
            // Visit layers front to back, editing some, as a save pass does.
            while (done < 10000 && doc.FindElement(u"Layer")) {
                if (random.bounded(40) != 0)
                    continue;
                doc.EnterElement();
                doc.FindElement(u"Text");
                doc.SetElementText(QStringLiteral("edited <%1>").arg(done));
                doc.FindElement(u"Empty");
                doc.AddElement(u"Added", done);
                doc.FindElement(u"Location");
                doc.RemoveElement();
                doc.LeaveElement();
                done += 3;
            }
        }
        benchmark::DoNotOptimize(doc.GetDocumentText().size());
    }
}
BENCHMARK(BM_TenThousandEdits)->Unit(benchmark::kMillisecond)->Iterations(3);

// The program's own files are small: one field changed in a 44-line layer file.
void BM_EditSmallDocument(benchmark::State &state)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Conf>\r\n");
    for (int i = 0; i < 42; ++i)
        text += QStringLiteral("<Field%1>%1</Field%1>\r\n").arg(i);
    text += QStringLiteral("</Conf>\r\n");
    CXmlDocument doc;
    doc.SetDocumentText(text);
    int value = 0;
    for (auto _ : state) {
        doc.ResetPosition();
        doc.FindElement(u"Conf");
        doc.EnterElement();
        doc.FindElement(u"Field30");
        doc.SetElementText(++value);
    }
}
BENCHMARK(BM_EditSmallDocument);

// The bytes a save writes, with the check that they read back as the text
// (UTF-8, and the ANSI code page a file read by the fallback is saved in) ...
void BM_EncodeForSave(benchmark::State &state)
{
    const int codePage = int(state.range(0));
    const QString &text = generatedDocument();
    for (auto _ : state) {
        kw::XmlResultLog log;
        benchmark::DoNotOptimize(
            kw::EncodeXmlFile(text, CXmlDocument::ByteOrderMark::None, codePage, log).ok());
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_EncodeForSave)
    ->Arg(kw::kCodePageUtf8)
    ->Arg(kw::kSystemAnsiCodePage)
    ->Unit(benchmark::kMillisecond);

// ... against the conversion alone, without the read-back check.
void BM_EncodeOnly(benchmark::State &state)
{
    const int codePage = int(state.range(0));
    const QString &text = generatedDocument();
    for (auto _ : state)
        benchmark::DoNotOptimize(kw::EncodeToCodePage(text, codePage).size());
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_EncodeOnly)
    ->Arg(kw::kCodePageUtf8)
    ->Arg(kw::kSystemAnsiCodePage)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
