#include "runtime/file/record_filter.hpp"

#include <memory>
#include <mutex>
#include <utility>

namespace zelt::runtime {

namespace {

std::mutex compiler_mutex;
std::shared_ptr<const RecordFilterCompiler> installed;

std::shared_ptr<const RecordFilterCompiler> Current() {
    const std::lock_guard lock(compiler_mutex);
    return installed;
}

// Installs `compiler` and gives back the one it replaced.
RecordFilterCompiler Exchange(RecordFilterCompiler compiler) {
    auto next =
        compiler ? std::make_shared<const RecordFilterCompiler>(std::move(compiler)) : nullptr;
    const std::lock_guard lock(compiler_mutex);
    auto previous = std::exchange(installed, std::move(next));
    return previous ? *previous : RecordFilterCompiler{};
}

}  // namespace

void InstallRecordFilterCompiler(RecordFilterCompiler compiler) {
    Exchange(std::move(compiler));
}

bool RecordFilterCompilerInstalled() {
    return Current() != nullptr;
}

ScopedRecordFilterCompiler::ScopedRecordFilterCompiler(RecordFilterCompiler compiler)
    : previous_(Exchange(std::move(compiler))) {}

ScopedRecordFilterCompiler::~ScopedRecordFilterCompiler() {
    Exchange(std::move(previous_));
}

CompiledRecordFilter CompileRecordFilter(Table& table, std::string_view text) {
    // Called outside the lock: a compiler may take its time, or install another.
    const auto compiler = Current();
    if (!compiler) return {{}, err::UnsupportedFunction};
    CompiledRecordFilter compiled = (*compiler)(table, text);
    if (compiled.error == err::NoError && !compiled.filter) compiled.error = err::InvalidExpression;
    if (compiled.error != err::NoError) compiled.filter = nullptr;
    return compiled;
}

}  // namespace zelt::runtime
