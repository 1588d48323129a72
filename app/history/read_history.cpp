#include "app/history/read_history.hpp"

#include "app/catalogue/busy_retry.hpp"
#include "app/catalogue/dictionary.hpp"
#include "runtime/errors/error_state.hpp"

namespace zelt::app {

runtime::ErrorCode ReadHistory(History& history) {
    const TempFileRecord kept = TMP;
    OpenWhenFree(TempFileManager);
    const bool opened = TempFileManager.Open() == framework::LevelOk;
    if (!opened || TempFileManager.EnsureOpen() != framework::LevelOk) {
        const runtime::ErrorState failed = runtime::CurrentError();
        if (opened) TempFileManager.Close();
        runtime::RestoreError(failed);
        TMP = kept;
        return failed.code;
    }
    HistoryBuilder builder;
    TempFile.SetKey(TempFileTable::clockkey);
    runtime::ErrorCode code = runtime::err::NoError;
    while ((code = NextWhenFree(TempFile)) == runtime::err::NoError) builder.Take(TMP);
    const runtime::ErrorState ended = runtime::CurrentError();
    history = builder.Finish();
    TempFileManager.Close();
    TMP = kept;
    if (code == runtime::err::RecordNotAvailable) {
        runtime::ClearError();
        return runtime::err::NoError;
    }
    runtime::RestoreError(ended);
    return code;
}

}  // namespace zelt::app
