// Reading a payload document and rebuilding its file list, for documents of 100 to 10,000
// paths, as this program writes them (verbatim) and as a standard JSON writer does (escaped).
// Both must grow linearly with the number of paths.

#include <benchmark/benchmark.h>

#include <sstream>

#include "base/print.h"
#include "payload/payload_document.h"

namespace shuttle {
namespace {

const std::string kGuid = "{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305}";

// With `escaped`, every backslash is written as a standard JSON writer writes it.
std::string documentOf(size_t pathCount, bool escaped = false) {
    std::vector<std::string> paths;
    paths.reserve(pathCount);
    for (size_t i = 0; i < pathCount; ++i)
        paths.push_back("E:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\2024_05_17_09_30_12\\file_" +
                        std::to_string(i) + ".txt");
    JsonValue document(JsonValue::Kind::Object);
    assemblePayloadDocument(document, kGuid, paths);
    std::ostringstream out;
    document.writeTo(out);
    if (!escaped) return out.str();
    std::string text;
    for (char c : out.str()) text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return text;
}

// Trace lines are formatted as in the program but not written to a console.
void silenceTrace() {
    setTraceSink([](TraceStream, const std::string&) {});
}

PayloadDocument readDocument(GuidMemory& memory, const std::string& text) {
    memory.recordReceived("");  // the same document counts as new every time
    PayloadDocument document;
    benchmark::DoNotOptimize(readPayloadDocument(memory, "Store (F:)", text, document));
    return document;
}

void BM_ReadPayloadDocument(benchmark::State& run) {
    silenceTrace();
    const std::string text = documentOf(static_cast<size_t>(run.range(0)));
    GuidMemory memory;
    for (auto _ : run) readDocument(memory, text);
    run.SetComplexityN(run.range(0));
    run.SetBytesProcessed(static_cast<int64_t>(run.iterations() * text.size()));
}

void BM_BuildDropFileList(benchmark::State& run) {
    silenceTrace();
    const std::string text = documentOf(static_cast<size_t>(run.range(0)));
    GuidMemory memory;
    const PayloadDocument document = readDocument(memory, text);
    for (auto _ : run) benchmark::DoNotOptimize(buildDropFileList(document.data.at(0), "F:\\"));
    run.SetComplexityN(run.range(0));
    run.SetBytesProcessed(static_cast<int64_t>(run.iterations() * text.size()));
}

void readAndBuild(benchmark::State& run, bool escaped) {
    silenceTrace();
    const std::string text = documentOf(static_cast<size_t>(run.range(0)), escaped);
    GuidMemory memory;
    for (auto _ : run) {
        const PayloadDocument document = readDocument(memory, text);
        benchmark::DoNotOptimize(buildDropFileList(document.data.at(0), "F:\\"));
    }
    run.SetComplexityN(run.range(0));
    run.SetBytesProcessed(static_cast<int64_t>(run.iterations() * text.size()));
}
void BM_ReadAndBuild(benchmark::State& run) { readAndBuild(run, false); }
void BM_ReadAndBuildEscaped(benchmark::State& run) { readAndBuild(run, true); }

BENCHMARK(BM_ReadPayloadDocument)->Arg(100)->Arg(1000)->Arg(10000)->Complexity();
BENCHMARK(BM_BuildDropFileList)->Arg(100)->Arg(1000)->Arg(10000)->Complexity();
BENCHMARK(BM_ReadAndBuild)->Arg(100)->Arg(1000)->Arg(10000)->Complexity();
BENCHMARK(BM_ReadAndBuildEscaped)->Arg(100)->Arg(1000)->Arg(10000)->Complexity();

}  // namespace
}  // namespace shuttle
