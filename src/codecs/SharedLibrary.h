#pragma once
// Picture libraries opened when the first picture needs them. librsvg (with cairo, pango, fontconfig
// and glib) and libheif (with its HEVC and AV1 codecs) add about 10 ms of processor time to the start
// of every process that links them, which a conversion of a PNG or a JPEG would pay for nothing. With
// GW_LAZY_CODECS (the default where dlopen exists) such a library is opened by its soname on first use
// and its functions are looked up into a table; otherwise it is linked and the same table points at
// the linked functions. Either way the wrapper calls through the table and asks first whether the
// library could be had, so a missing library is a reason on the picture's line, not a failed start.
//
//   #define GW_HEIF_FUNCTIONS(X) X(heif_context_alloc) X(heif_context_free) ...
//   GW_LIBRARY_TABLE(THeifApi, GW_HEIF_FUNCTIONS)
//   const TBoundLibrary<THeifApi>& heif = TBoundLibrary<THeifApi>::Get(GW_HEIF_SONAME);
//   if (!heif.Status()) return heif.Status();
//   heif.Api().heif_context_alloc();

#include "image/CommonTypes.h"

#include <string>

#ifndef GW_LAZY_CODECS
#define GW_LAZY_CODECS 0
#endif

namespace gw {

// One opened shared library, kept for the life of the process (the libraries keep global state, and
// objects they made may outlive any one user).
class TSharedLibrary {
public:
    TSharedLibrary() = default;
    TSharedLibrary(const TSharedLibrary&) = delete;
    TSharedLibrary& operator=(const TSharedLibrary&) = delete;

    // Opens soname (found as the dynamic linker finds libraries); the reason when it cannot be.
    TStatus Open(const char* soname);
    // The address of a symbol of the opened library or of the libraries it needs, or nullptr.
    void* Find(const char* symbol) const;

private:
    void* FHandle = nullptr;
};

// The library of a table, opened and bound once for the process (thread-safe): Status() tells
// whether it could be had, Api() holds its functions (all set when the status is Ok).
template <class TTable> class TBoundLibrary {
public:
    static const TBoundLibrary& Get(const char* soname) {
        static const TBoundLibrary bound(soname);
        return bound;
    }
    const TStatus& Status() const { return FStatus; }
    const TTable& Api() const { return FTable; }

private:
    explicit TBoundLibrary(const char* soname) {
        FStatus = FLibrary.Open(soname);
        if (!FStatus)
            return;
        const char* missing = nullptr;
        FTable.Bind(FLibrary, missing);
        if (missing != nullptr)
            FStatus =
                TStatus::Fail(TFailure::Unsupported, std::string(soname) + " lacks the function " + missing);
    }

    TSharedLibrary FLibrary;
    TTable FTable;
    TStatus FStatus;
};

} // namespace gw

#define GW_LIBRARY_MEMBER(name) decltype(&::name) name = nullptr;
#if GW_LAZY_CODECS
#define GW_LIBRARY_BIND(name)                                                                                \
    name = reinterpret_cast<decltype(&::name)>(library.Find(#name));                                         \
    if (name == nullptr && missing == nullptr)                                                               \
        missing = #name;
#else
#define GW_LIBRARY_BIND(name) name = &::name;
#endif

// A struct Type with one function pointer for each X(name) of the list, named as the function, and
// the Bind that fills them from a library (or from the linked functions).
#define GW_LIBRARY_TABLE(Type, LIST)                                                                         \
    struct Type {                                                                                            \
        LIST(GW_LIBRARY_MEMBER)                                                                              \
        void Bind([[maybe_unused]] const ::gw::TSharedLibrary& library,                                      \
                  [[maybe_unused]] const char*& missing) {                                                   \
            LIST(GW_LIBRARY_BIND)                                                                            \
        }                                                                                                    \
    };
