// Names and messages that Python code can see and that callers already match
// on: exception qualified names, the class's module, the entries of __all__,
// the exact text of errors. Several look odd for a module called velmora (a
// class that claims to live in `builtins`, an exception from `ovra_runtime`,
// a message about `Vec`); they are part of the interface all the same, and
// tests compare them to the letter.
//
// Do not "tidy" anything in this file: a renamed module, a corrected
// spelling or a nicer message is a breaking change for every caller that
// catches, prints or compares it.
#pragma once

namespace velmora::py::names {

// The first entry of __all__: the docstring is added to the module like every
// other exported name, so "__doc__" is listed before the class.
inline constexpr const char* kModuleDocAttribute = "__doc__";
inline constexpr const char* kAll = "__all__";

// The class: `__module__` is "builtins", `__name__` and `__qualname__` are
// "PhaseHVec". tp_name points into this literal for as long as the class
// exists, so it must have static storage.
inline constexpr const char* kClass = "PhaseHVec";
inline constexpr const char* kClassTypeName = "builtins.PhaseHVec";

// The exception raised for internal failures: module "ovra_runtime", name
// "PanicException", derived from BaseException.
inline constexpr const char* kPanicType = "ovra_runtime.PanicException";

// Error messages, exactly as callers see them.
inline constexpr const char* kStrIsNotASequence = "Can't extract `str` to `Vec`";
inline constexpr const char* kOutOfRange32 = "out of range integral type conversion attempted";
inline constexpr const char* kNothingPending = "attempted to fetch exception but none was set";
inline constexpr const char* kUnwrappedPanic = "Unwrapped panic from Python code";
inline constexpr const char* kAllAppendFailed = "could not append __name__ to __all__";
inline constexpr const char* kClassInitFailed = "An error occurred while initializing class PhaseHVec";
inline constexpr const char* kClassCreateFailed = "failed to create type object for `PhaseHVec`";
inline constexpr const char* kUnreadableTypeName = "<failed to extract type name>";
inline constexpr const char* kUnknownName = "<unknown>";
// MemoryError: what could not be allocated.
inline constexpr const char* kNoPhasesFormat = "cannot allocate %llu phases";
inline constexpr const char* kNoMemoryMessage = "cannot allocate memory";
// The note on an argument that failed to convert: prefix + parameter + suffix.
inline constexpr const char* kNotePrefix = "while processing '";
inline constexpr const char* kNoteSuffix = "'";

}  // namespace velmora::py::names
