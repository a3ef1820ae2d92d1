// The C++ library's own error throws (std::string past its maximum length, an empty
// std::function called, a failed lock, ...) for the shipped programs.
//
// The library's versions throw std::logic_error and friends, whose message is a reference-counted
// string of the old ABI: they drag in a second complete std::string implementation, about 45 KB of
// a stub that is downloaded before anything else. These throw a plain std::exception subclass with
// the same message instead; the programs catch such faults only as std::exception (and trace
// what()), never by their exact type. Memory faults keep their standard types.
//
// Linked as plain objects, so the linker never takes the library's versions; should the library
// come to need one that is missing here, its versions are pulled in and the link fails on the
// duplicates instead of silently growing.
#include <exception>
#include <new>

namespace {

class LibraryFault : public std::exception {
public:
    explicit LibraryFault(const char* what) noexcept : what_(what ? what : "C++ library fault") {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_;  // always a string literal of the library
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_logic_error(const char* what) { throw LibraryFault(what); }
void __throw_length_error(const char* what) { throw LibraryFault(what); }
void __throw_runtime_error(const char* what) { throw LibraryFault(what); }
void __throw_system_error(int) { throw LibraryFault("system error"); }
// The library passes a printf format with an index and a size; the format alone says which check
// failed, which is what a trace needs.
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryFault(format); }

}  // namespace std
