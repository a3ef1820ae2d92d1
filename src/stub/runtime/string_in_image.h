// Included first in every source of the shipped programs (ZV_LEAN_COMPILE). The C++ library
// declares its std::string members as instantiated once, in its own string object; that object
// comes whole into any program that uses std::string (19 KB, of which the stub uses a few). With
// the declaration off, the members are compiled into the program as it uses them, and the
// linker keeps only those. This is the setting the library itself uses to check std::string in
// its assertion mode; it changes where the code is, not what it does.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
