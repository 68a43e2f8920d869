#pragma once
// Types shared by the conversion pipeline, the icon coders, the importers and the window.

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace gw {

// The kinds of file the content detection (pipeline/TypeCheck) tells apart, ordinals 0 to 19 in this
// order. Documents remember the kind they prefer to be saved as.
enum class TFileTypes : std::uint8_t {
    ftIco,
    ftCur,
    ftAni,
    ftBmp,
    ftJpg,
    ftPng,
    ftGif,
    ftOther,
    ftMacBinary,
    ftMacIcon,
    ftAppleSingle,
    ftAppleDouble,
    ftRawRes,
    ftJpg2000,
    ftJpg2000CS,
    ftWin16Binary,
    ftWin32Binary,
    ftDirectory,
    ftOrbDoc,
    ftTiff,
};

// The failure kind of one conversion, counted by the batch worker.
enum class TErrorType { etNone, etReadError, etWriteError };

// The summary of one batch the window shows: its kind picks the picture beside the text.
enum class TMessageType { mtSuccess = 0, mtFailure = 1 };

struct TSummaryMessage {
    TMessageType Type = TMessageType::mtFailure;
    std::string Text;
};

// Why a reader, decoder or writer gave up. Results, not exceptions, cross those boundaries.
enum class TFailure {
    None,
    Truncated,   // the data ends before a structure it announces
    Corrupt,     // a structure is inconsistent (bad signature, impossible field values, codec error)
    Unsupported, // valid but a variant we do not handle
    TooLarge,    // dimensions or lengths beyond the limits in Limits.h
    Io,          // the file system refused (open, read, write, rename)
};

// Outcome of an operation that can fail: ok, or a failure kind with a short technical reason.
class TStatus {
public:
    TStatus() = default;
    static TStatus Ok() { return {}; }
    static TStatus Fail(TFailure kind, std::string reason) { return TStatus(kind, std::move(reason)); }

    bool IsOk() const { return FKind == TFailure::None; }
    explicit operator bool() const { return IsOk(); }
    TFailure Kind() const { return FKind; }
    const std::string& Reason() const { return FReason; }

private:
    TStatus(TFailure kind, std::string reason) : FKind(kind), FReason(std::move(reason)) {}
    TFailure FKind = TFailure::None;
    std::string FReason;
};

// Runs step, a callable returning TStatus, and turns a std::bad_alloc it throws into the too-large
// failure "out of memory while <what>". Allocation failures end here, not in the callers.
template <class TStep> TStatus GuardAllocation(std::string_view what, TStep&& step) {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return TStatus::Fail(TFailure::TooLarge, "out of memory while " + std::string(what));
    }
}

} // namespace gw

// Evaluates expr (a TStatus) and returns it from the enclosing function when it is a failure.
#define GW_TRY(expr)                                                                                         \
    do {                                                                                                     \
        if (::gw::TStatus gw_try_status_ = (expr); !gw_try_status_)                                          \
            return gw_try_status_;                                                                           \
    } while (false)
